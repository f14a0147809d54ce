// The commands' actions and what enables them, the keys the window takes first, the
// pages' context menus, and what a selection shows in the status bar.
#include "ui/desktopcommands.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>
#include <exception>

#include "transfer/scheduler.h"
#include "ui/colormemo.h"
#include "ui/desktopactions.h"
#include "ui/logpage.h"
#include "ui/qttext.h"
#include "ui/queriespage.h"
#include "ui/querymodedialog.h"
#include "ui/statusbarpresenter.h"
#include "ui/userprompts.h"
#include "ui/windowcallbacks.h"

namespace varnook {
namespace {

// The action's text: the caption, and the key of the list that runs it after a tab, which
// menus show in their key column without making it a shortcut of the window.
QString actionText(const char* caption, const Command& command) {
  QString text = QString::fromUtf8(caption);
  if (command.listKey != nullptr) text += u'\t' + QString::fromLatin1(command.listKey);
  return text;
}

}  // namespace

DesktopCommands::DesktopCommands(Collection& collection, OptionsStore& options,
                                 UserPrompts& prompts, Scheduler& scheduler, HomeSite& homeSite,
                                 DesktopActions& desktop, WindowCallbacks& callbacks,
                                 WindowParts parts, std::vector<std::string> arguments,
                                 QString programFile)
    : collection_(collection),
      options_(options),
      prompts_(prompts),
      scheduler_(scheduler),
      homeSite_(homeSite),
      desktop_(desktop),
      queries_(parts.queries),
      articles_(parts.articles),
      log_(parts.log),
      statusBar_(parts.statusBar),
      arguments_(std::move(arguments)),
      programFile_(std::move(programFile)) {
  for (const Command& command : table()) {
    auto* action = new QAction(actionText(command.caption, command), this);
    action->setObjectName(QString::fromLatin1(command.name));
    if (command.shortcut != nullptr) {
      action->setShortcuts(QKeySequence::listFromString(QString::fromLatin1(command.shortcut)));
      action->setShortcutContext(Qt::WidgetShortcut);  // the key filter runs them
    }
    if (command.icon) action->setIcon(commandIcon(*command.icon));
    if (command.toolTip != nullptr) action->setToolTip(QString::fromUtf8(command.toolTip));
    action->setCheckable(command.checkedWhen != nullptr);
    connect(action, &QAction::triggered, this,
            [this, &command] { runCommand([&] { command.handler(*this); }); });
    actions_.push_back(action);
  }

  queryMenu_ =
      makeMenu("popQueryList", queries_,
               {"mnuEditRequest", "-", "mnuSendQuery", "mnuResumeQuery", "mnuStopAtNextPage",
                "mnuCancelRequest", "-", "mnuRenameQuery", "mnuDeleteRequest"});
  articleMenu_ = makeMenu("popArticleList", articles_, {"mnuLoadArticle", "mnuStopArticles"});
  QMenu* select = makeMenu("mnuSelectArticles", *articleMenu_,
                           {"mnuSelectAll", "mnuSelectReverse", "-", "mnuSelectByQuery",
                            "mnuSelectbyAuthor", "mnuSelectBySubject"});
  select->setTitle(QStringLiteral("S&elect articles"));
  articleMenu_->addMenu(select);
  addActions(*articleMenu_,
             {"-", "mnuShowThread", "-", "mnuArtSave", "-", "mnuReplyAuthor", "mnuReplyGroup",
              "mnuForward", "mnuPostingProfile", "-", "mnuDeleteArticles"});
  headerMenu_ =
      makeMenu("popHeaderFields", articles_, {"mnuHeaderNewSearch", "mnuHeaderRefinedSearch"});
  authorMenu_ =
      makeMenu("popAuthor", articles_,
               {"mnuAuthorNewSearch", "mnuAuthorRefinedSearch", "-", "mnuShowPostingProfile"});
  viewerMenu_ =
      makeMenu("popArtView", articles_,
               {"mnuSelNewSearch", "mnuSelRefineSearch", "mnuSelWebSearch", "mnuShowThread", "-",
                "mnuArtViewCopy", "mnuArtSelectAll", "-", "mnuArtViewSave"});

  const auto run = [this](void (DesktopCommands::*handler)()) {
    return [this, handler] { runCommand([this, handler] { (this->*handler)(); }); };
  };
  QTreeView& queryList = queries_.list();
  connect(&queryList, &QWidget::customContextMenuRequested, this, &DesktopCommands::showQueryMenu);
  connect(&queryList, &QAbstractItemView::doubleClicked, this,
          run(&DesktopCommands::editSelectedQuery));
  connect(&queries_, &QueriesPage::selectionChanged, this, &DesktopCommands::querySelectionChanged);
  connect(&queries_, &QueriesPage::captionEdited, this,
          [this](Request* request, const QString& caption) {
            runCommand([=, this] { renameQuery(*request, caption); });
          });
  QueryPanel& panel = queries_.panel();
  connect(panel.btnSubmit, &QPushButton::clicked, this, run(&DesktopCommands::submitPanelQuery));
  connect(&panel, &QueryPanel::submitRequested, this, run(&DesktopCommands::submitPanelQuery));
  connect(panel.btnWebSearch, &QToolButton::clicked, this,
          run(&DesktopCommands::webSearchPanelKeywords));
  connect(panel.edKeywords, &QWidget::customContextMenuRequested, this,
          &DesktopCommands::showKeywordMenu);

  QTreeView& articleList = articles_.list();
  connect(&articleList, &QWidget::customContextMenuRequested, this,
          &DesktopCommands::showArticleMenu);
  connect(&articleList, &QAbstractItemView::doubleClicked, this,
          run(&DesktopCommands::loadSelectedArticles));
  connect(articleList.header(), &QHeaderView::sectionClicked, this,
          [this](int column) { runCommand([=, this] { articles_.sortBy(column); }); });
  connect(&articles_, &ArticlesPage::selectionChanged, this,
          &DesktopCommands::articleSelectionChanged);
  connect(&articles_, &ArticlesPage::shownArticleChanged, this, &DesktopCommands::updateCommands);
  connect(&articles_, &ArticlesPage::headerMenuRequested, this, &DesktopCommands::showHeaderMenu);
  connect(&articles_.viewer(), &ColorMemo::contextMenuRequested, this,
          &DesktopCommands::showViewerMenu);
  connect(&articles_.viewer(), &ColorMemo::hotSpotClick, this, [this](const QByteArray& link) {
    runCommand([&] { desktop_.hotSpotClick(link.toStdString()); });
  });
  connect(&log_, &QWidget::customContextMenuRequested, this, &DesktopCommands::showLogMenu);

  connect(&callbacks, &WindowCallbacks::transfersRunning, this, [this](bool running) {
    transfersRunning_ = running;
    updateCommands();
  });
  connect(&callbacks, &WindowCallbacks::autoDownloadSwitched, this,
          &DesktopCommands::updateCommands);
  // Copy, Cut and Paste follow the focused control and the clipboard. The clipboard is
  // read only when a menu opens (reading it may wait for another program); until then a
  // changed one counts as holding text.
  connect(qApp, &QApplication::focusChanged, this, &DesktopCommands::updateCommands);
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
    clipboardHasText_.reset();
    updateCommands();
  });

  // The keys: the window sees them before its controls, the lists have their own; URLs
  // dragged onto the lists are the window's drops.
  qApp->installEventFilter(this);
  collection_.addObserver(this);
  updateCommands();

  // The command line is read once the window is up and the event loop runs.
  QMetaObject::invokeMethod(
      this, [this] { runCommand([this] { runCommandLine(); }); }, Qt::QueuedConnection);
}

