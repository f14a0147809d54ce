#include "ui/mainwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolBar>
#include <QTreeView>

#include "ui/articlespage.h"
#include "ui/desktopcommands.h"
#include "ui/icons.h"
#include "ui/logpage.h"
#include "ui/queriespage.h"
#include "ui/statusbarpresenter.h"
#include "ui/windowlayout.h"

namespace varnook {
namespace {

// A menu of the list's columns, built when it opens, so it knows every column.
void addColumnsMenu(QMenu& parent, const char* name, const char* title, QTreeView& list) {
  QMenu* menu = parent.addMenu(QString::fromLatin1(title));
  menu->setObjectName(QString::fromLatin1(name));
  QObject::connect(menu, &QMenu::aboutToShow, menu,
                   [menu, &list] { fillColumnsMenu(*menu, *list.header()); });
}

}  // namespace

MainWindow::MainWindow(DesktopCommands& commands, WindowParts parts, QWidget* parent)
    : QMainWindow(parent), commands_(commands) {
  setObjectName(QStringLiteral("ArticlesForm"));
  setWindowIcon(rowImage(RowImage::Query));
  setAcceptDrops(true);

  pageSwitch_ = new QTabBar(this);
  pageSwitch_->setObjectName(QStringLiteral("PageSwitch"));
  pageSwitch_->setAccessibleName(QStringLiteral("Pages"));
  for (const char* caption : {" Queries ", " Articles ", " Log "})
    pageSwitch_->addTab(QString::fromLatin1(caption));
  pageSwitch_->setDrawBase(false);
  pageSwitch_->setExpanding(false);
  pageSwitch_->setFocusPolicy(Qt::TabFocus);
  pages_ = new QStackedWidget(this);
  pages_->setObjectName(QStringLiteral("Pages"));
  pages_->addWidget(&parts.queries);
  pages_->addWidget(&parts.articles);
  pages_->addWidget(&parts.log);
  setCentralWidget(pages_);
  setStatusBar(&parts.statusBar);
  createMenus();
  createToolBar();
  completeViewMenu(parts);

  pageSwitch_->setCurrentIndex(commands_.page());
  pages_->setCurrentIndex(commands_.page());
  connect(pageSwitch_, &QTabBar::currentChanged, &commands_, &DesktopCommands::showPage);
  connect(&commands_, &DesktopCommands::pageShown, this, [this](int index) {
    pageSwitch_->setCurrentIndex(index);
    pages_->setCurrentIndex(index);
  });
  setWindowTitle(commands_.title());
  connect(&commands_, &DesktopCommands::titleChanged, this, &QWidget::setWindowTitle);
  connect(&commands_, &DesktopCommands::documentModified, this, &QWidget::setWindowModified);

  // A sensible first size: two thirds of the screen, at least 900 x 640.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QSize available = screen->availableSize();
    resize(std::max(900, available.width() * 2 / 3), std::max(640, available.height() * 2 / 3));
  } else {
    resize(1000, 700);
  }
}

void MainWindow::createMenus() {
  const struct {
    const char* name;
    const char* caption;
    std::initializer_list<const char*> commands;
  } menus[] = {
      {"mnuFile",
       "&File",
       {"mnuNew", "mnuOpen", "mnuSave", "mnuSaveAs", "-", "mnuExport", "-", "mnuExit"}},
      {"mnuEdit",
       "&Edit",
       {"mnuUndo", "-", "mnuEditCopy", "mnuEditCut", "mnuEditPaste", "-", "mnuFind"}},
      // Followed by the columns and the tool bar (completeViewMenu).
      {"mnuView",
       "&View",
       {"mnuViewQueries", "mnuViewArticles", "mnuViewLog", "-", "mnuGroupByThread"}},
      {"mnuTools", "&Tools", {"mnuResumeDownloads", "-", "mnuOptions"}},
      {"mnuHelp", "&Help", {"mnuContents", "-", "mnuAbout"}},
  };
  for (const auto& entry : menus) {
    QMenu* menu = menuBar()->addMenu(QString::fromLatin1(entry.caption));
    menu->setObjectName(QString::fromLatin1(entry.name));
    commands_.addActions(*menu, entry.commands);
    // The Edit entries follow the focus: brought up to date whenever a menu opens.
    connect(menu, &QMenu::aboutToShow, &commands_, &DesktopCommands::updateCommandsForMenu);
  }
}

void MainWindow::createToolBar() {
  QToolBar* toolBar = addToolBar(QStringLiteral("Tools"));
  toolBar->setObjectName(QStringLiteral("ToolBar"));
  toolBar->setMovable(false);
  toolBar->setFloatable(false);
  QAction* toggle = toolBar->toggleViewAction();
  toggle->setObjectName(QStringLiteral("mnuViewToolBar"));
  toggle->setText(QStringLiteral("&Tool bar"));
  toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  setContextMenuPolicy(Qt::NoContextMenu);  // the View menu hides and shows it
  commands_.addActions(
      *toolBar, {"btnNew", "btnOpen", "btnSave", "-", "btnStop", "btnAuto", "btnAutoMark", "-",
                 "btnDeleteArticle", "-", "btnReplyAuthor", "btnReplyGroup", "btnForward"});
  // The tool buttons carry the names of their commands.
  for (QAction* action : toolBar->actions())
    if (QWidget* button = toolBar->widgetForAction(action))
      if (!action->isSeparator()) button->setObjectName(action->objectName());

  // The page switch sits at the right end of the tool bar row.
  auto* spacer = new QWidget(toolBar);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  toolBar->addWidget(spacer);
  toolBar->addWidget(pageSwitch_);
}

void MainWindow::completeViewMenu(const WindowParts& parts) {
  QMenu* view = menuBar()->findChild<QMenu*>(QStringLiteral("mnuView"));
  view->addSeparator();
  addColumnsMenu(*view, "mnuQueryColumns", "Query &columns", parts.queries.list());
  addColumnsMenu(*view, "mnuArticleColumns", "Article c&olumns", parts.articles.list());
  view->addSeparator();
  view->addAction(findChild<QToolBar*>(QStringLiteral("ToolBar"))->toggleViewAction());
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (commands_.mayClose())
    event->accept();
  else
    event->ignore();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (commands_.acceptsDrop(*event))
    event->acceptProposedAction();
  else
    event->ignore();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (commands_.acceptsDrop(*event))
    event->acceptProposedAction();
  else
    event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event) {
  commands_.drop(*event);
}

}  // namespace varnook
