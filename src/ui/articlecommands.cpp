// The article list's commands: loading, stopping, deleting, selecting and saving
// articles, and URLs dropped onto the window.
#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <algorithm>
#include <unordered_set>

#include "archive/queryurl.h"
#include "settings/optionsstore.h"
#include "transfer/scheduler.h"
#include "ui/busycursor.h"
#include "ui/desktopactions.h"
#include "ui/desktopcommands.h"
#include "ui/droppedurl.h"
#include "ui/qttext.h"
#include "ui/queriespage.h"
#include "ui/searchtext.h"
#include "ui/userprompts.h"

namespace varnook {
namespace {

std::string bytesOf(const QByteArray& data) {
  return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

}  // namespace

void DesktopCommands::forEachSelectedArticle(const std::function<void(Article&)>& action) {
  BusyCursor busy;
  // The articles are taken first: an action may start or end transfers, which changes rows.
  for (Article* article : articles_.selectedArticles())
    if (article->collection() == &collection_) action(*article);
}

void DesktopCommands::loadSelectedArticles() {
  forEachSelectedArticle([this](Article& article) { scheduler_.loadArticle(article); });
}

void DesktopCommands::loadShownArticle() {
  Article* article = articles_.shownArticle();
  if (article == nullptr || !options_.options().loadOnSelect || article->isLoaded() ||
      article->hasState(kFailed) || article->hasState(kCancelled))
    return;
  scheduler_.loadArticle(*article);
}

void DesktopCommands::stopLoadingSelectedArticles() {
  forEachSelectedArticle([this](Article& article) { scheduler_.stopLoading(article); });
}

void DesktopCommands::deleteSelectedArticles() {
  const int count = articles_.selection().count;
  if (count == 0) return;
  if (count > 1 && prompts_.message(dialogParent(), UserPrompts::Kind::OkCancel,
                                    QString::asprintf("Delete %d selected articles?", count)) !=
                       UserPrompts::Answer::Ok)
    return;
  remember({articles_.removeSelected(), {}});
  refreshCounts();
}

void DesktopCommands::remember(Deleted deleted) {
  // The last deletes, each of any size: their objects stay in memory until then.
  constexpr std::size_t kUndoDepth = 20;
  if (deleted.articles.empty() && deleted.request.object == nullptr) return;
  deleted_.push_back(std::move(deleted));
  if (deleted_.size() > kUndoDepth) deleted_.pop_front();
  updateCommands();
}

void DesktopCommands::undo() {
  // A text field takes back its own last edit.
  if (auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget())) {
    if (!edit->isReadOnly()) edit->undo();
    return;
  }
  if (deleted_.empty()) return;
  Deleted last = std::move(deleted_.back());
  deleted_.pop_back();
  if (Request* request = last.request.object.get()) {
    collection_.restoreRequest(std::move(last.request));
    showPage(0);
    queries_.selectRow(request->row());
  } else {
    std::unordered_set<const Article*> restored;
    for (const auto& taken : last.articles) restored.insert(taken.object.get());
    collection_.restoreArticles(std::move(last.articles));
    showPage(1);
    articles_.selectWhere([&](const Article& article) { return restored.count(&article) != 0; });
  }
  refreshCounts();
}

void DesktopCommands::deleteSelection() {
  if (page_ == 0)
    deleteSelectedQuery();
  else if (page_ == 1)
    deleteSelectedArticles();
}

void DesktopCommands::selectAllArticles() {
  articles_.selectAll();
}

void DesktopCommands::invertArticleSelection() {
  articles_.invertSelection();
}

void DesktopCommands::selectArticlesOfSameQuery() {
  const Article* key = page_ == 1 ? articles_.selection().single : nullptr;
  if (key == nullptr || key->requestId.empty()) return;
  const std::string requestId = key->requestId;
  articles_.selectWhere([&](const Article& article) { return article.requestId == requestId; });
}

void DesktopCommands::selectArticlesBySameAuthor() {
  const Article* key = page_ == 1 ? articles_.selection().single : nullptr;
  if (key == nullptr || key->author.empty()) return;
  const std::string author = key->author;
  articles_.selectWhere([&](const Article& article) { return article.author == author; });
}

void DesktopCommands::selectArticlesWithSameSubject() {
  const Article* key = page_ == 1 ? articles_.selection().single : nullptr;
  if (key == nullptr) return;
  const std::string subject = stripReplyPrefixes(key->subject);
  if (subject.empty()) return;
  articles_.selectWhere(
      [&](const Article& article) { return stripReplyPrefixes(article.subject) == subject; });
}

void DesktopCommands::saveSelectedArticle() {
  const Article* article = page_ == 1 ? articles_.selection().single : nullptr;
  if (article == nullptr) return;
  if (!article->isLoaded()) {
    warning(QStringLiteral("Nothing to save: article body not loaded"));
    return;
  }
  FileDialogSpec spec;
  spec.title = QStringLiteral("Save article ") + decodeBytes(article->subject);
  spec.filters = {QStringLiteral("MS Outlook Express format (*.nws)")};
  spec.defaultSuffix = QStringLiteral("nws");
  spec.proposedName = decodeBytes(safeFileName(stripReplyPrefixes(article->subject)));
  const QString chosen = prompts_.saveFileName(dialogParent(), spec);
  if (!chosen.isEmpty()) desktop_.saveArticle(*article, chosen);
}

void DesktopCommands::showThread() {
  const Article* article = page_ == 1 ? articles_.selection().single : nullptr;
  if (article == nullptr || article->number == 0) return;
  // Taken now: creating the request may let events run, and the row may go meanwhile.
  const std::uint32_t number = article->number;
  const std::string subject = article->subject;
  std::unique_ptr<Request> request = collection_.newRequest();
  request->thread = number;
  for (const auto& existing : collection_.requests()) {
    if (!existing->sameQuery(*request)) continue;
    // Asked for again: the same request fetches it afresh.
    if (!existing->isTransferring()) scheduler_.send(*existing);
    queries_.scrollTo(*existing);
    return;
  }
  // Named after the subject; requests never share a name (their articles find them by it).
  const std::string caption = "Thread: " + std::string(trimBlanksAndControls(subject));
  request->name = caption;
  for (int copy = 2; std::any_of(collection_.requests().begin(), collection_.requests().end(),
                                 [&](const auto& other) { return other->name == request->name; });
       ++copy)
    request->name = caption + " (" + std::to_string(copy) + ")";
  request->url = buildQueryUrl(*request, false, options_.options().serviceSettings());
  Request& added = collection_.appendRequest(std::move(request));
  queries_.scrollTo(added);
  refreshCounts();
  scheduler_.startTransfer(added);
}

void DesktopCommands::switchGroupByThread() {
  const bool grouped = !articles_.groupedByThread();
  articles_.setGroupedByThread(grouped);
  options_.options().groupByThread = grouped;
  updateCommands();
}

// --- Dropped URLs -----------------------------------------------------------------------

bool DesktopCommands::acceptsDrop(const QDropEvent& event, std::string* urlText) const {
  // Only data from another program: rows dragged inside the window are no URLs.
  if (event.source() != nullptr) return false;
  const QMimeData* data = event.mimeData();
  if (data == nullptr) return false;
  std::string text;
  if (data->hasFormat(QStringLiteral("text/uri-list"))) {
    text =
        droppedUrlText(DropFormat::UriList, bytesOf(data->data(QStringLiteral("text/uri-list"))));
  } else if (data->hasFormat(QStringLiteral("text/x-moz-url"))) {
    text =
        droppedUrlText(DropFormat::MozUrl, bytesOf(data->data(QStringLiteral("text/x-moz-url"))));
  } else if (data->hasText()) {
    text = droppedUrlText(DropFormat::PlainText, encodeText(data->text()));
  } else {
    return false;
  }
  if (!isQueryUrl(text) && !isArticleUrl(text)) return false;
  if (urlText != nullptr) *urlText = std::move(text);
  return true;
}

void DesktopCommands::drop(QDropEvent& event) {
  std::string text;
  if (!acceptsDrop(event, &text)) {
    event.ignore();
    return;
  }
  event.acceptProposedAction();
  const bool shiftHeld = event.modifiers().testFlag(Qt::ShiftModifier);
  runCommand([&] { addDroppedUrl(text, shiftHeld); });
}

void DesktopCommands::addDroppedUrl(const std::string& urlText, bool shiftHeld) {
  if (isQueryUrl(urlText)) {
    std::unique_ptr<Request> request = collection_.newRequest();
    if (const std::string error = parseQueryParameters(*request, urlText); !error.empty()) {
      prompts_.message(dialogParent(), UserPrompts::Kind::Error, decodeBytes(error));
      return;
    }
    request->url = buildQueryUrl(*request, false, options_.options().serviceSettings());
    Request& added = collection_.appendRequest(std::move(request));
    refreshCounts();
    if (!shiftHeld) scheduler_.startTransfer(added);
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
        articles_.showInList(*article);
        return;
      }
    }
  }
  auto article = std::make_unique<Article>(number, "(subject not available)");
  article->url = urlText;
  Article& added = collection_.appendArticle(std::move(article));
  refreshCounts();
  if (!shiftHeld) scheduler_.startTransfer(added);
  showPage(1);
}

}  // namespace varnook
