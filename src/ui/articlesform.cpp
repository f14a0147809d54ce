// The main window's construction: pages, lists, menus, tool bar, status bar.
#include "ui/articlesform.h"

#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <exception>

#include "base/xdgdirs.h"
#include "settings/optionsstore.h"
#include "transfer/scheduler.h"
#include "ui/articlelistmodel.h"
#include "ui/colormemo.h"
#include "ui/desktopactions.h"
#include "ui/icons.h"
#include "ui/querylistmodel.h"
#include "ui/querymodedialog.h"
#include "ui/updateprompts.h"
#include "ui/userprompts.h"

namespace varnook {
namespace {

QTreeView* makeList(const char* name, QWidget* parent) {
  auto* list = new QTreeView(parent);
  list->setObjectName(QString::fromLatin1(name));
  list->setRootIsDecorated(false);
  list->setItemsExpandable(false);
  list->setUniformRowHeights(true);  // keeps lists of 100,000 rows fast
  list->setAllColumnsShowFocus(true);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  list->setDragDropMode(QAbstractItemView::NoDragDrop);
  list->setAcceptDrops(true);
  list->viewport()->setAcceptDrops(true);
  list->header()->setStretchLastSection(true);
  list->header()->setSectionsMovable(false);
  return list;
}

// An article header label: navy text, highlighted under the mouse, with its own menu.
QLabel* makeHotLabel(const char* name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setAttribute(Qt::WA_Hover);
  label->setTextFormat(Qt::PlainText);
  label->setContextMenuPolicy(Qt::CustomContextMenu);
  label->setCursor(Qt::PointingHandCursor);
  label->setTextInteractionFlags(Qt::NoTextInteraction);
  label->setStyleSheet(
      QStringLiteral("QLabel { color: navy; }"
                     "QLabel:hover { color: blue; text-decoration: underline; }"));
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  return label;
}

}  // namespace

ArticlesForm::ArticlesForm(Collection& collection, OptionsStore& options, UserPrompts& prompts,
                           std::vector<std::string> arguments, QString programFile, QWidget* parent)
    : QMainWindow(parent),
      collection_(collection),
      options_(options),
      prompts_(prompts),
      arguments_(std::move(arguments)),
      programFile_(std::move(programFile)) {
  setObjectName(QStringLiteral("ArticlesForm"));
  desktop_ = std::make_unique<DesktopActions>(XdgDirs::fromEnvironment(), prompts_, this);
  updatePrompts_ = std::make_unique<UpdatePrompts>(
      prompts_, *desktop_, this, [this](const QString& text) { setMessagePanel(text); },
      // Asked from inside the home-site check: the window closes once that call has returned.
      [this] { QTimer::singleShot(0, this, &QWidget::close); });
  setWindowIcon(rowImage(RowImage::query));
  setAcceptDrops(true);
  createActions();
  createMenus();
  createPages();
  createToolBar();
  createStatusBar();
  createPopupMenus();
  connectCommands();
  collection_.addObserver(this);

  // Start-up state: nothing runs, so stop, delete and the mail buttons are off; new
  // articles are marked for download; the Queries page is shown.
  btnStop->setEnabled(false);
  btnDeleteArticle->setEnabled(false);
  btnReplyAuthor->setEnabled(false);
  btnReplyGroup->setEnabled(false);
  btnForward->setEnabled(false);
  btnAutoMark->setChecked(collection_.markNewArticles);
  showPage(0);
  ArtView->applyOptions(options_.options());
  setFileName(collection_.fileName());
  updateDocumentActions();

  // A sensible first size: two thirds of the screen, at least 900 x 640.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QSize available = screen->availableSize();
    resize(std::max(900, available.width() * 2 / 3), std::max(640, available.height() * 2 / 3));
  } else {
    resize(1000, 700);
  }

  // The command line is read once the window is up and the event loop runs.
  QMetaObject::invokeMethod(
      this, [this] { runCommand([this] { handleCommandLine(); }); }, Qt::QueuedConnection);
}

ArticlesForm::~ArticlesForm() {
  closing_ = true;
  // The lists go with the window; the models hear one reset each.
  collection_.clearRequests();
  collection_.clearArticles();
  collection_.removeObserver(this);
}

