#pragma once

// What the main window's tests share: a fixture that runs a whole desktop session with
// scripted prompts and a loopback server, and the user's ways of driving it.

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <memory>
#include <string>
#include <vector>

#include "archive/queryurl.h"
#include "collection/collection.h"
#include "collection/collectionfile.h"
#include "scriptedprompts.h"
#include "settings/optionsstore.h"
#include "support/scriptedserver.h"
#include "transfer/scheduler.h"
#include "ui/articlespage.h"
#include "ui/colormemo.h"
#include "ui/desktopcommands.h"
#include "ui/desktopsession.h"
#include "ui/logpage.h"
#include "ui/mainwindow.h"
#include "ui/queriespage.h"
#include "ui/statusbarpresenter.h"

namespace varnook::testing {

// One desktop session per test: the real window, options, collection, scheduler and event
// loop, with scripted prompts. The home site and the archive service point at a loopback
// server that answers the update check and holds every search and article request open.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the session with these command-line arguments (SetUp starts one without).
  void startSession(std::vector<std::string> arguments = {});
  // Points the home site, the archive service and the article servers at 127.0.0.1:port.
  void useServer(int port);

  MainWindow& window() { return session_->window(); }
  Collection& collection() { return session_->collection(); }
  DesktopSession& session() { return *session_; }

  template <typename T>
  T* child(const char* name) {
    T* found = window().findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QAction* action(const char* name) {
    QAction* found = session_->commands().action(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QTreeView* queries() { return child<QTreeView>("lvQueries"); }
  QTreeView* articles() { return child<QTreeView>("lvArticles"); }
  QString panelText(int panel) {
    return child<QLabel>(("StatusPanel" + std::to_string(panel)).c_str())->text();
  }
  int currentPage() { return child<QStackedWidget>("Pages")->currentIndex(); }
  QString messagePanelText() { return session_->statusBar().message(); }
  const Article* shownArticle() { return session_->articlesPage().shownArticle(); }
  void appendLog(const std::string& line) { session_->logPage().append(line); }
  // The enabled ones of the named actions, separated by blanks.
  std::string enabledOf(std::initializer_list<const char*> names);
  // The options as saved for the next run.
  VnkOptions storedOptions();

  // Lets the event loop run (posted events, timers) for a moment.
  void settle(int ms = 0);

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
  static QByteArray fileBytes(const std::string& path);
  // The next file dialog answers with this file name.
  void answerFile(const std::string& fileName) {
    prompts_.fileNames.push_back(QString::fromStdString(fileName));
  }

  ScriptedPrompts prompts_;
  std::unique_ptr<ScriptedServer> server_;
  std::unique_ptr<DesktopSession> session_;
  QTemporaryDir temp_;
};

}  // namespace varnook::testing