DesktopCommands::~DesktopCommands() {
  collection_.removeObserver(this);
}

QAction* DesktopCommands::action(std::string_view name) const {
  const auto& rows = table();
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (name == rows[i].name) return actions_[i];
  return nullptr;
}

void DesktopCommands::addActions(QWidget& target, std::initializer_list<const char*> names) const {
  for (const char* name : names) {
    if (std::string_view(name) == "-") {
      auto* separator = new QAction(&target);
      separator->setSeparator(true);
      target.addAction(separator);
    } else {
      target.addAction(action(name));
    }
  }
}

QMenu* DesktopCommands::makeMenu(const char* name, QWidget& parent,
                                 std::initializer_list<const char*> names) const {
  auto* menu = new QMenu(&parent);
  menu->setObjectName(QString::fromLatin1(name));
  addActions(*menu, names);
  return menu;
}

void DesktopCommands::runCommand(const std::function<void()>& command) {
  // Whatever a command throws ends the command with an error box; nothing reaches Qt.
  try {
    command();
  } catch (const std::exception& failure) {
    error(QString::fromLocal8Bit(failure.what()));
  } catch (...) {
    error(QStringLiteral("Unexpected error"));
  }
}

CommandState DesktopCommands::commandState() const {
  CommandState state;
  state.page = page_;
  state.request = queries_.selectedRequest();
  state.articles = articles_.selection();
  state.shown = articles_.shownArticle();
  if (state.articles.first != nullptr)
    state.refineBase = collection_.findRequest(*state.articles.first);
  state.headerHasText = headerField_ && !articles_.headerText(*headerField_).isEmpty();
  state.viewerHasSelection = articles_.viewer().hasSelection();
  state.logEmpty = log_.document()->isEmpty();
  state.canSubmit = queries_.panel().btnSubmit->isEnabled();
  state.modified = collection_.modified();
  state.empty = collection_.isEmpty();
  state.transfersRunning = transfersRunning_;
  state.autoDownload = scheduler_.autoDownload();
  state.markNewArticles = collection_.markNewArticles;
  state.groupByThread = articles_.groupedByThread();
  state.canUndo = !deleted_.empty();
  QWidget* focus = QApplication::focusWidget();
  if (auto* edit = qobject_cast<QLineEdit*>(focus)) {
    state.canCopy = state.canCut = edit->hasSelectedText();
    state.canPaste = !edit->isReadOnly() && clipboardHasText_.value_or(true);
  } else if (focus == &articles_.viewer()) {
    state.canCopy = state.viewerHasSelection;
  } else if (focus == &log_) {
    state.canCopy = log_.textCursor().hasSelection();
  }
  return state;
}

