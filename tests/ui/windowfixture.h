#pragma once

// What the main window's tests share: prompts that answer from a script, a loopback HTTP
// server on Qt's event loop, and a fixture that runs a whole desktop session.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QByteArray>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "collection/collection.h"
#include "ui/articlesform.h"
#include "ui/desktopsession.h"
#include "ui/userprompts.h"

// Readable QStrings in GoogleTest's failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace varnook::testing {

// Answers the window's questions from queues the test fills, and records everything asked.
// An unexpected question fails the test and is answered Cancel (or "no file").
class ScriptedPrompts final : public UserPrompts {
 public:
  struct Shown {
    Kind kind;
    QString text;
  };

  Answer message(QWidget* parent, Kind kind, const QString& text) override;
  QString openFileName(QWidget* parent, const FileDialogSpec& spec) override;
  QString saveFileName(QWidget* parent, const FileDialogSpec& spec) override;
  int execDialog(QDialog& dialog) override;
  bool startProgram(const QString& program, const QStringList& arguments) override;
  void beep() override { ++beeps; }

  std::deque<Answer> answers;
  std::deque<QString> fileNames;  // an empty name means "cancelled"
  // Sets up the dialog as the user would; returns its result. Unset: the dialog is
  // accepted as it is.
  std::function<int(QDialog&)> onDialog;
  bool startSucceeds = true;

  std::vector<Shown> messages;
  std::vector<FileDialogSpec> fileDialogs;
  int dialogsShown = 0;
  std::vector<QStringList> started;
  int beeps = 0;
};

// A minimal HTTP/1.0 server on 127.0.0.1 that runs on the test's own (Qt) event loop. The
// handler returns the whole response for a request target, or nothing to keep the
// connection open without answering (a transfer that stays running).
class LoopbackHttp {
 public:
  using Handler = std::function<std::optional<QByteArray>(const QByteArray& target)>;
  explicit LoopbackHttp(Handler handler);
  quint16 port() const { return server_.serverPort(); }
  const std::vector<QByteArray>& targets() const { return targets_; }

  // A 200 response with a plain-text body.
  static QByteArray ok(const QByteArray& body, const QByteArray& type = "text/plain");

 private:
  QTcpServer server_;
  Handler handler_;
  std::vector<QByteArray> targets_;
  std::vector<std::unique_ptr<QTcpSocket>> held_;
};

// One desktop session per test: the real window, options, collection, scheduler and event
// loop, with scripted prompts. The home site and the archive service point at a loopback
// server that answers the update check and holds every search and article request open
// (tests that need answers replace the handler).
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the session with these command-line arguments (SetUp starts one without).
  void startSession(std::vector<std::string> arguments = {});
  // Points the home site, the archive service and the article servers at 127.0.0.1:port.
  void useServer(int port);

  ArticlesForm& window() { return session_->window(); }
  Collection& collection() { return session_->collection(); }
  DesktopSession& session() { return *session_; }

  template <typename T>
  T* child(const char* name) {
    T* found = window().findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QAction* action(const char* name) { return child<QAction>(name); }
  QTreeView* queries() { return child<QTreeView>("lvQueries"); }
  QTreeView* articles() { return child<QTreeView>("lvArticles"); }
  QString panelText(int panel);

  // Lets the event loop run (posted events, timers) for a moment.
  void settle(int ms = 0);
  bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000);

  // Collection contents for a test: requests and articles added as the core adds them.
  Request& addRequest(const std::string& keywords, const std::string& name = {});
  Article& addArticle(std::uint32_t number, const std::string& subject,
                      const std::string& author = "someone@example.com",
                      const std::string& requestId = {}, const std::string& text = {});

  // Selects rows of a list with the mouse (Ctrl adds to the selection).
  void clickRow(QTreeView* list, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // Opens a list's context menu at a row as the user does; returns the menu when it opened.
  QMenu* openContextMenu(QTreeView* list, int row);
  // Opens the context menu at a row, triggers the named entry and closes the menu.
  void menuCommand(QTreeView* list, int row, const char* actionName);
  // Opens the context menu a widget shows for a right click at `pos`.
  QMenu* rightClick(QWidget* widget, QPoint pos = QPoint(5, 5));
  void closePopups();
  void showPage(int page);

  std::string tempPath(const char* name) const;
  // The next file dialog answers with this file name.
  void answerFile(const std::string& fileName);
  // The texts of the messages shown so far.
  QStringList messageTexts() const;

  ScriptedPrompts prompts_;
  std::unique_ptr<LoopbackHttp> http_;
  std::unique_ptr<DesktopSession> session_;
  QTemporaryDir temp_;
};

}  // namespace varnook::testing
