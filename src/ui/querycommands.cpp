// Sending the panel's query, the query list's commands, and the new and refined searches
// started from the article header and the viewer.
#include <QApplication>
#include <QLineEdit>
#include <QScopedValueRollback>

#include "archive/queryurl.h"
#include "settings/optionsstore.h"
#include "transfer/scheduler.h"
#include "ui/colormemo.h"
#include "ui/desktopcommands.h"
#include "ui/qttext.h"
#include "ui/queriespage.h"
#include "ui/querymodedialog.h"
#include "ui/searchtext.h"
#include "ui/statusbarpresenter.h"
#include "ui/userprompts.h"

namespace varnook {

void DesktopCommands::submitPanelQuery() {
  // Creating the request may wait for a fresh name while events are handled; a second
  // Send (a double click) is not to run inside the first.
  if (submitting_) return;
  const QScopedValueRollback<bool> guard(submitting_, true);
  QueryPanel& panel = queries_.panel();
  if (!panel.panelHasQuery()) {
    warning(QStringLiteral("No query fields are specified!"));
    return;
  }
  const bool prepareOnly = QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier);
  std::unique_ptr<Request> request = collection_.newRequest();
  panel.readQuery(*request);
  request->url = buildQueryUrl(*request, false, options_.options().serviceSettings());

  Request* match = nullptr;
  for (const auto& existing : collection_.requests()) {
    if (existing->sameQuery(*request)) {
      match = existing.get();
      break;
    }
  }
  if (match != nullptr) {
    const auto notice = [this](const QString& text) {
      prompts_.beep();
      statusBar_.showTransient(text);
    };
    if (prepareOnly)
      notice(QStringLiteral("Query already exists"));
    else if (match->isTransferring())
      notice(QStringLiteral("Query is already active"));
    else
      scheduler_.send(*match);  // again from its first page
    return;
  }
  Request& added = collection_.appendRequest(std::move(request));
  queries_.scrollTo(added);
  refreshCounts();
  if (!prepareOnly) scheduler_.startTransfer(added);
}

void DesktopCommands::editSelectedQuery() {
  if (page_ != 0) return;
  if (const Request* request = queries_.selectedRequest()) queries_.panel().fillPanel(request);
}

void DesktopCommands::sendQuery() {
  Request* request = page_ == 0 ? queries_.selectedRequest() : nullptr;
  if (request == nullptr || request->isTransferring()) return;
  scheduler_.send(*request);
}

void DesktopCommands::resumeQuery() {
  Request* request = page_ == 0 ? queries_.selectedRequest() : nullptr;
  if (request == nullptr || request->isTransferring() || request->url.empty()) return;
  scheduler_.resume(*request);
}

void DesktopCommands::stopQuery() {
  if (Request* request = page_ == 0 ? queries_.selectedRequest() : nullptr)
    scheduler_.stopQuery(*request);
}

void DesktopCommands::stopQueryAtNextPage() {
  if (Request* request = page_ == 0 ? queries_.selectedRequest() : nullptr)
    scheduler_.stopAtNextPage(*request);
}

void DesktopCommands::deleteSelectedQuery() {
  Request* request = page_ == 0 ? queries_.selectedRequest() : nullptr;
  if (request == nullptr) return;
  const int row = queries_.rowOf(*request);
  remember({{}, collection_.takeRequest(*request)});
  queries_.selectRow(row);
  refreshCounts();
}

void DesktopCommands::renameSelectedQuery() {
  if (const Request* request = page_ == 0 ? queries_.selectedRequest() : nullptr)
    queries_.editCaption(*request);
}

