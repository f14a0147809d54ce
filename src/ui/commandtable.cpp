// The command table: every command of the main window, what shows it, what runs it and
// when it is enabled. A new command is a row here and a handler in DesktopCommands; the
// menus, the tool bar and the context menus name the rows they show.
#include "ui/desktopcommands.h"

namespace varnook {
namespace {

using C = DesktopCommands;
using S = CommandState;

bool hasRows(const S& s) {
  return !s.empty;
}
bool canSave(const S& s) {
  return s.modified && !s.empty;
}
bool canCopy(const S& s) {
  return s.canCopy;
}
bool canCut(const S& s) {
  return s.canCut;
}
bool canPaste(const S& s) {
  return s.canPaste;
}
bool transfersRunning(const S& s) {
  return s.transfersRunning;
}
bool autoDownload(const S& s) {
  return s.autoDownload;
}
bool markNewArticles(const S& s) {
  return s.markNewArticles;
}
// The tool button deletes what the Del key deletes on the page shown.
bool canDelete(const S& s) {
  return s.page == 0 ? s.request != nullptr : s.page == 1 && s.articles.count > 0;
}
bool hasAddress(const Article* article) {
  return article != nullptr && article->author.find('@') != std::string::npos;
}
bool shownHasAddress(const S& s) {
  return hasAddress(s.shown);
}
bool shownHasForum(const S& s) {
  return s.shown != nullptr && !s.shown->forum.empty();
}
bool articleShown(const S& s) {
  return s.shown != nullptr;
}
bool querySelected(const S& s) {
  return s.request != nullptr;
}
bool queryIdle(const S& s) {
  return s.request != nullptr && !s.request->isTransferring();
}
bool queryResumable(const S& s) {
  return queryIdle(s) && !s.request->url.empty();
}
bool articlesSelected(const S& s) {
  return s.articles.count > 0;
}
bool oneArticle(const S& s) {
  return s.articles.single != nullptr;
}
bool oneArticleWithNumber(const S& s) {
  return oneArticle(s) && s.articles.single->number != 0;
}
bool groupedByThread(const S& s) {
  return s.groupByThread;
}
bool oneArticleOfAQuery(const S& s) {
  return oneArticle(s) && !s.articles.single->requestId.empty();
}
bool oneArticleWithAddress(const S& s) {
  return hasAddress(s.articles.single);
}
bool oneArticleTransferring(const S& s) {
  return oneArticle(s) && s.articles.single->isTransferring();
}
bool notOneArticleTransferring(const S& s) {
  return !oneArticleTransferring(s);
}
// Loading never fetches a text that is present; the entry says so by being disabled.
bool notOneLoadedArticle(const S& s) {
  return !(oneArticle(s) && s.articles.single->isLoaded());
}
const char* loadCaption(const S& s) {
  if (!oneArticle(s)) return "&Load selected";
  return s.articles.single->isLoaded() ? "Re&fresh article" : "&Load article";
}
bool headerHasText(const S& s) {
  return s.headerHasText;
}
bool headerRefinable(const S& s) {
  return s.headerHasText && s.refineBase != nullptr;
}
bool refinable(const S& s) {
  return s.refineBase != nullptr;
}
bool viewerHasSelection(const S& s) {
  return s.viewerHasSelection;
}
bool logHasLines(const S& s) {
  return !s.logEmpty;
}
bool canSubmit(const S& s) {
  return s.canSubmit;
}
bool canUndo(const S& s) {
  return s.canUndo;
}
template <int page>
bool onPage(const S& s) {
  return s.page == page;
}

}  // namespace

const std::vector<Command>& DesktopCommands::table() {
  // The keys are the window's: its key filter runs them before any control sees them,
  // whatever the enabled state; the menus show them.
  static const std::vector<Command> rows = {
      // File, Edit, Tools and Help.
      {.name = "mnuNew", .caption = "&New", .shortcut = "Ctrl+N", .handler = &C::newCollection},
      {.name = "mnuOpen",
       .caption = "Open...",
       .shortcut = "Ctrl+O",
       .handler = &C::openCollection},
      {.name = "mnuSave",
       .caption = "Save",
       .shortcut = "Ctrl+S",
       .handler = &C::saveCollection,
       .enabledWhen = canSave},
      {.name = "mnuSaveAs",
       .caption = "Save &as...",
       .shortcut = "Ctrl+Shift+S",
       .handler = &C::saveCollectionAs,
       .enabledWhen = hasRows},
      {.name = "mnuExport", .caption = "Export", .handler = &C::exportArticles},
      {.name = "mnuExit", .caption = "E&xit", .shortcut = "Ctrl+Q", .handler = &C::closeWindow},
      // Takes back the last delete of articles or a query; in a text field, its last edit.
      {.name = "mnuUndo",
       .caption = "&Undo delete",
       .shortcut = "Ctrl+Z",
       .handler = &C::undo,
       .enabledWhen = canUndo},
      {.name = "mnuEditCopy",
       .caption = "&Copy",
       .shortcut = "Ctrl+C",
       .handler = &C::copy,
       .enabledWhen = canCopy},
      {.name = "mnuEditCut",
       .caption = "Cut",
       .shortcut = "Ctrl+Y; Ctrl+X",
       .handler = &C::cut,
       .enabledWhen = canCut},
      {.name = "mnuEditPaste",
       .caption = "&Paste",
       .shortcut = "Ctrl+V",
       .handler = &C::paste,
       .enabledWhen = canPaste},
      // The View menu: the pages (the tool bar's page switch may be hidden).
      {.name = "mnuViewQueries",
       .caption = "&Queries",
       .handler = [](C& c) { c.showPage(0); },
       .checkedWhen = onPage<0>},
      {.name = "mnuViewArticles",
       .caption = "&Articles",
       .handler = [](C& c) { c.showPage(1); },
       .checkedWhen = onPage<1>},
      {.name = "mnuViewLog",
       .caption = "&Log",
       .handler = [](C& c) { c.showPage(2); },
       .checkedWhen = onPage<2>},
      {.name = "mnuGroupByThread",
       .caption = "&Group by thread",
       .handler = &C::switchGroupByThread,
       .checkedWhen = groupedByThread},
      {.name = "mnuFind",
       .caption = "&Find in article...",
       .shortcut = "Ctrl+F",
       .handler = &C::findInArticle,
       .enabledWhen = articleShown},
      {.name = "mnuResumeDownloads",
       .caption = "&Resume downloads",
       .handler = &C::resumeDownloads},
      {.name = "mnuOptions", .caption = "&Options...", .handler = &C::showOptions},
      {.name = "mnuContents", .caption = "Contents", .shortcut = "F1", .handler = &C::showManual},
      {.name = "mnuAbout", .caption = "About...", .handler = &C::showAbout},
      // The web search for the focused control's text (no menu shows it).
      {.name = "cmdWebSearch",
       .caption = "Search the Web",
       .shortcut = "Ctrl+W",
       .handler = &C::webSearchFromContext},

      // The tool bar.
      {.name = "btnNew",
       .caption = "New",
       .icon = CommandIcon::NewDocument,
       .toolTip = "New news collection",
       .handler = &C::newCollection},
      {.name = "btnOpen",
       .caption = "Open",
       .icon = CommandIcon::Open,
       .toolTip = "Open saved messages",
       .handler = &C::openCollection},
      {.name = "btnSave",
       .caption = "Save",
       .icon = CommandIcon::Save,
       .toolTip = "Save messages",
       .handler = &C::saveCollection,
       .enabledWhen = canSave},
      {.name = "btnStop",
       .caption = "Stop",
       .icon = CommandIcon::Stop,
       .toolTip = "Stop all ongoing downloads",
       .handler = &C::stopAllTransfers,
       .enabledWhen = transfersRunning},
      {.name = "btnAuto",
       .caption = "Auto",
       .icon = CommandIcon::AutoDownload,
       .toolTip = "Download articles automatically",
       .handler = &C::switchAutoDownload,
       .checkedWhen = autoDownload},
      {.name = "btnAutoMark",
       .caption = "Mark",
       .icon = CommandIcon::AutoMark,
       .toolTip = "Mark new articles for download",
       .handler = &C::switchMarkNewArticles,
       .checkedWhen = markNewArticles},
      {.name = "btnDeleteArticle",
       .caption = "Delete",
       .icon = CommandIcon::Remove,
       .toolTip = "Delete query or message (DEL)",
       .handler = &C::deleteSelection,
       .enabledWhen = canDelete},
      {.name = "btnReplyAuthor",
       .caption = "Reply",
       .icon = CommandIcon::ReplyAuthor,
       .toolTip = "Reply to author",
       .handler = &C::replyToAuthor,
       .enabledWhen = shownHasAddress},
      {.name = "btnReplyGroup",
       .caption = "Reply group",
       .icon = CommandIcon::ReplyGroup,
       .toolTip = "Reply to the newsgroup(s)",
       .handler = &C::replyToGroup,
       .enabledWhen = shownHasForum},
      {.name = "btnForward",
       .caption = "Forward",
       .icon = CommandIcon::Forward,
       .toolTip = "Forward",
       .handler = &C::forwardArticle,
       .enabledWhen = articleShown},

      // The query list's menu.
      {.name = "mnuEditRequest",
       .caption = "&Edit",
       .handler = &C::editSelectedQuery,
       .enabledWhen = querySelected,
       .listKey = "Enter"},
      {.name = "mnuSendQuery",
       .caption = "&Send",
       .handler = &C::sendQuery,
       .enabledWhen = queryIdle},
      {.name = "mnuResumeQuery",
       .caption = "&Resume at next page",
       .handler = &C::resumeQuery,
       .enabledWhen = queryResumable},
      {.name = "mnuStopAtNextPage",
       .caption = "Stop at &next page",
       .handler = &C::stopQueryAtNextPage,
       .enabledWhen = querySelected},
      {.name = "mnuCancelRequest",
       .caption = "Sto&p query",
       .handler = &C::stopQuery,
       .enabledWhen = querySelected,
       .listKey = "Esc"},
      {.name = "mnuRenameQuery",
       .caption = "Rename query",
       .handler = &C::renameSelectedQuery,
       .enabledWhen = querySelected,
       .listKey = "F2"},
      {.name = "mnuDeleteRequest",
       .caption = "&Delete query",
       .handler = &C::deleteSelectedQuery,
       .enabledWhen = querySelected,
       .listKey = "Del"},

      // The article list's menu.
      {.name = "mnuLoadArticle",
       .caption = "&Load article",
       .handler = &C::loadSelectedArticles,
       .enabledWhen = notOneLoadedArticle,
       .visibleWhen = notOneArticleTransferring,
       .captionWhen = loadCaption,
       .listKey = "Enter"},
      {.name = "mnuStopArticles",
       .caption = "&Stop loading",
       .handler = &C::stopLoadingSelectedArticles,
       .visibleWhen = oneArticleTransferring,
       .listKey = "Esc"},
      {.name = "mnuSelectAll", .caption = "&All articles", .handler = &C::selectAllArticles},
      {.name = "mnuSelectReverse",
       .caption = "&Reverse selection",
       .handler = &C::invertArticleSelection},
      {.name = "mnuSelectByQuery",
       .caption = "Same &query",
       .handler = &C::selectArticlesOfSameQuery,
       .enabledWhen = oneArticleOfAQuery},
      {.name = "mnuSelectbyAuthor",
       .caption = "Same &author",
       .handler = &C::selectArticlesBySameAuthor,
       .enabledWhen = oneArticle},
      {.name = "mnuSelectBySubject",
       .caption = "Same &subject",
       .handler = &C::selectArticlesWithSameSubject,
       .enabledWhen = oneArticle},
      {.name = "mnuShowThread",
       .caption = "Show &thread",
       .shortcut = "Ctrl+T",
       .handler = &C::showThread,
       .enabledWhen = oneArticleWithNumber},
      {.name = "mnuArtSave",
       .caption = "S&ave article as...",
       .handler = &C::saveSelectedArticle,
       .enabledWhen = oneArticle},
      {.name = "mnuReplyAuthor",
       .caption = "&Reply to author",
       .handler = &C::replyToAuthor,
       .enabledWhen = oneArticleWithAddress},
      {.name = "mnuReplyGroup",
       .caption = "Reply to &group",
       .handler = &C::replyToGroup,
       .enabledWhen = articlesSelected},
      {.name = "mnuForward",
       .caption = "&Forward",
       .handler = &C::forwardArticle,
       .enabledWhen = oneArticle},
      {.name = "mnuPostingProfile",
       .caption = "View author's posting &profile...",
       .handler = &C::showPostingProfile,
       .enabledWhen = oneArticleWithAddress},
      {.name = "mnuDeleteArticles",
       .caption = "&Delete article",
       .handler = &C::deleteSelectedArticles,
       .enabledWhen = articlesSelected,
       .listKey = "Del"},

      // The article header's menus: the subject and forum labels, and the author label.
      {.name = "mnuHeaderNewSearch",
       .caption = "&New search",
       .handler = &C::newSearchFromHeader,
       .enabledWhen = headerHasText},
      {.name = "mnuHeaderRefinedSearch",
       .caption = "&Refined search",
       .handler = &C::refinedSearchFromHeader,
       .enabledWhen = headerRefinable},
      {.name = "mnuAuthorNewSearch", .caption = "&New search", .handler = &C::newSearchFromHeader},
      {.name = "mnuAuthorRefinedSearch",
       .caption = "&Refined search",
       .handler = &C::refinedSearchFromHeader},
      {.name = "mnuShowPostingProfile",
       .caption = "Show posting profile",
       .handler = &C::showPostingProfile},

      // The viewer's menu.
      {.name = "mnuSelNewSearch", .caption = "New search", .handler = &C::newSearchFromViewer},
      {.name = "mnuSelRefineSearch",
       .caption = "Refine search",
       .shortcut = "Ctrl+R",
       .handler = &C::refinedSearchFromViewer,
       .enabledWhen = refinable,
       .keys = Command::Keys::Viewer},
      {.name = "mnuSelWebSearch", .caption = "Search the Web", .handler = &C::webSearchFromViewer},
      {.name = "mnuArtViewCopy",
       .caption = "&Copy",
       .handler = &C::copy,
       .enabledWhen = viewerHasSelection},
      {.name = "mnuArtSelectAll", .caption = "Select all", .handler = &C::selectViewerText},
      {.name = "mnuArtViewSave", .caption = "Save as...", .handler = &C::saveSelectedArticle},

      // Added to the standard menus of the log and of the keywords edit.
      {.name = "mnuLogSave",
       .caption = "Save log to file...",
       .handler = &C::saveLog,
       .enabledWhen = logHasLines},
      {.name = "mnuLogClear",
       .caption = "Clear log",
       .handler = &C::clearLog,
       .enabledWhen = logHasLines},
      {.name = "mnuKWWebSearch",
       .caption = "Search the web",
       .handler = &C::webSearchPanelKeywords},
      {.name = "mnuKWSubmit",
       .caption = "Submit request",
       .handler = &C::submitPanelQuery,
       .enabledWhen = canSubmit},
  };
  return rows;
}

}  // namespace varnook
