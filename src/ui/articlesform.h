#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "collection/collection.h"
#include "transfer/transferui.h"
#include "ui/querypanel.h"
#include "update/updateui.h"

class QAction;
class QLabel;
class QMenu;
class QModelIndex;
class QPlainTextEdit;
class QSplitter;
class QStackedWidget;
class QTabBar;
class QTimer;
class QToolBar;
class QTreeView;
class QMimeData;

namespace varnook {

class ArticleListModel;
class ColorMemo;
class DesktopActions;
class UpdatePrompts;
class HomeSite;
class OptionsStore;
class QueryListModel;
class QueryModeDialog;
class Scheduler;
class UserPrompts;

// The main window of the desktop agent: the news collection on three pages (queries with
// the query panel, articles with the article header and viewer, the transfer log), the
// document commands, and the commands behind the lists, the panel, the menus and the tool
// bar. It is the user interface of the download scheduler and of the home-site check.
//
// The window does not own the collection, the options, the prompts or the scheduler; they
// must outlive it (DesktopSession creates them in that order). Its code is split by page
// and command group over the articlesform_*.cpp files.
class ArticlesForm final : public QMainWindow,
                           public TransferUi,
                           public UpdateUi,
                           private CollectionObserver {
  Q_OBJECT

 public:
  // `arguments` are the command-line arguments after the program name, read once the event
  // loop runs. `programFile` is what a second copy of the program is started from.
  ArticlesForm(Collection& collection, OptionsStore& options, UserPrompts& prompts,
               std::vector<std::string> arguments, QString programFile, QWidget* parent = nullptr);
  ~ArticlesForm() override;

  // The scheduler that runs the transfers (set once, before the event loop runs), and the
  // home-site check that stop aborts.
  void setScheduler(Scheduler* scheduler, HomeSite* homeSite);

  // Where the panel's "now" comes from (tests fix the day).
  QueryPanel* queryPanel() const { return panel_; }

  // The commands other parts of the program call.
  bool newCollection();  // false when the user abandoned it
  void openCollection();
  bool saveCollection();
  bool saveCollectionAs();
  void btnSubmitClick();
  void showArticle(Article* article);
  void showTransientStatus(const QString& text);
  const Article* shownItem() const { return shownItem_; }
  QString messagePanelText() const;

  // TransferUi
  void log(const std::string& line) override;
  bool askYesNo(const std::string& text) override;
  void openInBrowser(const std::string& path) override;
  void countsChanged(const TransferCounts& counts) override;
  void transfersRunningChanged(bool running) override;
  void autoDownloadChanged(bool on) override;
  void articleTransferEnded(Article& article) override;
  void transferFailed(const ArticleBase& object, const std::string& line) override;
  void downloadsPaused(const std::string& reason) override;

  // UpdateUi (askYesNo is shared with TransferUi)
  void showUpdateStatus(const std::string& text) override;
  bool askOkCancel(const std::string& text) override;
  void openUrl(const std::string& url) override;
  void openInHelpViewer(const std::string& url) override;
  void closeMainWindow() override;

 signals:
  // The message panel (the status bar's last panel) got a new text; tests count them.
  void messagePanelChanged(const QString& text);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Window setup (articlesform.cpp).
  void createActions();
  void createMenus();
  void createToolBar();
  void createPages();
  QWidget* createQueriesPage();
  QWidget* createArticlesPage();
  QWidget* createLogPage();
  void createStatusBar();
  void createPopupMenus();
  void connectCommands();
  QAction* makeAction(const char* name, const QString& text, void (ArticlesForm::*command)());
  void runCommand(const std::function<void()>& command);
  void updateDocumentActions();

  // Document commands and the command line (articlesform_document.cpp).
  bool confirmSaveChanges();
  void setFileName(const std::string& path);
  void loadFile(const std::string& path);
  void handleCommandLine();
  void mnuExitClick();

  // The query panel and searches (articlesform_query.cpp).
  void mnuEditRequestClick();
  void refineSearch(QueryPanel::Field field, const std::string& value, const Request* base);
  void popHeaderFieldsPopup(QLabel* label, const QPoint& globalPos);
  void popAuthorPopup(const QPoint& globalPos);
  void mnuNewSearchClick(bool refined);
  void popArtViewPopup(const QPoint& globalPos);
  void mnuSelNewSearchClick(bool refine);
  Request* requestOfFirstSelectedArticle() const;
  bool stillInCollection(const Request* request) const;
  QueryModeDialog& queryModeDialog();

  // The query list (articlesform_querylist.cpp).
  void popQueryListPopup(const QPoint& pos);
  void lvQueriesChange();
  void mnuSendQueryClick();
  void mnuResumeQueryClick();
  void mnuCancelRequestClick();
  void mnuStopAtNextPageClick();
  void mnuDeleteRequestClick();
  void mnuRenameQueryClick();
  void lvQueriesEdited(int row, const QString& text);
  void selectQueryRow(int row);
  Request* selectedRequest() const;

  // The article list and viewer (articlesform_articlelist.cpp).
  void popArticleListPopup(const QPoint& pos);
  void lvArticlesChange();
  void lvArticlesDblClick();
  void mnuStopArticlesClick();
  void mnuDeleteArticlesClick();
  void mnuSelectAllClick();
  void mnuSelectReverseClick();
  void mnuSelectByQueryClick();
  void mnuSelectbyAuthorClick();
  void mnuSelectBySubjectClick();
  void mnuArtSaveClick();
  void mnuArtSelectAllClick();
  void lvArticlesHeaderClick(int column);
  void selectArticlesWhere(const std::function<bool(const Article&)>& select);
  void forEachSelectedArticle(const std::function<void(Article&)>& action);
  std::vector<int> selectedArticleRows() const;
  int selectedArticleCount() const;
  Article* singleSelectedArticle() const;
  Article* firstSelectedArticle() const;
  void selectArticleRow(int row);
  bool isArticleSelected(const Article& article) const;

  // The status bar, the log and the transfer hookup (articlesform_status.cpp).
  void refreshStatusBar();
  void showCounts(const TransferCounts& counts);
  void setMessagePanel(const QString& text);
  void setSelectionStatus(const QString& text, bool showNow);
  void showPendingStatus();
  void statusResetTimerTimer();
  void btnStopClick();
  void btnAutoClick(bool down);
  void btnAutoMarkClick(bool down);
  void mnuResumeDownloadsClick();
  void showDownloadsPaused(const QString& text);
  void mnuLogSaveClick();
  void mnuLogClearClick();
  void popLogPopup(const QPoint& pos);

  // Keys, clipboard and drops (articlesform_input.cpp).
  bool formKeyDown(QObject* watched, QKeyEvent* event);
  bool listKeyDown(QTreeView* list, QKeyEvent* event);
  void updateEditMenu();
  void mnuEditCopyClick(bool cut);
  void mnuEditPasteClick();
  void showPage(int index);
  void updateDeleteButton();
  bool acceptsDrop(const QDropEvent& event, std::string* urlText) const;
  void formDragDrop(const std::string& urlText, bool shiftHeld);
  void popKWPopup(const QPoint& pos);

  // The ways out to the desktop (articlesform_desktop.cpp).
  void mnuOptionsClick();
  void mnuAboutClick();
  void contents1Click();
  void mnuExportClick();
  void webSearch(const QString& text);
  void mnuWebSearchClick();
  QString contextSearchText() const;
  void ctrlWWebSearch();
  void mnuSelWebSearchClick();
  void mnuPostingProfileClick();
  void artViewHotSpotClick(const QByteArray& link);
  void mnuReplyAuthorClick();
  void mnuReplyGroupClick();
  void mnuForwardClick();
  bool writeArticleFile(const Article& article, const QString& fileName);

  // CollectionObserver: the window's own bookkeeping (the models show the rows).
  void rowsAboutToBeRemoved(ListKind kind, int first, int last) override;
  void rowsRemoved(ListKind kind, int first, int last) override;
  void rowsInserted(ListKind kind, int first, int last) override;
  void listAboutToBeReset(ListKind kind) override;
  void listReset(ListKind kind) override;
  void statusChanged(const ArticleBase& object) override;
  void modifiedChanged(bool modified) override;

  // Warnings, errors and questions.
  void warning(const QString& text);
  void error(const QString& text);

  Collection& collection_;
  OptionsStore& options_;
  UserPrompts& prompts_;
  Scheduler* scheduler_ = nullptr;
  HomeSite* homeSite_ = nullptr;
  std::unique_ptr<DesktopActions> desktop_;
  std::unique_ptr<UpdatePrompts> updatePrompts_;
  std::vector<std::string> arguments_;
  QString programFile_;

  // Pages.
  QTabBar* PageSwitch = nullptr;
  QStackedWidget* Pages = nullptr;
  QSplitter* querySplitter_ = nullptr;
  QSplitter* articleSplitter_ = nullptr;
  QTreeView* lvQueries = nullptr;
  QTreeView* lvArticles = nullptr;
  QueryListModel* queryModel_ = nullptr;
  ArticleListModel* articleModel_ = nullptr;
  QueryPanel* panel_ = nullptr;
  QLabel* lblAuthor = nullptr;
  QLabel* lblSubject = nullptr;
  QLabel* lblForum = nullptr;
  ColorMemo* ArtView = nullptr;
  QPlainTextEdit* memoLog = nullptr;
  QToolBar* toolBar_ = nullptr;

  // Status bar.
  QLabel* statusPanels_[7] = {};
  QLabel* pausedPanel_ = nullptr;
  QTimer* StatusResetTimer = nullptr;
  QTimer* pendingStatusTimer_ = nullptr;

  // Commands.
  QAction* mnuNew = nullptr;
  QAction* mnuOpen = nullptr;
  QAction* mnuSave = nullptr;
  QAction* mnuSaveAs = nullptr;
  QAction* mnuExport = nullptr;
  QAction* mnuExit = nullptr;
  QAction* mnuEditCopy = nullptr;
  QAction* mnuEditCut = nullptr;
  QAction* mnuEditPaste = nullptr;
  QAction* mnuOptions = nullptr;
  QAction* mnuResumeDownloads = nullptr;
  QAction* mnuContents = nullptr;
  QAction* mnuAbout = nullptr;
  QAction* btnNew = nullptr;
  QAction* btnOpen = nullptr;
  QAction* btnSave = nullptr;
  QAction* btnStop = nullptr;
  QAction* btnAuto = nullptr;
  QAction* btnAutoMark = nullptr;
  QAction* btnDeleteArticle = nullptr;
  QAction* btnReplyAuthor = nullptr;
  QAction* btnReplyGroup = nullptr;
  QAction* btnForward = nullptr;

  QMenu* popQueryList = nullptr;
  QAction* mnuEditRequest = nullptr;
  QAction* mnuSendQuery = nullptr;
  QAction* mnuResumeQuery = nullptr;
  QAction* mnuCancelRequest = nullptr;
  QAction* mnuStopAtNextPage = nullptr;
  QAction* mnuDeleteRequest = nullptr;
  QAction* mnuRenameQuery = nullptr;

  QMenu* popArticleList = nullptr;
  QAction* mnuLoadArticle = nullptr;
  QAction* mnuStopArticles = nullptr;
  QMenu* mnuSelectArticles = nullptr;
  QAction* mnuSelectAll = nullptr;
  QAction* mnuSelectReverse = nullptr;
  QAction* mnuSelectByQuery = nullptr;
  QAction* mnuSelectbyAuthor = nullptr;
  QAction* mnuSelectBySubject = nullptr;
  QAction* mnuArtSave = nullptr;
  QAction* mnuReplyAuthor = nullptr;
  QAction* mnuReplyGroup = nullptr;
  QAction* mnuForward = nullptr;
  QAction* mnuPostingProfile = nullptr;
  QAction* mnuDeleteArticles = nullptr;

  QMenu* popHeaderFields = nullptr;
  QAction* mnuHeaderNewSearch = nullptr;
  QAction* mnuHeaderRefinedSearch = nullptr;
  QMenu* popAuthor = nullptr;
  QAction* mnuAuthorNewSearch = nullptr;
  QAction* mnuAuthorRefinedSearch = nullptr;
  QAction* mnuShowPostingProfile = nullptr;
  QMenu* popArtView = nullptr;
  QAction* mnuSelNewSearch = nullptr;
  QAction* mnuSelRefineSearch = nullptr;
  QAction* mnuArtViewCopy = nullptr;
  QAction* mnuArtSelectAll = nullptr;
  QAction* mnuArtViewSave = nullptr;
  QAction* mnuSelWebSearch = nullptr;
  QAction* mnuLogSave = nullptr;
  QAction* mnuLogClear = nullptr;

  // Records of the window.
  Article* shownItem_ = nullptr;  // the article the header and viewer show
  Article* shownBeforeReset_ = nullptr;
  QString pendingStatusText_;          // the selection count, shown when idle
  Request* currentRequest_ = nullptr;  // the base of the refine menus, set when they open
  QLabel* headerMenuLabel_ = nullptr;  // the label whose menu is open
  std::unique_ptr<QueryModeDialog> queryModeDialog_;
  int sortColumn_ = -1;
  bool sortDescending_ = false;
  bool closing_ = false;
  bool submitting_ = false;      // Send is running (it may wait for a request name)
  bool recheckQueries_ = false;  // a list was reset: what its selection shows is redone
  bool recheckArticles_ = false;
};

}  // namespace varnook