void ArticlesForm::setScheduler(Scheduler* scheduler, HomeSite* homeSite) {
  scheduler_ = scheduler;
  homeSite_ = homeSite;
  // The counters stay as created ("0/0") until the first refresh.
  if (scheduler_ != nullptr) btnAuto->setChecked(scheduler_->autoDownload());
}

void ArticlesForm::runCommand(const std::function<void()>& command) {
  // Whatever a command throws ends the command with an error box; nothing reaches Qt.
  try {
    command();
  } catch (const std::exception& failure) {
    error(QString::fromLocal8Bit(failure.what()));
  } catch (...) {
    error(QStringLiteral("Unexpected error"));
  }
}

QAction* ArticlesForm::makeAction(const char* name, const QString& text,
                                  void (ArticlesForm::*command)()) {
  auto* action = new QAction(text, this);
  action->setObjectName(QString::fromLatin1(name));
  if (command != nullptr)
    connect(action, &QAction::triggered, this,
            [this, command] { runCommand([=, this] { (this->*command)(); }); });
  return action;
}

void ArticlesForm::createActions() {
  // The keys of the File and Edit commands are handled by the window before its controls
  // (formKeyDown); the actions show them in the menus.
  mnuNew = makeAction("mnuNew", QStringLiteral("&New"), nullptr);
  mnuNew->setShortcut(QKeySequence(QStringLiteral("Ctrl+N")));
  mnuOpen = makeAction("mnuOpen", QStringLiteral("Open..."), &ArticlesForm::openCollection);
  mnuOpen->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
  mnuSave = makeAction("mnuSave", QStringLiteral("Save"), nullptr);
  mnuSave->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
  mnuSaveAs = makeAction("mnuSaveAs", QStringLiteral("Save &as..."), nullptr);
  mnuExport = makeAction("mnuExport", QStringLiteral("Export"), &ArticlesForm::mnuExportClick);
  mnuExit = makeAction("mnuExit", QStringLiteral("E&xit"), &ArticlesForm::mnuExitClick);
  mnuEditCopy = makeAction("mnuEditCopy", QStringLiteral("&Copy"), nullptr);
  mnuEditCopy->setShortcut(QKeySequence(QStringLiteral("Ctrl+C")));
  mnuEditCut = makeAction("mnuEditCut", QStringLiteral("Cut"), nullptr);
  mnuEditCut->setShortcut(QKeySequence(QStringLiteral("Ctrl+Y")));
  mnuEditPaste =
      makeAction("mnuEditPaste", QStringLiteral("&Paste"), &ArticlesForm::mnuEditPasteClick);
  mnuEditPaste->setShortcut(QKeySequence(QStringLiteral("Ctrl+V")));
  mnuOptions =
      makeAction("mnuOptions", QStringLiteral("&Options..."), &ArticlesForm::mnuOptionsClick);
  mnuResumeDownloads = makeAction("mnuResumeDownloads", QStringLiteral("&Resume downloads"),
                                  &ArticlesForm::mnuResumeDownloadsClick);
  mnuContents =
      makeAction("mnuContents", QStringLiteral("Contents"), &ArticlesForm::contents1Click);
  mnuContents->setShortcut(QKeySequence(Qt::Key_F1));
  mnuAbout = makeAction("mnuAbout", QStringLiteral("About..."), &ArticlesForm::mnuAboutClick);
  for (QAction* action :
       {mnuNew, mnuOpen, mnuSave, mnuEditCopy, mnuEditCut, mnuEditPaste, mnuContents})
    action->setShortcutContext(Qt::WidgetShortcut);  // formKeyDown runs them

  btnNew = makeAction("btnNew", QStringLiteral("New"), nullptr);
  btnNew->setIcon(commandIcon(CommandIcon::newDocument));
  btnNew->setToolTip(QStringLiteral("New news collection"));
  btnOpen = makeAction("btnOpen", QStringLiteral("Open"), &ArticlesForm::openCollection);
  btnOpen->setIcon(commandIcon(CommandIcon::open));
  btnOpen->setToolTip(QStringLiteral("Open saved messages"));
  btnSave = makeAction("btnSave", QStringLiteral("Save"), nullptr);
  btnSave->setIcon(commandIcon(CommandIcon::save));
  btnSave->setToolTip(QStringLiteral("Save messages"));
  btnStop = makeAction("btnStop", QStringLiteral("Stop"), &ArticlesForm::btnStopClick);
  btnStop->setIcon(commandIcon(CommandIcon::stop));
  btnStop->setToolTip(QStringLiteral("Stop all ongoing downloads"));
  btnAuto = makeAction("btnAuto", QStringLiteral("Auto"), nullptr);
  btnAuto->setIcon(commandIcon(CommandIcon::autoDownload));
  btnAuto->setToolTip(QStringLiteral("Download articles automatically"));
  btnAuto->setCheckable(true);
  btnAutoMark = makeAction("btnAutoMark", QStringLiteral("Mark"), nullptr);
  btnAutoMark->setIcon(commandIcon(CommandIcon::autoMark));
  btnAutoMark->setToolTip(QStringLiteral("Mark new articles for download"));
  btnAutoMark->setCheckable(true);
  btnDeleteArticle = makeAction("btnDeleteArticle", QStringLiteral("Delete"), nullptr);
  btnDeleteArticle->setIcon(commandIcon(CommandIcon::remove));
  btnDeleteArticle->setToolTip(QStringLiteral("Delete query or message (DEL)"));
  btnReplyAuthor =
      makeAction("btnReplyAuthor", QStringLiteral("Reply"), &ArticlesForm::mnuReplyAuthorClick);
  btnReplyAuthor->setIcon(commandIcon(CommandIcon::replyAuthor));
  btnReplyAuthor->setToolTip(QStringLiteral("Reply to author"));
  btnReplyGroup =
      makeAction("btnReplyGroup", QStringLiteral("Reply group"), &ArticlesForm::mnuReplyGroupClick);
  btnReplyGroup->setIcon(commandIcon(CommandIcon::replyGroup));
  btnReplyGroup->setToolTip(QStringLiteral("Reply to the newsgroup(s)"));
  btnForward = makeAction("btnForward", QStringLiteral("Forward"), &ArticlesForm::mnuForwardClick);
  btnForward->setIcon(commandIcon(CommandIcon::forward));
  btnForward->setToolTip(QStringLiteral("Forward"));
}

