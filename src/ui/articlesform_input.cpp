// Keys the window handles before its controls, the list keys, the Edit menu and the
// clipboard, page switching, and URLs dropped onto the window.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTabBar>
#include <QTreeView>

#include "archive/queryurl.h"
#include "settings/optionsstore.h"
#include "transfer/scheduler.h"
#include "ui/articlelistmodel.h"
#include "ui/articlesform.h"
#include "ui/colormemo.h"
#include "ui/droppedurl.h"
#include "ui/qttext.h"
#include "ui/querylistmodel.h"
#include "ui/userprompts.h"

namespace varnook {
namespace {

std::string bytesOf(const QByteArray& data) {
  return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

// The clipboard text up to its first line break (the panel's edits hold one line).
QString firstClipboardLine() {
  const QString text = QGuiApplication::clipboard()->text();
  const qsizetype end = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
  return end < 0 ? text : text.left(end);
}

}  // namespace

bool ArticlesForm::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
      auto* widget = qobject_cast<QWidget*>(watched);
      if (widget == nullptr || widget->window() != this) break;
      auto* key = static_cast<QKeyEvent*>(event);
      if (event->type() == QEvent::KeyPress) {
        bool handled = false;
        runCommand([&] {
          handled = formKeyDown(watched, key);
          if (!handled && (watched == lvQueries || watched == lvArticles))
            handled = listKeyDown(static_cast<QTreeView*>(watched), key);
        });
        return handled;
      }
      // Claim the window's keys, so no control's own shortcut takes them first; the key
      // press that follows runs the command.
      const int k = key->key();
      const bool ctrl = key->modifiers().testFlag(Qt::ControlModifier);
      const bool windowKey =
          (ctrl && (k == Qt::Key_S || k == Qt::Key_O || k == Qt::Key_N || k == Qt::Key_W ||
                    k == Qt::Key_Tab || k == Qt::Key_Backtab || k == Qt::Key_C || k == Qt::Key_Y ||
                    k == Qt::Key_V || (k == Qt::Key_R && watched == ArtView))) ||
          (k == Qt::Key_F1 && key->modifiers() == Qt::NoModifier);
      if (windowKey) {
        event->accept();
        return true;
      }
      break;
    }
    case QEvent::MouseButtonRelease:
      if (watched == lblAuthor || watched == lblSubject || watched == lblForum) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) break;
        auto* label = static_cast<QLabel*>(watched);
        const QPoint below = label->mapToGlobal(QPoint(0, label->height()));
        if (label == lblAuthor)
          popAuthorPopup(below);
        else
          popHeaderFieldsPopup(label, below);
        return true;
      }
      break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
      if (watched == lvQueries->viewport() || watched == lvArticles->viewport()) {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (acceptsDrop(*drag, nullptr))
          drag->acceptProposedAction();
        else
          drag->ignore();
        return true;
      }
      break;
    case QEvent::Drop:
      if (watched == lvQueries->viewport() || watched == lvArticles->viewport()) {
        dropEvent(static_cast<QDropEvent*>(event));
        return true;
      }
      break;
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, event);
}

bool ArticlesForm::formKeyDown(QObject* watched, QKeyEvent* event) {
  const int key = event->key();
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  if (key == Qt::Key_F1 && modifiers == Qt::NoModifier) {
    contents1Click();
    return true;
  }
  if (!modifiers.testFlag(Qt::ControlModifier)) return false;
  switch (key) {
    case Qt::Key_S:
      saveCollection();
      return true;
    case Qt::Key_O:
      openCollection();
      return true;
    case Qt::Key_N:
      newCollection();
      return true;
    case Qt::Key_W:
      ctrlWWebSearch();
      return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
      // Shift+Tab arrives as Backtab; either way Shift means backwards.
      const bool back = key == Qt::Key_Backtab || modifiers.testFlag(Qt::ShiftModifier);
      showPage((Pages->currentIndex() + (back ? 2 : 1)) % 3);
      return true;
    }
    case Qt::Key_C:
      mnuEditCopyClick(false);
      return true;
    case Qt::Key_Y:
      mnuEditCopyClick(true);
      return true;
    case Qt::Key_V:
      mnuEditPasteClick();
      return true;
    case Qt::Key_R:
      if (watched != ArtView) return false;
      currentRequest_ = requestOfFirstSelectedArticle();
      mnuSelNewSearchClick(true);
      return true;
    default:
      return false;
  }
}

