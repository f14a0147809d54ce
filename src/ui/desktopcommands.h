#pragma once

#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "collection/collection.h"
#include "ui/articlespage.h"
#include "ui/icons.h"
#include "ui/querypanel.h"

class QAction;
class QDropEvent;
class QKeyEvent;
class QMenu;
class QTreeView;

namespace varnook {

class DesktopActions;
class DesktopCommands;
class HomeSite;
class LogPage;
class OptionsStore;
class QueriesPage;
class QueryModeDialog;
class Scheduler;
class StatusBarPresenter;
class UserPrompts;
class WindowCallbacks;

// The main window's parts, built before the window that shows them.
struct WindowParts {
  QueriesPage& queries;
  ArticlesPage& articles;
  LogPage& log;
  StatusBarPresenter& statusBar;
};

// What the commands' enabled, checked and visible states are computed from.
struct CommandState {
  int page = 0;                      // 0 Queries, 1 Articles, 2 Log
  const Request* request = nullptr;  // the selected query
  ArticlesPage::Selection articles;
  const Article* shown = nullptr;       // the article in the viewer
  const Request* refineBase = nullptr;  // the query of the first selected article
  bool headerHasText = false;           // the header label whose menu opens last
  bool viewerHasSelection = false;
  bool logEmpty = true;
  bool canSubmit = false;  // the panel holds a query
  bool modified = false;
  bool empty = true;  // no requests and no articles
  bool transfersRunning = false;
  bool autoDownload = false;
  bool markNewArticles = false;
  bool groupByThread = false;
  bool canCopy = false;  // the focused control has a selection
  bool canCut = false;
  bool canPaste = false;
  bool canUndo = false;  // a delete can be taken back
};

// One command of the window: its action's object name, caption (or tool button text),
// key(s), icon and tool tip, what runs it, and when it is enabled. A checkedWhen makes the
// action checkable; visibleWhen and captionWhen change how it shows. A listKey is the key
// of the list whose menu shows the command: shown beside the caption, run by the list.
struct Command {
  enum class Keys { Window, Viewer };  // where the key works: anywhere, or in the viewer
  const char* name;
  const char* caption;
  const char* shortcut = nullptr;  // several as "Ctrl+Y; Ctrl+X", the first one shown
  std::optional<CommandIcon> icon = std::nullopt;
  const char* toolTip = nullptr;
  std::function<void(DesktopCommands&)> handler = nullptr;
  bool (*enabledWhen)(const CommandState&) = nullptr;  // null: always
  bool (*checkedWhen)(const CommandState&) = nullptr;
  bool (*visibleWhen)(const CommandState&) = nullptr;
  const char* (*captionWhen)(const CommandState&) = nullptr;
  Keys keys = Keys::Window;
  const char* listKey = nullptr;
};

// The commands of the main window: one action per row of the command table (menus, tool
// bar and context menus are built from them), their handlers, the keys the window takes
// before its controls, the context menus of the pages, dropped URLs, the command line, and
// the one place that recomputes what is enabled (updateCommands).
//
// Every handler runs through runCommand: what it throws ends it with an error box. Message
// boxes and dialogs sit over the window that holds the pages. Everything given must outlive
// the object; the session destroys it before the window.
class DesktopCommands final : public QObject, private CollectionObserver {
  Q_OBJECT

 public:
  // `arguments` are the command-line arguments after the program name, read once the
  // event loop runs; `programFile` is what a second copy is started from.
  DesktopCommands(Collection& collection, OptionsStore& options, UserPrompts& prompts,
                  Scheduler& scheduler, HomeSite& homeSite, DesktopActions& desktop,
                  WindowCallbacks& callbacks, WindowParts parts, std::vector<std::string> arguments,
                  QString programFile);
  ~DesktopCommands() override;

  // The action of the named command (by object name), or null.
  QAction* action(std::string_view name) const;
  // Adds the named commands' actions to a menu or tool bar, in order; "-" is a separator.
  void addActions(QWidget& target, std::initializer_list<const char*> names) const;
  // Recomputes every enabled, checked and visible state from the selection and state;
  // for a menu that opens, with the clipboard read afresh.
  void updateCommands();
  void updateCommandsForMenu();

  int page() const { return page_; }
  void showPage(int index);
  QString title() const;

  // The window is asked to close: false when the user keeps it open (unsaved changes);
  // otherwise the transfers are stopped and the options saved.
  bool mayClose();
  // A drag from another program: whether it carries a search or article URL; dropping it
  // adds the query or article and starts it (not with Shift).
  bool acceptsDrop(const QDropEvent& event) const { return acceptsDrop(event, nullptr); }
  void drop(QDropEvent& event);

 signals:
  void pageShown(int index);
  // The title carries Qt's modified mark "[*]", shown while documentModified says so.
  void titleChanged(const QString& title);
  void documentModified(bool modified);

 protected:
  // The window's keys, before its controls; the list keys; URLs dragged onto the lists.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static const std::vector<Command>& table();
  void runCommand(const std::function<void()>& command);
  CommandState commandState() const;
  QMenu* makeMenu(const char* name, QWidget& parent,
                  std::initializer_list<const char*> names) const;
  const Command* commandForKey(const QKeyEvent& key, bool inViewer) const;
  bool listKey(QTreeView& list, const QKeyEvent& key);
  QWidget* dialogParent() const;
  void warning(const QString& text);
  void error(const QString& text);
  void refreshCounts();