void ArticlesForm::createMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("mnuFile"));
  file->addAction(mnuNew);
  file->addAction(mnuOpen);
  file->addAction(mnuSave);
  file->addAction(mnuSaveAs);
  file->addSeparator();
  file->addAction(mnuExport);
  file->addSeparator();
  file->addAction(mnuExit);

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  edit->setObjectName(QStringLiteral("mnuEdit"));
  edit->addAction(mnuEditCopy);
  edit->addAction(mnuEditCut);
  edit->addAction(mnuEditPaste);

  // The View menu has no entries; it is shown disabled rather than opening empty.
  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->setObjectName(QStringLiteral("mnuView"));
  view->setEnabled(false);

  QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
  tools->setObjectName(QStringLiteral("mnuTools"));
  tools->addAction(mnuResumeDownloads);
  tools->addSeparator();
  tools->addAction(mnuOptions);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("mnuHelp"));
  help->addAction(mnuContents);
  help->addSeparator();
  help->addAction(mnuAbout);

  // The Edit entries follow the focus: updated whenever one of the menus opens.
  for (QMenu* menu : {file, edit, tools, help})
    connect(menu, &QMenu::aboutToShow, this, &ArticlesForm::updateEditMenu);
}

void ArticlesForm::createToolBar() {
  toolBar_ = addToolBar(QStringLiteral("Tools"));
  toolBar_->setObjectName(QStringLiteral("ToolBar"));
  toolBar_->setMovable(false);
  toolBar_->setFloatable(false);
  toolBar_->toggleViewAction()->setEnabled(false);
  toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  setContextMenuPolicy(Qt::NoContextMenu);  // no menu to hide the tool bar
  for (QAction* action : {btnNew, btnOpen, btnSave}) toolBar_->addAction(action);
  toolBar_->addSeparator();
  for (QAction* action : {btnStop, btnAuto, btnAutoMark}) toolBar_->addAction(action);
  toolBar_->addSeparator();
  toolBar_->addAction(btnDeleteArticle);
  toolBar_->addSeparator();
  for (QAction* action : {btnReplyAuthor, btnReplyGroup, btnForward}) toolBar_->addAction(action);
  // The tool buttons carry the names of their commands.
  for (QAction* action : toolBar_->actions())
    if (QWidget* button = toolBar_->widgetForAction(action))
      if (!action->isSeparator()) button->setObjectName(action->objectName());

  // The page selector sits at the right end of the tool bar row.
  auto* spacer = new QWidget(toolBar_);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  toolBar_->addWidget(spacer);
  toolBar_->addWidget(PageSwitch);
}