void DesktopCommands::updateCommands() {
  const CommandState state = commandState();
  const auto& rows = table();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Command& command = rows[i];
    QAction* action = actions_[i];
    action->setEnabled(command.enabledWhen == nullptr || command.enabledWhen(state));
    if (command.checkedWhen != nullptr) action->setChecked(command.checkedWhen(state));
    if (command.visibleWhen != nullptr) action->setVisible(command.visibleWhen(state));
    if (command.captionWhen != nullptr)
      action->setText(actionText(command.captionWhen(state), command));
  }
}

void DesktopCommands::updateCommandsForMenu() {
  clipboardHasText_ = !QGuiApplication::clipboard()->text().isEmpty();
  updateCommands();
}

void DesktopCommands::showPage(int index) {
  if (index < 0 || index > 2) return;
  if (page_ != index) {
    page_ = index;
    emit pageShown(index);
  }
  updateCommands();
}

QWidget* DesktopCommands::dialogParent() const {
  return queries_.window();
}

void DesktopCommands::warning(const QString& text) {
  prompts_.message(dialogParent(), UserPrompts::Kind::Warning, text);
}

void DesktopCommands::error(const QString& text) {
  prompts_.message(dialogParent(), UserPrompts::Kind::Error, text);
}

void DesktopCommands::refreshCounts() {
  statusBar_.showCounts(scheduler_.counts());
}