  // Context menus and what the selections show (desktopcommands.cpp).
  void showQueryMenu(const QPoint& pos);
  void showArticleMenu(const QPoint& pos);
  void showHeaderMenu(ArticlesPage::HeaderField field, const QPoint& globalPos);
  void showViewerMenu(const QPoint& globalPos);
  void showLogMenu(const QPoint& pos);
  void showKeywordMenu(const QPoint& pos);
  void querySelectionChanged();
  void articleSelectionChanged();

  // The document and the command line (documentcommands.cpp).
  bool newCollection();  // false when the user abandoned it
  void openCollection();
  bool saveCollection();
  bool saveCollectionAs();
  void closeWindow();
  bool confirmSaveChanges();
  void setFileName(const std::string& path);
  void loadFile(const std::string& path);
  void runCommandLine();

  // The query panel, the query list and refined searches (querycommands.cpp).
  void submitPanelQuery();
  void editSelectedQuery();
  void sendQuery();
  void resumeQuery();
  void stopQuery();
  void stopQueryAtNextPage();
  void renameSelectedQuery();
  void deleteSelectedQuery();
  void renameQuery(Request& request, const QString& caption);
  void newSearchFromHeader() { searchFromHeader(false); }
  void refinedSearchFromHeader() { searchFromHeader(true); }
  void newSearchFromViewer() { searchFromViewer(false); }
  void refinedSearchFromViewer() { searchFromViewer(true); }
  void searchFromHeader(bool refined);
  void searchFromViewer(bool refined);
  void refineSearch(QueryPanel::Field field, const std::string& value, const Request* base);
  Request* requestOfFirstSelectedArticle() const;
  QueryModeDialog& queryModeDialog();

  // The article list, and URLs dropped onto the window (articlecommands.cpp).
  void loadSelectedArticles();
  // With "Load articles when selected": the article in the viewer, when its text is
  // missing and no earlier try failed or was stopped.
  void loadShownArticle();
  void stopLoadingSelectedArticles();
  void deleteSelectedArticles();
  void deleteSelection();  // the tool button: the query or articles of the page shown
  void selectAllArticles();
  void invertArticleSelection();
  void selectArticlesOfSameQuery();
  void selectArticlesBySameAuthor();
  void selectArticlesWithSameSubject();
  void saveSelectedArticle();
  void showThread();  // adds and sends a request for the selected article's thread
  void switchGroupByThread();
  void forEachSelectedArticle(const std::function<void(Article&)>& action);
  void undo();
  bool acceptsDrop(const QDropEvent& event, std::string* urlText) const;
  void addDroppedUrl(const std::string& urlText, bool shiftHeld);

  // Transfers, the clipboard, the log, and the ways out to the desktop (toolcommands.cpp).
  void stopAllTransfers();
  void switchAutoDownload();
  void switchMarkNewArticles();
  void resumeDownloads();
  void copy() { copyOrCut(false); }
  void cut() { copyOrCut(true); }
  void copyOrCut(bool cut);
  void paste();
  void saveLog();
  void clearLog();
  void selectViewerText();
  void findInArticle();
  void showOptions();
  void showAbout();
  void showManual();
  void exportArticles();
  void webSearchPanelKeywords();
  void webSearchFromViewer();
  void webSearchFromContext();
  void webSearch(const QString& text);
  void showPostingProfile();
  void replyToAuthor();
  void replyToGroup();
  void forwardArticle();

  // CollectionObserver
  void rowsInserted(ListKind kind, int first, int last) override;
  void rowsRemoved(ListKind kind, int first, int last) override;
  void listReset(ListKind kind) override;
  void statusChanged(const ArticleBase& object) override;
  void modifiedChanged(bool modified) override;

  Collection& collection_;
  OptionsStore& options_;
  UserPrompts& prompts_;
  Scheduler& scheduler_;
  HomeSite& homeSite_;
  DesktopActions& desktop_;
  QueriesPage& queries_;
  ArticlesPage& articles_;
  LogPage& log_;
  StatusBarPresenter& statusBar_;
  std::vector<std::string> arguments_;
  QString programFile_;

  std::vector<QAction*> actions_;  // one per table row, in its order
  QMenu* queryMenu_ = nullptr;
  QMenu* articleMenu_ = nullptr;
  QMenu* headerMenu_ = nullptr;
  QMenu* authorMenu_ = nullptr;
  QMenu* viewerMenu_ = nullptr;
  std::unique_ptr<QueryModeDialog> queryModeDialog_;

  int page_ = 0;
  std::optional<ArticlesPage::HeaderField> headerField_;  // the label whose menu opened last
  bool transfersRunning_ = false;
  std::optional<bool> clipboardHasText_;  // unknown since the clipboard changed
  bool submitting_ = false;               // Send is running (it may wait for a request name)

  // The deletes Undo takes back, the latest last: the articles of one delete, or a query.
  struct Deleted {
    std::vector<Collection::Taken<Article>> articles;
    Collection::Taken<Request> request;
  };
  void remember(Deleted deleted);
  std::deque<Deleted> deleted_;
};

}  // namespace varnook
