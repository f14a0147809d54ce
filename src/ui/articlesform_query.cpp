// Sending the panel's query, editing a query in the panel, and the new and refined searches
// started from the article header and the viewer.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QStackedWidget>
#include <QTabBar>
#include <QTreeView>

#include "archive/queryurl.h"
#include "settings/optionsstore.h"
#include "transfer/scheduler.h"
#include "ui/articlelistmodel.h"
#include "ui/articlesform.h"
#include "ui/colormemo.h"
#include "ui/qttext.h"
#include "ui/querylistmodel.h"
#include "ui/querymodedialog.h"
#include "ui/searchtext.h"
#include "ui/userprompts.h"

namespace varnook {

void ArticlesForm::btnSubmitClick() {
  // Creating the request may wait for a fresh name while events are handled; a second
  // Send (a double click) is not to run inside the first.
  if (submitting_) return;
  const QScopedValueRollback<bool> guard(submitting_, true);
  if (!panel_->panelHasQuery()) {
    warning(QStringLiteral("No query fields are specified!"));
    return;
  }
  const bool prepareOnly = QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier);
  const ServiceSettings service = options_.options().serviceSettings();
  std::unique_ptr<Request> request = collection_.newRequest();
  panel_->readQuery(*request);
  request->url = buildQueryUrl(*request, false, service);

  Request* match = nullptr;
  for (const auto& existing : collection_.requests()) {
    if (existing->sameQuery(*request)) {
      match = existing.get();
      break;
    }
  }
  if (match != nullptr) {
    if (prepareOnly) {
      showTransientStatus(QStringLiteral("Query already exists"));
    } else if (match->isTransferring()) {
      showTransientStatus(QStringLiteral("Query is already active"));
    } else if (scheduler_ != nullptr) {
      scheduler_->send(*match);  // again from its first page
    }
    return;
  }
  Request& added = collection_.appendRequest(std::move(request));
  lvQueries->scrollTo(queryModel_->index(added.row(), 0));
  refreshStatusBar();
  if (!prepareOnly && scheduler_ != nullptr) scheduler_->startTransfer(added);
}

void ArticlesForm::mnuEditRequestClick() {
  if (Pages->currentIndex() != 0) return;
  if (const Request* request = selectedRequest()) panel_->fillPanel(request);
}

QueryModeDialog& ArticlesForm::queryModeDialog() {
  if (!queryModeDialog_) queryModeDialog_ = std::make_unique<QueryModeDialog>(this);
  return *queryModeDialog_;
}

bool ArticlesForm::stillInCollection(const Request* request) const {
  if (request == nullptr) return false;
  for (const auto& held : collection_.requests())
    if (held.get() == request) return true;
  return false;
}

void ArticlesForm::refineSearch(QueryPanel::Field field, const std::string& value,
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
  switch (field) {
    case QueryPanel::Field::keywords:
      request.keywords = combineTerms(request.keywords, value);
      break;
    case QueryPanel::Field::subject:
      request.subject = combineTerms(request.subject, value);
      break;
    case QueryPanel::Field::authors:
      request.author = value;
      break;
    case QueryPanel::Field::groups:
      request.forum = value;
      break;
  }

  if (mode == QueryModeDialog::Mode::newWindow) {
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
  if (mode == QueryModeDialog::Mode::clear && !newCollection()) return;
  panel_->fillPanel(&request);
  showPage(0);
  panel_->editFor(field)->setFocus(Qt::OtherFocusReason);
  if (!preview) btnSubmitClick();
}

Request* ArticlesForm::requestOfFirstSelectedArticle() const {
  const Article* article = firstSelectedArticle();
  return article != nullptr ? collection_.findRequest(*article) : nullptr;
}

void ArticlesForm::popHeaderFieldsPopup(QLabel* label, const QPoint& globalPos) {
  headerMenuLabel_ = label;
  const bool hasText = !label->text().isEmpty();
  if (hasText) currentRequest_ = requestOfFirstSelectedArticle();
  mnuHeaderNewSearch->setEnabled(hasText);
  mnuHeaderRefinedSearch->setEnabled(hasText && currentRequest_ != nullptr);
  popHeaderFields->popup(globalPos);
}

void ArticlesForm::popAuthorPopup(const QPoint& globalPos) {
  // A name without an address is no author to search for.
  if (!lblAuthor->text().contains(QLatin1Char('@'))) return;
  headerMenuLabel_ = lblAuthor;
  currentRequest_ = requestOfFirstSelectedArticle();
  popAuthor->popup(globalPos);
}

void ArticlesForm::mnuNewSearchClick(bool refined) {
  if (headerMenuLabel_ == nullptr || headerMenuLabel_->text().isEmpty()) return;
  QueryPanel::Field field = QueryPanel::Field::groups;
  if (headerMenuLabel_ == lblAuthor)
    field = QueryPanel::Field::authors;
  else if (headerMenuLabel_ == lblSubject)
    field = QueryPanel::Field::subject;
  const Request* base = refined && stillInCollection(currentRequest_) ? currentRequest_ : nullptr;
  refineSearch(field, encodeText(headerMenuLabel_->text()), base);
}

void ArticlesForm::popArtViewPopup(const QPoint& globalPos) {
  if (ArtView->text().empty()) return;
  currentRequest_ = requestOfFirstSelectedArticle();
  mnuSelRefineSearch->setEnabled(currentRequest_ != nullptr);
  mnuArtViewCopy->setEnabled(ArtView->hasSelection());
  mnuSelNewSearch->setEnabled(true);
  popArtView->popup(globalPos);
}

void ArticlesForm::mnuSelNewSearchClick(bool refine) {
  std::string text = ArtView->hasSelection() ? ArtView->selectedBytes() : ArtView->wordAtCaret();
  if (text.empty()) return;
  const Request* base = refine && stillInCollection(currentRequest_) ? currentRequest_ : nullptr;
  refineSearch(QueryPanel::Field::keywords, text, base);
}

}  // namespace varnook