void ArticlesForm::createPages() {
  PageSwitch = new QTabBar(this);
  PageSwitch->setObjectName(QStringLiteral("PageSwitch"));
  PageSwitch->addTab(QStringLiteral(" Queries "));
  PageSwitch->addTab(QStringLiteral(" Articles "));
  PageSwitch->addTab(QStringLiteral(" Log "));
  PageSwitch->setDrawBase(false);
  PageSwitch->setExpanding(false);
  PageSwitch->setFocusPolicy(Qt::TabFocus);

  Pages = new QStackedWidget(this);
  Pages->setObjectName(QStringLiteral("Pages"));
  Pages->addWidget(createQueriesPage());
  Pages->addWidget(createArticlesPage());
  Pages->addWidget(createLogPage());
  setCentralWidget(Pages);
}

QWidget* ArticlesForm::createQueriesPage() {
  querySplitter_ = new QSplitter(Qt::Vertical, this);
  querySplitter_->setObjectName(QStringLiteral("QueriesPage"));
  querySplitter_->setChildrenCollapsible(false);
  lvQueries = makeList("lvQueries", querySplitter_);
  lvQueries->setSelectionMode(QAbstractItemView::SingleSelection);
  lvQueries->setEditTriggers(QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::SelectedClicked);
  queryModel_ = new QueryListModel(collection_, this);
  lvQueries->setModel(queryModel_);
  const int queryWidths[] = {350, 60, 60, 60, 60};
  for (int column = 0; column < 5; ++column)
    lvQueries->header()->resizeSection(column, queryWidths[column]);
  panel_ = new QueryPanel(querySplitter_);
  querySplitter_->addWidget(lvQueries);
  querySplitter_->addWidget(panel_);
  querySplitter_->setStretchFactor(0, 1);
  querySplitter_->setStretchFactor(1, 0);
  querySplitter_->setSizes({380, panel_->sizeHint().height()});
  return querySplitter_;
}

QWidget* ArticlesForm::createArticlesPage() {
  articleSplitter_ = new QSplitter(Qt::Vertical, this);
  articleSplitter_->setObjectName(QStringLiteral("ArticlesPage"));
  articleSplitter_->setChildrenCollapsible(false);
  lvArticles = makeList("lvArticles", articleSplitter_);
  lvArticles->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvArticles->setEditTriggers(QAbstractItemView::NoEditTriggers);
  articleModel_ = new ArticleListModel(collection_, this);
  lvArticles->setModel(articleModel_);
  const int articleWidths[] = {300, 250, 100};
  for (int column = 0; column < 3; ++column)
    lvArticles->header()->resizeSection(column, articleWidths[column]);
  lvArticles->header()->setSectionsClickable(true);
  lvArticles->header()->setSortIndicatorShown(false);

  // The article header above the viewer.
  auto* viewerPane = new QWidget(articleSplitter_);
  auto* viewerLayout = new QVBoxLayout(viewerPane);
  viewerLayout->setContentsMargins(0, 0, 0, 0);
  viewerLayout->setSpacing(2);
  auto* header = new QWidget(viewerPane);
  header->setObjectName(QStringLiteral("ArticleHeader"));
  auto* grid = new QGridLayout(header);
  grid->setContentsMargins(6, 4, 6, 2);
  grid->setVerticalSpacing(1);
  lblAuthor = makeHotLabel("lblAuthor", header);
  lblSubject = makeHotLabel("lblSubject", header);
  lblForum = makeHotLabel("lblForum", header);
  const struct {
    const char* caption;
    QLabel* label;
  } rows[] = {{"Author:", lblAuthor}, {"Subject:", lblSubject}, {"Forum:", lblForum}};
  for (int row = 0; row < 3; ++row) {
    grid->addWidget(new QLabel(QString::fromLatin1(rows[row].caption), header), row, 0);
    grid->addWidget(rows[row].label, row, 1);
  }
  grid->setColumnStretch(1, 1);
  viewerLayout->addWidget(header);
  ArtView = new ColorMemo(viewerPane);
  ArtView->setObjectName(QStringLiteral("ArtView"));
  ArtView->setReadOnly(true);
  ArtView->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  viewerLayout->addWidget(ArtView, 1);

  articleSplitter_->addWidget(lvArticles);
  articleSplitter_->addWidget(viewerPane);
  articleSplitter_->setStretchFactor(0, 2);
  articleSplitter_->setStretchFactor(1, 3);
  articleSplitter_->setSizes({260, 390});
  return articleSplitter_;
}