bool ArticlesForm::listKeyDown(QTreeView* list, QKeyEvent* event) {
  if (event->modifiers() & ~Qt::KeypadModifier) return false;
  // While a caption is edited the editor has the focus, so its keys never come here.
  const int key = event->key();
  const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
  if (list == lvQueries) {
    if (enter)
      mnuEditRequestClick();
    else if (key == Qt::Key_Escape)
      mnuCancelRequestClick();
    else if (key == Qt::Key_Delete)
      mnuDeleteRequestClick();
    else
      return false;
    return true;
  }
  if (enter)
    lvArticlesDblClick();
  else if (key == Qt::Key_Escape)
    mnuStopArticlesClick();
  else if (key == Qt::Key_Delete)
    mnuDeleteArticlesClick();
  else
    return false;
  return true;
}

void ArticlesForm::showPage(int index) {
  if (index < 0 || index > 2) return;
  if (PageSwitch->currentIndex() != index) PageSwitch->setCurrentIndex(index);  // comes back here
  if (Pages->currentIndex() != index) Pages->setCurrentIndex(index);
  updateDeleteButton();
}

void ArticlesForm::updateDeleteButton() {
  // The tool button deletes what the Del key deletes on the page shown.
  bool canDelete = false;
  if (Pages->currentIndex() == 0) canDelete = selectedRequest() != nullptr;
  if (Pages->currentIndex() == 1) canDelete = selectedArticleCount() > 0;
  btnDeleteArticle->setEnabled(canDelete);
}

void ArticlesForm::updateEditMenu() {
  QWidget* focus = QApplication::focusWidget();
  const bool clipboardText = !QGuiApplication::clipboard()->text().isEmpty();
  bool copy = false, cut = false, paste = false;
  if (auto* edit = qobject_cast<QLineEdit*>(focus)) {
    copy = cut = edit->hasSelectedText();
    paste = clipboardText && !edit->isReadOnly();
  } else if (focus == ArtView) {
    copy = ArtView->hasSelection();
  } else if (focus == memoLog) {
    copy = memoLog->textCursor().hasSelection();
  }
  mnuEditCopy->setEnabled(copy);
  mnuEditCut->setEnabled(cut);
  mnuEditPaste->setEnabled(paste);
}

void ArticlesForm::mnuEditCopyClick(bool cut) {
  QWidget* focus = QApplication::focusWidget();
  if (auto* edit = qobject_cast<QLineEdit*>(focus)) {
    if (!edit->hasSelectedText()) return;
    QGuiApplication::clipboard()->setText(edit->selectedText());
    if (cut && !edit->isReadOnly()) edit->del();
  } else if (focus == ArtView) {
    // The link markers stay behind.
    if (ArtView->hasSelection()) QGuiApplication::clipboard()->setText(ArtView->selectedText());
  } else if (focus == memoLog) {
    if (memoLog->textCursor().hasSelection()) memoLog->copy();
  }
}

void ArticlesForm::mnuEditPasteClick() {
  auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  if (edit == nullptr || edit->isReadOnly()) return;
  if (QGuiApplication::clipboard()->text().isEmpty()) return;
  edit->insert(firstClipboardLine());
}