// --- Keys -----------------------------------------------------------------------------

bool DesktopCommands::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
      auto* widget = qobject_cast<QWidget*>(watched);
      if (widget == nullptr || widget->window() != dialogParent()) break;
      const auto& key = *static_cast<QKeyEvent*>(event);
      const Command* command = commandForKey(key, watched == &articles_.viewer());
      const bool pageKey = key.modifiers().testFlag(Qt::ControlModifier) &&
                           (key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab);
      if (event->type() == QEvent::ShortcutOverride) {
        // Claim the window's keys, so no control's own shortcut takes them first; the key
        // press that follows runs the command.
        if (command == nullptr && !pageKey) break;
        event->accept();
        return true;
      }
      bool handled = command != nullptr || pageKey;
      runCommand([&] {
        if (pageKey) {
          // Shift+Tab arrives as Backtab; either way Shift means backwards.
          const bool back =
              key.key() == Qt::Key_Backtab || key.modifiers().testFlag(Qt::ShiftModifier);
          showPage((page_ + (back ? 2 : 1)) % 3);
        } else if (command != nullptr) {
          command->handler(*this);
        } else if (watched == &queries_.list() || watched == &articles_.list()) {
          handled = listKey(*static_cast<QTreeView*>(watched), key);
        }
      });
      return handled;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove:
      if (watched == queries_.list().viewport() || watched == articles_.list().viewport()) {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (acceptsDrop(*drag, nullptr))
          drag->acceptProposedAction();
        else
          drag->ignore();
        return true;
      }
      break;
    case QEvent::Drop:
      if (watched == queries_.list().viewport() || watched == articles_.list().viewport()) {
        drop(*static_cast<QDropEvent*>(event));
        return true;
      }
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

const Command* DesktopCommands::commandForKey(const QKeyEvent& key, bool inViewer) const {
  // The key as pressed; a Ctrl key also with other modifiers held.
  const auto& rows = table();
  const Qt::KeyboardModifiers held = key.modifiers();
  for (const Qt::KeyboardModifiers modifiers : {held, Qt::KeyboardModifiers(Qt::ControlModifier)}) {
    if (modifiers != held && !held.testFlag(Qt::ControlModifier)) break;
    const QKeySequence pressed(QKeyCombination(modifiers, Qt::Key(key.key())));
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].shortcut == nullptr || !actions_[i]->shortcuts().contains(pressed)) continue;
      if (rows[i].keys == Command::Keys::Viewer && !inViewer) continue;
      return &rows[i];
    }
  }
  return nullptr;
}

bool DesktopCommands::listKey(QTreeView& list, const QKeyEvent& key) {
  if (key.modifiers() & ~Qt::KeypadModifier) return false;
  // While a caption is edited the editor has the focus, so its keys never come here.
  using Handler = void (DesktopCommands::*)();
  const struct {
    int key;
    Handler onQuery;
    Handler onArticles;
  } keys[] = {
      {Qt::Key_Return, &DesktopCommands::editSelectedQuery, &DesktopCommands::loadSelectedArticles},
      {Qt::Key_Enter, &DesktopCommands::editSelectedQuery, &DesktopCommands::loadSelectedArticles},
      {Qt::Key_Escape, &DesktopCommands::stopQuery, &DesktopCommands::stopLoadingSelectedArticles},
      {Qt::Key_Delete, &DesktopCommands::deleteSelectedQuery,
       &DesktopCommands::deleteSelectedArticles},
  };
  for (const auto& entry : keys) {
    if (entry.key != key.key()) continue;
    (this->*(&list == &queries_.list() ? entry.onQuery : entry.onArticles))();
    return true;
  }
  return false;
}

// --- Context menus --------------------------------------------------------------------