QWidget* ArticlesForm::createLogPage() {
  memoLog = new QPlainTextEdit(this);
  memoLog->setObjectName(QStringLiteral("memoLog"));
  memoLog->setReadOnly(true);
  memoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  memoLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  QPalette palette = memoLog->palette();
  palette.setColor(QPalette::Base, QColor(0xE0, 0xE0, 0xE0));
  palette.setColor(QPalette::Text, Qt::black);
  memoLog->setPalette(palette);
  memoLog->setContextMenuPolicy(Qt::CustomContextMenu);
  return memoLog;
}

void ArticlesForm::createStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("StatusBar"));
  bar->setSizeGripEnabled(true);
  const int widths[] = {0, 50, 60, 0, 90, 60};
  for (int panel = 0; panel < 7; ++panel) {
    auto* label = new QLabel(bar);
    label->setObjectName(QStringLiteral("StatusPanel%1").arg(panel));
    if (panel < 6) {
      label->setMinimumWidth(widths[panel]);
      bar->addWidget(label);
    } else {
      label->setTextFormat(Qt::PlainText);
      label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
      bar->addWidget(label, 1);
    }
    statusPanels_[panel] = label;
  }
  // Stays while the downloads wait after an outage: selection texts do not cover it.
  pausedPanel_ = new QLabel(bar);
  pausedPanel_->setObjectName(QStringLiteral("StatusPanelPaused"));
  pausedPanel_->setTextFormat(Qt::PlainText);
  pausedPanel_->hide();
  bar->addPermanentWidget(pausedPanel_);
  statusPanels_[0]->setText(QStringLiteral("Queries:"));
  statusPanels_[1]->setText(QStringLiteral("(none)"));
  statusPanels_[3]->setText(QStringLiteral("Articles:"));
  statusPanels_[4]->setText(QStringLiteral("0/0"));

  StatusResetTimer = new QTimer(this);
  StatusResetTimer->setObjectName(QStringLiteral("StatusResetTimer"));
  StatusResetTimer->setSingleShot(true);
  StatusResetTimer->setInterval(8000);
  connect(StatusResetTimer, &QTimer::timeout, this, &ArticlesForm::statusResetTimerTimer);
  // The selection count waits until the pending events have been handled.
  pendingStatusTimer_ = new QTimer(this);
  pendingStatusTimer_->setSingleShot(true);
  pendingStatusTimer_->setInterval(0);
  connect(pendingStatusTimer_, &QTimer::timeout, this, &ArticlesForm::showPendingStatus);
}