void ArticlesForm::popKWPopup(const QPoint& pos) {
  QMenu* menu = panel_->edKeywords->createStandardContextMenu();
  menu->setObjectName(QStringLiteral("popKW"));
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->addSeparator();
  QAction* search = menu->addAction(QStringLiteral("Search the web"));
  search->setObjectName(QStringLiteral("mnuKWWebSearch"));
  connect(search, &QAction::triggered, this,
          [this] { runCommand([this] { mnuWebSearchClick(); }); });
  QAction* submit = menu->addAction(QStringLiteral("Submit request"));
  submit->setObjectName(QStringLiteral("mnuKWSubmit"));
  submit->setEnabled(panel_->btnSubmit->isEnabled());
  connect(submit, &QAction::triggered, this, [this] { runCommand([this] { btnSubmitClick(); }); });
  menu->popup(panel_->edKeywords->mapToGlobal(pos));
}

// --- Dropped URLs -----------------------------------------------------------------------

bool ArticlesForm::acceptsDrop(const QDropEvent& event, std::string* urlText) const {
  // Only data from another program: rows dragged inside the window are no URLs.
  if (event.source() != nullptr) return false;
  const QMimeData* data = event.mimeData();
  if (data == nullptr) return false;
  std::string text;
  if (data->hasFormat(QStringLiteral("text/uri-list"))) {
    text =
        droppedUrlText(DropFormat::uriList, bytesOf(data->data(QStringLiteral("text/uri-list"))));
  } else if (data->hasFormat(QStringLiteral("text/x-moz-url"))) {
    text =
        droppedUrlText(DropFormat::mozUrl, bytesOf(data->data(QStringLiteral("text/x-moz-url"))));
  } else if (data->hasText()) {
    text = droppedUrlText(DropFormat::plainText, encodeText(data->text()));
  } else {
    return false;
  }
  if (!isQueryUrl(text) && !isArticleUrl(text)) return false;
  if (urlText != nullptr) *urlText = std::move(text);
  return true;
}

void ArticlesForm::dragEnterEvent(QDragEnterEvent* event) {
  if (acceptsDrop(*event, nullptr))
    event->acceptProposedAction();
  else
    event->ignore();
}

void ArticlesForm::dragMoveEvent(QDragMoveEvent* event) {
  if (acceptsDrop(*event, nullptr))
    event->acceptProposedAction();
  else
    event->ignore();
}

void ArticlesForm::dropEvent(QDropEvent* event) {
  std::string text;
  if (!acceptsDrop(*event, &text)) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  const bool shiftHeld = event->modifiers().testFlag(Qt::ShiftModifier);
  runCommand([&] { formDragDrop(text, shiftHeld); });
}

void ArticlesForm::formDragDrop(const std::string& urlText, bool shiftHeld) {
  if (isQueryUrl(urlText)) {
    std::unique_ptr<Request> request = collection_.newRequest();
    if (const std::string error = parseQueryParameters(*request, urlText); !error.empty()) {
      prompts_.message(this, UserPrompts::Kind::error, decodeBytes(error));
      return;
    }
    request->url = buildQueryUrl(*request, false, options_.options().serviceSettings());
    Request& added = collection_.appendRequest(std::move(request));
    refreshStatusBar();
    if (!shiftHeld && scheduler_ != nullptr) scheduler_->startTransfer(added);
    showPage(0);
    return;
  }
  const std::uint32_t number = articleNumberFromUrl(urlText);
  if (number == 0) return;
  // An article that is in the list already is shown there rather than added twice.
  if (collection_.isKnownArticle(number)) {
    for (const auto& article : collection_.articles()) {
      if (article->number == number) {
        showPage(1);
        selectArticleRow(article->row());
        lvArticles->scrollTo(articleModel_->index(article->row(), 0));
        return;
      }
    }
  }
  auto article = std::make_unique<Article>(number, "(subject not available)");
  article->url = urlText;
  Article& added = collection_.appendArticle(std::move(article));
  refreshStatusBar();
  if (!shiftHeld && scheduler_ != nullptr) scheduler_->startTransfer(added);
  showPage(1);
}

}  // namespace varnook