void DesktopCommands::showQueryMenu(const QPoint& pos) {
  if (page_ != 0 || queries_.selectedRequest() == nullptr) return;
  updateCommands();
  queryMenu_->popup(queries_.list().viewport()->mapToGlobal(pos));
}

void DesktopCommands::showArticleMenu(const QPoint& pos) {
  if (articles_.selection().count == 0) return;
  updateCommands();
  articleMenu_->popup(articles_.list().viewport()->mapToGlobal(pos));
}

void DesktopCommands::showHeaderMenu(ArticlesPage::HeaderField field, const QPoint& globalPos) {
  const bool author = field == ArticlesPage::HeaderField::Author;
  // A name without an address is no author to search for.
  if (author && !articles_.headerText(field).contains(QLatin1Char('@'))) return;
  headerField_ = field;
  updateCommands();
  (author ? authorMenu_ : headerMenu_)->popup(globalPos);
}

void DesktopCommands::showViewerMenu(const QPoint& globalPos) {
  if (articles_.viewer().text().empty()) return;
  updateCommands();
  viewerMenu_->popup(globalPos);
}

void DesktopCommands::showLogMenu(const QPoint& pos) {
  // The log's own entries (copy, select all) and the two log commands.
  const QPoint at = log_.viewport()->mapToGlobal(pos);
  QMenu* menu = log_.createStandardContextMenu(at);
  menu->setObjectName(QStringLiteral("popLog"));
  menu->setAttribute(Qt::WA_DeleteOnClose);
  addActions(*menu, {"-", "mnuLogSave", "mnuLogClear"});
  updateCommands();
  menu->popup(at);
}

void DesktopCommands::showKeywordMenu(const QPoint& pos) {
  QLineEdit& keywords = *queries_.panel().edKeywords;
  QMenu* menu = keywords.createStandardContextMenu();
  menu->setObjectName(QStringLiteral("popKW"));
  menu->setAttribute(Qt::WA_DeleteOnClose);
  addActions(*menu, {"-", "mnuKWWebSearch", "mnuKWSubmit"});
  updateCommands();
  menu->popup(keywords.mapToGlobal(pos));
}

// --- What a selection shows -------------------------------------------------------------

void DesktopCommands::querySelectionChanged() {
  const Request* request = queries_.selectedRequest();
  statusBar_.showSelection(request != nullptr ? decodeBytes(request->longStatus()) : QString(),
                           true);
  updateCommands();
}

void DesktopCommands::articleSelectionChanged() {
  const ArticlesPage::Selection selected = articles_.selection();
  if (selected.count <= 1) {
    statusBar_.showSelection(
        selected.single != nullptr ? decodeBytes(selected.single->longStatus()) : QString(), true);
  } else {
    // A long run of selection changes updates the panel once, when the program is idle.
    statusBar_.showSelection(QString::asprintf("%d articles selected", selected.count), false);
  }
  loadShownArticle();
  updateCommands();
}

// --- The collection -------------------------------------------------------------------

void DesktopCommands::rowsInserted(ListKind, int, int) {
  updateCommands();
}

void DesktopCommands::rowsRemoved(ListKind, int, int) {
  updateCommands();
}

void DesktopCommands::listReset(ListKind) {
  updateCommands();
}

void DesktopCommands::modifiedChanged(bool modified) {
  emit documentModified(modified);
  updateCommands();
}

void DesktopCommands::statusChanged(const ArticleBase& object) {
  // The long form of a selected row's status goes to the message panel at once.
  if (object.listKind() == ListKind::Requests) {
    if (&object == queries_.selectedRequest())
      statusBar_.showSelection(decodeBytes(object.longStatus()), true);
    return;
  }
  if (articles_.isSelected(static_cast<const Article&>(object)))
    statusBar_.showSelection(decodeBytes(object.longStatus()), true);
}

}  // namespace varnook