void ArticlesForm::createPopupMenus() {
  popQueryList = new QMenu(this);
  popQueryList->setObjectName(QStringLiteral("popQueryList"));
  mnuEditRequest =
      makeAction("mnuEditRequest", QStringLiteral("&Edit"), &ArticlesForm::mnuEditRequestClick);
  mnuSendQuery =
      makeAction("mnuSendQuery", QStringLiteral("&Send"), &ArticlesForm::mnuSendQueryClick);
  mnuResumeQuery = makeAction("mnuResumeQuery", QStringLiteral("&Resume at next page"),
                              &ArticlesForm::mnuResumeQueryClick);
  mnuStopAtNextPage = makeAction("mnuStopAtNextPage", QStringLiteral("Stop at &next page"),
                                 &ArticlesForm::mnuStopAtNextPageClick);
  mnuCancelRequest = makeAction("mnuCancelRequest", QStringLiteral("Sto&p query"),
                                &ArticlesForm::mnuCancelRequestClick);
  mnuRenameQuery = makeAction("mnuRenameQuery", QStringLiteral("Rename query"),
                              &ArticlesForm::mnuRenameQueryClick);
  mnuDeleteRequest = makeAction("mnuDeleteRequest", QStringLiteral("&Delete query"),
                                &ArticlesForm::mnuDeleteRequestClick);
  popQueryList->addAction(mnuEditRequest);
  popQueryList->addSeparator();
  for (QAction* action : {mnuSendQuery, mnuResumeQuery, mnuStopAtNextPage, mnuCancelRequest})
    popQueryList->addAction(action);
  popQueryList->addSeparator();
  popQueryList->addAction(mnuRenameQuery);
  popQueryList->addAction(mnuDeleteRequest);

  popArticleList = new QMenu(this);
  popArticleList->setObjectName(QStringLiteral("popArticleList"));
  mnuLoadArticle = makeAction("mnuLoadArticle", QStringLiteral("&Load article"),
                              &ArticlesForm::lvArticlesDblClick);
  mnuStopArticles = makeAction("mnuStopArticles", QStringLiteral("&Stop loading"),
                               &ArticlesForm::mnuStopArticlesClick);
  mnuSelectArticles = new QMenu(QStringLiteral("S&elect articles"), popArticleList);
  mnuSelectArticles->setObjectName(QStringLiteral("mnuSelectArticles"));
  mnuSelectAll =
      makeAction("mnuSelectAll", QStringLiteral("&All articles"), &ArticlesForm::mnuSelectAllClick);
  mnuSelectReverse = makeAction("mnuSelectReverse", QStringLiteral("&Reverse selection"),
                                &ArticlesForm::mnuSelectReverseClick);
  mnuSelectByQuery = makeAction("mnuSelectByQuery", QStringLiteral("Same &query"),
                                &ArticlesForm::mnuSelectByQueryClick);
  mnuSelectbyAuthor = makeAction("mnuSelectbyAuthor", QStringLiteral("Same &author"),
                                 &ArticlesForm::mnuSelectbyAuthorClick);
  mnuSelectBySubject = makeAction("mnuSelectBySubject", QStringLiteral("Same &subject"),
                                  &ArticlesForm::mnuSelectBySubjectClick);
  for (QAction* action : {mnuSelectAll, mnuSelectReverse}) mnuSelectArticles->addAction(action);
  mnuSelectArticles->addSeparator();
  for (QAction* action : {mnuSelectByQuery, mnuSelectbyAuthor, mnuSelectBySubject})
    mnuSelectArticles->addAction(action);
  mnuArtSave = makeAction("mnuArtSave", QStringLiteral("S&ave article as..."),
                          &ArticlesForm::mnuArtSaveClick);
  mnuReplyAuthor = makeAction("mnuReplyAuthor", QStringLiteral("&Reply to author"),
                              &ArticlesForm::mnuReplyAuthorClick);
  mnuReplyGroup = makeAction("mnuReplyGroup", QStringLiteral("Reply to &group"),
                             &ArticlesForm::mnuReplyGroupClick);
  mnuForward = makeAction("mnuForward", QStringLiteral("&Forward"), &ArticlesForm::mnuForwardClick);
  mnuPostingProfile =
      makeAction("mnuPostingProfile", QStringLiteral("View author's posting &profile..."),
                 &ArticlesForm::mnuPostingProfileClick);
  mnuDeleteArticles = makeAction("mnuDeleteArticles", QStringLiteral("&Delete article"),
                                 &ArticlesForm::mnuDeleteArticlesClick);
  popArticleList->addAction(mnuLoadArticle);
  popArticleList->addAction(mnuStopArticles);
  popArticleList->addMenu(mnuSelectArticles);
  popArticleList->addSeparator();
  popArticleList->addAction(mnuArtSave);
  popArticleList->addSeparator();
  for (QAction* action : {mnuReplyAuthor, mnuReplyGroup, mnuForward, mnuPostingProfile})
    popArticleList->addAction(action);
  popArticleList->addSeparator();
  popArticleList->addAction(mnuDeleteArticles);

  popHeaderFields = new QMenu(this);
  popHeaderFields->setObjectName(QStringLiteral("popHeaderFields"));
  mnuHeaderNewSearch = makeAction("mnuHeaderNewSearch", QStringLiteral("&New search"), nullptr);
  mnuHeaderRefinedSearch =
      makeAction("mnuHeaderRefinedSearch", QStringLiteral("&Refined search"), nullptr);
  popHeaderFields->addAction(mnuHeaderNewSearch);
  popHeaderFields->addAction(mnuHeaderRefinedSearch);

  popAuthor = new QMenu(this);
  popAuthor->setObjectName(QStringLiteral("popAuthor"));
  mnuAuthorNewSearch = makeAction("mnuAuthorNewSearch", QStringLiteral("&New search"), nullptr);
  mnuAuthorRefinedSearch =
      makeAction("mnuAuthorRefinedSearch", QStringLiteral("&Refined search"), nullptr);
  mnuShowPostingProfile =
      makeAction("mnuShowPostingProfile", QStringLiteral("Show posting profile"),
                 &ArticlesForm::mnuPostingProfileClick);
  popAuthor->addAction(mnuAuthorNewSearch);
  popAuthor->addAction(mnuAuthorRefinedSearch);
  popAuthor->addSeparator();
  popAuthor->addAction(mnuShowPostingProfile);

  popArtView = new QMenu(this);
  popArtView->setObjectName(QStringLiteral("popArtView"));
  mnuSelNewSearch = makeAction("mnuSelNewSearch", QStringLiteral("New search"), nullptr);
  mnuSelRefineSearch = makeAction("mnuSelRefineSearch", QStringLiteral("Refine search"), nullptr);
  mnuSelRefineSearch->setShortcut(QKeySequence(QStringLiteral("Ctrl+R")));
  mnuSelRefineSearch->setShortcutContext(Qt::WidgetShortcut);
  mnuSelWebSearch = makeAction("mnuSelWebSearch", QStringLiteral("Search the Web"), nullptr);
  mnuArtViewCopy = makeAction("mnuArtViewCopy", QStringLiteral("&Copy"), nullptr);
  mnuArtSelectAll = makeAction("mnuArtSelectAll", QStringLiteral("Select all"),
                               &ArticlesForm::mnuArtSelectAllClick);
  mnuArtViewSave =
      makeAction("mnuArtViewSave", QStringLiteral("Save as..."), &ArticlesForm::mnuArtSaveClick);
  for (QAction* action : {mnuSelNewSearch, mnuSelRefineSearch, mnuSelWebSearch})
    popArtView->addAction(action);
  popArtView->addSeparator();
  popArtView->addAction(mnuArtViewCopy);
  popArtView->addAction(mnuArtSelectAll);
  popArtView->addSeparator();
  popArtView->addAction(mnuArtViewSave);

  mnuLogSave = makeAction("mnuLogSave", QStringLiteral("Save log to file..."),
                          &ArticlesForm::mnuLogSaveClick);
  mnuLogClear =
      makeAction("mnuLogClear", QStringLiteral("Clear log"), &ArticlesForm::mnuLogClearClick);
}