void DesktopCommands::renameQuery(Request& request, const QString& caption) {
  // A transfer may have started while the caption was being edited.
  if (request.isTransferring()) return;
  const std::string name = encodeText(caption);
  if (name == request.displayName()) return;
  // An empty name would cut the articles off from their query.
  if (caption.trimmed().isEmpty()) return;
  for (const auto& other : collection_.requests()) {
    if (other->displayName() == name) {
      warning(QStringLiteral("Duplicate query name"));
      return;
    }
  }
  const std::string previous = request.name;
  request.name = name;
  for (const auto& article : collection_.articles())
    if (article->requestId == previous) article->requestId = name;
  request.updateListItem();
  collection_.setModified(true);
}

// --- New and refined searches ---------------------------------------------------------

QueryModeDialog& DesktopCommands::queryModeDialog() {
  if (!queryModeDialog_) queryModeDialog_ = std::make_unique<QueryModeDialog>(dialogParent());
  return *queryModeDialog_;
}

Request* DesktopCommands::requestOfFirstSelectedArticle() const {
  const Article* article = articles_.selection().first;
  return article != nullptr ? collection_.findRequest(*article) : nullptr;
}

void DesktopCommands::searchFromHeader(bool refined) {
  if (!headerField_) return;
  const QString text = articles_.headerText(*headerField_);
  if (text.isEmpty()) return;
  QueryPanel::Field field = QueryPanel::Field::Groups;
  if (*headerField_ == ArticlesPage::HeaderField::Author)
    field = QueryPanel::Field::Authors;
  else if (*headerField_ == ArticlesPage::HeaderField::Subject)
    field = QueryPanel::Field::Subject;
  refineSearch(field, encodeText(text), refined ? requestOfFirstSelectedArticle() : nullptr);
}

void DesktopCommands::searchFromViewer(bool refined) {
  const ColorMemo& viewer = articles_.viewer();
  const std::string text = viewer.hasSelection() ? viewer.selectedBytes() : viewer.wordAtCaret();
  if (text.empty()) return;
  refineSearch(QueryPanel::Field::Keywords, text,
               refined ? requestOfFirstSelectedArticle() : nullptr);
}

void DesktopCommands::refineSearch(QueryPanel::Field field, const std::string& value,
                                   const Request* base) {
  if (base != nullptr && base->keywords.find('~') != std::string::npos) {
    warning(QStringLiteral("Can't refine a search request which uses extended syntax!"));
    return;
  }
  QueryModeDialog& dialog = queryModeDialog();
  if (!dialog.skipDialog() && prompts_.execDialog(dialog) != QDialog::Accepted) return;
  const QueryModeDialog::Mode mode = dialog.mode();
  const bool preview = dialog.preview();

  // A temporary request carries the refined query into the panel or the second copy.
  Request request("");
  if (base != nullptr) request.assignQuery(*base);
  // A thread is answered without searching: refining the articles of one searches anew.
  request.thread = 0;
  switch (field) {
    case QueryPanel::Field::Keywords:
      request.keywords = combineTerms(request.keywords, value);
      break;
    case QueryPanel::Field::Subject:
      request.subject = combineTerms(request.subject, value);
      break;
    case QueryPanel::Field::Authors:
      request.author = value;
      break;
    case QueryPanel::Field::Groups:
      request.forum = value;
      break;
  }

  if (mode == QueryModeDialog::Mode::NewWindow) {
    std::string parameters = buildQueryUrl(request, true, options_.options().serviceSettings());
    if (!preview) parameters.insert(0, "RUN:");
    const QString argument =
        QStringLiteral("/Q:") +
        QString::fromLocal8Bit(parameters.data(), static_cast<qsizetype>(parameters.size()));
    if (!prompts_.startProgram(programFile_, {argument}))
      warning(QStringLiteral("Unable to start another instance of Varnook!"));
    return;
  }
  // The new collection's prompt may be cancelled; then the search ends here. The base
  // request goes with the collection, but its query is already copied.
  if (mode == QueryModeDialog::Mode::Clear && !newCollection()) return;
  queries_.panel().fillPanel(&request);
  showPage(0);
  queries_.panel().editFor(field)->setFocus(Qt::OtherFocusReason);
  if (!preview) submitPanelQuery();
}

}  // namespace varnook