void ArticlesForm::connectCommands() {
  const auto bind = [this](QAction* action, std::function<void()> command) {
    connect(action, &QAction::triggered, this,
            [this, command = std::move(command)] { runCommand(command); });
  };
  bind(mnuNew, [this] { newCollection(); });
  bind(btnNew, [this] { newCollection(); });
  bind(mnuSave, [this] { saveCollection(); });
  bind(btnSave, [this] { saveCollection(); });
  bind(mnuSaveAs, [this] { saveCollectionAs(); });
  bind(mnuEditCopy, [this] { mnuEditCopyClick(false); });
  bind(mnuEditCut, [this] { mnuEditCopyClick(true); });
  bind(mnuArtViewCopy, [this] { mnuEditCopyClick(false); });
  bind(mnuHeaderNewSearch, [this] { mnuNewSearchClick(false); });
  bind(mnuHeaderRefinedSearch, [this] { mnuNewSearchClick(true); });
  bind(mnuAuthorNewSearch, [this] { mnuNewSearchClick(false); });
  bind(mnuAuthorRefinedSearch, [this] { mnuNewSearchClick(true); });
  bind(mnuSelNewSearch, [this] { mnuSelNewSearchClick(false); });
  bind(mnuSelRefineSearch, [this] { mnuSelNewSearchClick(true); });
  bind(mnuSelWebSearch, [this] { mnuSelWebSearchClick(); });
  connect(btnAuto, &QAction::triggered, this,
          [this](bool down) { runCommand([=, this] { btnAutoClick(down); }); });
  connect(btnAutoMark, &QAction::triggered, this,
          [this](bool down) { runCommand([=, this] { btnAutoMarkClick(down); }); });
  bind(btnDeleteArticle, [this] {
    if (Pages->currentIndex() == 0)
      mnuDeleteRequestClick();
    else if (Pages->currentIndex() == 1)
      mnuDeleteArticlesClick();
  });

  connect(PageSwitch, &QTabBar::currentChanged, this, [this](int index) { showPage(index); });

  // Query page.
  connect(lvQueries, &QWidget::customContextMenuRequested, this, &ArticlesForm::popQueryListPopup);
  connect(lvQueries, &QAbstractItemView::doubleClicked, this,
          [this] { runCommand([this] { mnuEditRequestClick(); }); });
  connect(lvQueries->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &ArticlesForm::lvQueriesChange);
  connect(queryModel_, &QueryListModel::renameRequested, this,
          [this](int row, const QString& text) {
            runCommand([=, this] { lvQueriesEdited(row, text); });
          });
  connect(panel_->btnSubmit, &QPushButton::clicked, this,
          [this] { runCommand([this] { btnSubmitClick(); }); });
  connect(panel_, &QueryPanel::submitRequested, this,
          [this] { runCommand([this] { btnSubmitClick(); }); });
  connect(panel_->btnWebSearch, &QToolButton::clicked, this,
          [this] { runCommand([this] { mnuWebSearchClick(); }); });
  connect(panel_->edKeywords, &QWidget::customContextMenuRequested, this,
          &ArticlesForm::popKWPopup);

  // Article page.
  connect(lvArticles, &QWidget::customContextMenuRequested, this,
          &ArticlesForm::popArticleListPopup);
  connect(lvArticles, &QAbstractItemView::doubleClicked, this,
          [this] { runCommand([this] { lvArticlesDblClick(); }); });
  connect(lvArticles->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &ArticlesForm::lvArticlesChange);
  connect(lvArticles->header(), &QHeaderView::sectionClicked, this,
          [this](int column) { runCommand([=, this] { lvArticlesHeaderClick(column); }); });
  connect(lblAuthor, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { popAuthorPopup(lblAuthor->mapToGlobal(pos)); });
  for (QLabel* label : {lblSubject, lblForum}) {
    connect(label, &QWidget::customContextMenuRequested, this, [this, label](const QPoint& pos) {
      popHeaderFieldsPopup(label, label->mapToGlobal(pos));
    });
  }
  connect(ArtView, &ColorMemo::contextMenuRequested, this, &ArticlesForm::popArtViewPopup);
  connect(ArtView, &ColorMemo::hotSpotClick, this,
          [this](const QByteArray& link) { runCommand([=, this] { artViewHotSpotClick(link); }); });

  // Log page.
  connect(memoLog, &QWidget::customContextMenuRequested, this, &ArticlesForm::popLogPopup);

  // Keys: the window sees them before its controls; the lists, labels and viewer have
  // their own; drops land on the window and the two lists.
  qApp->installEventFilter(this);
  for (QLabel* label : {lblAuthor, lblSubject, lblForum}) label->installEventFilter(this);
  lvQueries->viewport()->installEventFilter(this);
  lvArticles->viewport()->installEventFilter(this);
}

void ArticlesForm::updateDocumentActions() {
  const bool hasRows = !collection_.isEmpty();
  const bool canSave = collection_.modified() && hasRows;
  mnuSave->setEnabled(canSave);
  btnSave->setEnabled(canSave);
  mnuSaveAs->setEnabled(hasRows);
}

void ArticlesForm::warning(const QString& text) {
  prompts_.message(this, UserPrompts::Kind::warning, text);
}

void ArticlesForm::error(const QString& text) {
  prompts_.message(this, UserPrompts::Kind::error, text);
}

}  // namespace varnook
