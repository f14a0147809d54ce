// The query and article lists: selection, menus, keys, deleting, renaming, sorting, filter
// boxes, the layout kept between runs, the viewer (loading on selection, finding), failed
// loads, the clipboard, saving, the log, and URLs dropped onto the window.
#include <QCheckBox>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>

#include "support/realservers.h"
#include "ui/articlelistmodel.h"
#include "ui/findbar.h"
#include "ui/windowlayout.h"
#include "windowfixture.h"

namespace varnook::testing {
namespace {

using Answer = UserPrompts::Answer;
using Rows = std::vector<int>;
using Subjects = std::vector<std::string>;

class ListsTest : public WindowTest {
 protected:
  Rows selectedRows(QTreeView* list) {
    Rows rows;
    for (const QModelIndex& index : list->selectionModel()->selectedRows())
      rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
  }
  Subjects articleSubjects() {
    Subjects subjects;
    for (const auto& article : collection().articles()) subjects.push_back(article->subject);
    return subjects;
  }
  QString cellText(QTreeView* list, int row, int column) {
    return list->model()->index(row, column).data().toString();
  }
};

// --- Query list -----------------------------------------------------------------------

TEST_F(ListsTest, DeletingAQuerySelectsTheRowThatTookItsPlace) {
  for (const char* words : {"one", "two", "three"}) addRequest(words);
  addArticle(1, "kept", "a@b", collection().requests()[1]->name);
  clickRow(queries(), 1);
  QTest::keyClick(queries(), Qt::Key_Delete);
  ASSERT_EQ(collection().requests().size(), 2u);
  EXPECT_EQ(collection().requests()[1]->keywords, "three");
  EXPECT_EQ(selectedRows(queries()), Rows{1});
  EXPECT_EQ(collection().articles().size(), 1u);  // its articles stay

  // The last row: the new last one is selected; the only one: nothing is left.
  QTest::keyClick(queries(), Qt::Key_Delete);
  EXPECT_EQ(selectedRows(queries()), Rows{0});
  action("btnDeleteArticle")->trigger();  // the tool button deletes on the Queries page too
  EXPECT_TRUE(collection().requests().empty());
  EXPECT_TRUE(selectedRows(queries()).empty());
  EXPECT_EQ(panelText(1), "(none)");

  // Ctrl+Z takes the deletes back, the last first, each where it was and selected.
  for (int undo = 0; undo < 3; ++undo) QTest::keyClick(queries(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(collection().requests()[1]->keywords, "two");
  EXPECT_EQ(selectedRows(queries()), Rows{1});
}

TEST_F(ListsTest, QueryMenuOpensForOneSelectedQueryAndRunningQueriesCannotBeRenamed) {
  addRequest("idle");
  addRequest("other");
  EXPECT_EQ(openContextMenu(queries(), 0), nullptr);  // nothing selected
  clickRow(queries(), 0);
  ASSERT_NE(openContextMenu(queries(), 0), nullptr);
  // No next page is stored: nothing to resume.
  EXPECT_EQ(enabledOf({"mnuSendQuery", "mnuResumeQuery"}), "mnuSendQuery");

  // "&Send" starts it; while it runs Send and Resume are off.
  menuCommand(queries(), 0, "mnuSendQuery");
  Request& request = *collection().requests()[0];
  ASSERT_TRUE(QTest::qWaitFor([&] { return request.isTransferring(); }));
  openContextMenu(queries(), 0);
  EXPECT_EQ(enabledOf({"mnuSendQuery", "mnuResumeQuery"}), "");
  action("mnuStopAtNextPage")->trigger();
  EXPECT_TRUE(request.stopAtNextPage);
  auto* model = queries()->model();
  EXPECT_FALSE(model->flags(model->index(0, 0)).testFlag(Qt::ItemIsEditable));
  EXPECT_TRUE(model->flags(model->index(1, 0)).testFlag(Qt::ItemIsEditable));
}

TEST_F(ListsTest, RenamingAQueryRenamesItsArticlesReferencesButNotToAnotherRowsName) {
  addRequest("first", "Alpha");
  Request& request = addRequest("modem");
  addArticle(7, "An article", "a@b", request.name);
  clickRow(queries(), 1);
  menuCommand(queries(), 1, "mnuRenameQuery");
  auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, QStringLiteral("Modems"));
  QTest::keyClick(editor, Qt::Key_Return);
  settle();
  EXPECT_EQ(request.name, "Modems");
  EXPECT_EQ(cellText(queries(), 1, 0), "Modems");
  EXPECT_EQ(collection().articles()[0]->requestId, "Modems");

  // Another row's name is refused; an empty name is no name: the old one stays.
  auto* model = queries()->model();
  EXPECT_FALSE(model->setData(model->index(1, 0), QStringLiteral("Alpha")));
  EXPECT_EQ(prompts_.texts(), QStringList{"Duplicate query name"});
  model->setData(model->index(1, 0), QStringLiteral("  "));
  EXPECT_EQ(request.name, "Modems");
  EXPECT_EQ(cellText(queries(), 1, 0), "Modems");
}

// --- Article list ---------------------------------------------------------------------

TEST_F(ListsTest, DeletingOneArticleSelectsTheNextAndSeveralAskFirst) {
  for (std::uint32_t n = 1; n <= 5; ++n)
    addArticle(n, "S" + std::to_string(n), "a@b", "", n == 5 ? "text" : "");
  showPage(1);
  clickRow(articles(), 4);
  QTest::keyClick(articles(), Qt::Key_Delete);
  EXPECT_EQ(collection().articles().size(), 4u);
  EXPECT_EQ(selectedRows(articles()), Rows{3});  // the new last row

  clickRow(articles(), 0);
  clickRow(articles(), 1, Qt::ControlModifier);
  clickRow(articles(), 3, Qt::ControlModifier);
  prompts_.answers = {Answer::Cancel, Answer::Ok};
  QTest::keyClick(articles(), Qt::Key_Delete);
  EXPECT_EQ(prompts_.texts(), QStringList{"Delete 3 selected articles?"});
  EXPECT_EQ(prompts_.messages[0].kind, UserPrompts::Kind::OkCancel);
  EXPECT_EQ(collection().articles().size(), 4u);
  menuCommand(articles(), 0, "mnuDeleteArticles");
  EXPECT_EQ(articleSubjects(), Subjects{"S3"});
  EXPECT_TRUE(selectedRows(articles()).empty());
  EXPECT_EQ(panelText(4), "0/1");

  // Ctrl+Z puts them back selected (where and with what: see the collection's taken rows);
  // the last 20 deletes can be taken back.
  QTest::keyClick(articles(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(selectedRows(articles()), (Rows{0, 1, 3}));
  action("mnuUndo")->trigger();
  EXPECT_EQ(articleSubjects(), (Subjects{"S1", "S2", "S3", "S4", "S5"}));
  EXPECT_EQ(panelText(4), "1/5");
  for (std::uint32_t n = 6; n <= 25; ++n) addArticle(n, "S" + std::to_string(n));
  for (int i = 0; i < 21; ++i) QTest::keyClick(articles(), Qt::Key_Delete);
  for (int i = 0; i < 22; ++i) QTest::keyClick(articles(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(collection().articles().size(), 24u);
  EXPECT_FALSE(action("mnuUndo")->isEnabled());
}

TEST_F(ListsTest, SelectBySubjectIgnoresReplyPrefixesButNotCaseAndByQueryAndAuthor) {
  std::uint32_t n = 1;
  for (const char* subject : {"Re: Modem", "Modem", "RE: modem", "RE: Modem", "Modems"})
    addArticle(n++, subject);
  addArticle(6, "a", "x@y", "Q1");
  addArticle(7, "b", "z@y", "Q2");
  addArticle(8, "c", "x@y", "Q2");
  showPage(1);
  clickRow(articles(), 0);
  openContextMenu(articles(), 0);
  EXPECT_FALSE(action("mnuSelectByQuery")->isEnabled());  // no query behind it
  const std::tuple<int, const char*, Rows> cases[] = {{0, "mnuSelectBySubject", {0, 1, 3}},
                                                      {6, "mnuSelectByQuery", {6, 7}},
                                                      {5, "mnuSelectbyAuthor", {5, 7}}};
  for (const auto& [row, command, selected] : cases) {
    clickRow(articles(), row);
    menuCommand(articles(), row, command);
    EXPECT_EQ(selectedRows(articles()), selected) << command;
  }
}

TEST_F(ListsTest, ArticleMenuEntriesFollowTheSelection) {
  session().options().options().loadOnSelect = false;
  EXPECT_EQ(openContextMenu(articles(), -1), nullptr);  // an empty list
  addArticle(1, "loaded", "x@y", "", "body");
  addArticle(2, "not loaded", "no address");
  showPage(1);
  EXPECT_EQ(openContextMenu(articles(), 0), nullptr);  // nothing selected
  const auto menuAt = [&](int row) {
    openContextMenu(articles(), row);
    return action("mnuLoadArticle")->text().toStdString() + ": " +
           enabledOf({"mnuLoadArticle", "mnuReplyAuthor", "mnuPostingProfile", "mnuArtSave",
                      "mnuSelectbyAuthor", "mnuDeleteArticles"});
  };
  clickRow(articles(), 0);
  EXPECT_EQ(
      menuAt(0),
      "Re&fresh article\tEnter: mnuReplyAuthor mnuPostingProfile mnuArtSave mnuSelectbyAuthor "
      "mnuDeleteArticles");
  EXPECT_FALSE(action("mnuStopArticles")->isVisible());
  clickRow(articles(), 1);
  EXPECT_EQ(menuAt(1),
            "&Load article\tEnter: mnuLoadArticle mnuArtSave mnuSelectbyAuthor mnuDeleteArticles");

  // Loading it (Enter): while it runs the load entry is hidden and "Stop loading" shown.
  QTest::keyClick(articles(), Qt::Key_Return);
  Article& article = *collection().articles()[1];
  ASSERT_TRUE(QTest::qWaitFor([&] { return article.isTransferring(); }));
  openContextMenu(articles(), 1);
  EXPECT_FALSE(action("mnuLoadArticle")->isVisible());
  EXPECT_TRUE(action("mnuStopArticles")->isVisible());
  closePopups();

  clickRow(articles(), 0, Qt::ControlModifier);
  EXPECT_EQ(menuAt(1), "&Load selected\tEnter: mnuLoadArticle mnuDeleteArticles");
}

TEST_F(ListsTest, LayoutIsKeptForTheNextRunAndFitsInASmallWindow) {
  showPage(1);
  QHeaderView* header = articles()->header();
  int width = 0;  // the Subject column takes the spare width
  for (int column = 0; column < header->count(); ++column)
    width += header->isSectionHidden(column) ? 0 : header->sectionSize(column);
  EXPECT_EQ(width, articles()->viewport()->width());
  ASSERT_TRUE(header->isSectionHidden(ArticleListModel::forum));
  QMenu* columns = rightClick(header->viewport());
  ASSERT_NE(columns, nullptr);
  columns->actions().last()->trigger();  // "Forum"
  EXPECT_FALSE(header->isSectionHidden(ArticleListModel::forum));
  header->moveSection(header->visualIndex(ArticleListModel::date), 1);
  header->resizeSection(ArticleListModel::author, 123);
  session().articlesPage().setSort(ArticleListModel::date, Qt::DescendingOrder);
  session().articlesPage().setSizes({100, 300});
  window().resize(700, 500);
  const std::string layout = headerLayout(*header);
  const QList<int> sizes = session().articlesPage().sizes();
  startSession();
  showPage(1);
  EXPECT_EQ(headerLayout(*articles()->header()), layout);
  EXPECT_NEAR(session().articlesPage().sizes()[0], sizes[0], 1);
  EXPECT_EQ(session().articlesPage().sortColumn(), ArticleListModel::date);
  EXPECT_EQ(window().size(), QSize(700, 500));

  window().resize(640, 480);
  EXPECT_EQ(window().size(), QSize(640, 480));
  for (int page = 0; page < 3; ++page) {
    showPage(page);
    QStringList overlapping;  // visible controls overlapping a sibling
    for (QWidget* one : window().findChildren<QWidget*>())
      for (QWidget* other : one->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (one < other && one->isVisible() && other->isVisible() && !one->isWindow() &&
            !other->isWindow() && one->geometry().intersects(other->geometry()))
          overlapping << one->objectName() + QLatin1Char('/') + other->objectName();
    EXPECT_EQ(overlapping, QStringList()) << page;
  }
}

TEST_F(ListsTest, ShowingAnArticleFillsTheHeaderViewerAndReplyButtonsAndCtrlFFindsInIt) {
  addRequest("modem", "Modems");
  addArticle(1, "Re: modems", "joe@example.com", "Modems",
             "Modem: see http://example.com/x\r\nmodem two\r\nMODEM three\r\n");
  // Marker bytes of its own would make a link of any text: they are dropped.
  addArticle(2, "No address", "Joe Bloggs", "", "te\x1Exdg-open evil\x1Fxt");
  collection().articles()[1]->forum.clear();
  showPage(1);
  clickRow(articles(), 0);
  EXPECT_EQ(child<QLabel>("lblAuthor")->text(), "joe@example.com");
  EXPECT_EQ(child<QLabel>("lblSubject")->text(), "Re: modems");
  EXPECT_EQ(child<QLabel>("lblForum")->text(), "comp.dcom.modems");
  ColorMemo& viewer = *child<ColorMemo>("ArtView");
  EXPECT_NE(viewer.text().find("\x1Ehttp://example.com/x\x1F"), std::string::npos);
  EXPECT_EQ(enabledOf({"btnReplyAuthor", "btnReplyGroup", "btnForward"}),
            "btnReplyAuthor btnReplyGroup btnForward");
  // Every match highlighted; Enter and Shift+Enter move between them; Esc closes the bar.
  QTest::keyClick(articles(), Qt::Key_F, Qt::ControlModifier);
  FindBar& bar = session().articlesPage().findBar();
  QTest::keyClicks(bar.edFind, QStringLiteral("modem"));  // the first match is selected
  EXPECT_EQ(viewer.extraSelections().size(), 3);
  for (const auto& [modifiers, line] :
       {std::pair(Qt::NoModifier, 1), {Qt::NoModifier, 2}, {Qt::ShiftModifier, 1}}) {
    QTest::keyClick(bar.edFind, Qt::Key_Return, modifiers);
    EXPECT_EQ(viewer.textCursor().blockNumber(), line);
  }
  bar.chkMatchCase->click();
  EXPECT_EQ(bar.lblMatches->text(), "1 match");
  QTest::keyClick(bar.edFind, Qt::Key_Escape);
  EXPECT_TRUE(bar.isHidden() && viewer.extraSelections().isEmpty() && viewer.hasFocus());

  clickRow(articles(), 1);
  EXPECT_EQ(viewer.text(), "texdg-open evilxt");
  EXPECT_EQ(enabledOf({"btnReplyAuthor", "btnReplyGroup", "btnForward"}), "btnForward");
  EXPECT_EQ(messagePanelText(), QString());
}

TEST_F(ListsTest, SelectingAnArticleLoadsItAndTheViewerSaysHowItGoes) {
  ScriptedServer missing([](ScriptedConnection& connection) {
    if (connection.readRequest()) connection.send(httpResponse(404, "Not Found", "", {}));
  });
  for (std::uint32_t n = 1; n <= 3; ++n) addArticle(n, "S" + std::to_string(n));
  const auto& list = collection().articles();
  showPage(1);
  const auto note = [&] { return child<ColorMemo>("ArtView")->placeholderText().toStdString(); };
  clickRow(articles(), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return list[0]->isTransferring(); }));
  EXPECT_EQ(note(), "Loading...");
  QTest::keyClick(articles(), Qt::Key_Escape);  // stopped: selecting it again starts nothing
  EXPECT_EQ(note(), "Cancelled\n\nPress Enter or double-click the article to load it again.");
  useServer(missing.port());
  clickRow(articles(), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return list[1]->hasState(kFailed); }));
  EXPECT_EQ(note().substr(0, note().find('\n')), std::string(list[1]->longStatus()));
  session().options().options().loadOnSelect = false;
  for (const int row : {0, 2}) clickRow(articles(), row);
  EXPECT_FALSE(list[0]->isTransferring() || list[2]->isTransferring());
  EXPECT_EQ(note(),
            "The article is not loaded. Press Enter or double-click the article to load it.");
}

// The limit, the queue order and the log line: see the scheduler's and the batch run's tests.
TEST_F(ListsTest, LoadSelectedReachesTheSchedulerAndAnOutageIsShownUntilResumed) {
  VnkOptions& options = session().options().options();
  options.maxRequests = 1;  // the second one waits: an outage pauses what waits
  const std::string working = options.serviceDomain;
  options.serviceDomain = "0.0.1:" + std::to_string(freeLoopbackPort());  // refuses
  for (std::uint32_t n = 1; n <= 2; ++n) addArticle(n, "Subject");
  showPage(1);
  action("mnuSelectAll")->trigger();
  QTest::keyClick(articles(), Qt::Key_Return);  // "Load selected"
  QLabel* paused = child<QLabel>("StatusPanelPaused");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !paused->isHidden(); }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return collection().articleTransfers() == 0; }));
  EXPECT_EQ(paused->text(), "Automatic download paused: Connection refused");
  EXPECT_EQ(cellText(articles(), 0, 3), "Errors! Connection refused (Error #10061)");

  options.serviceDomain = working;  // the loopback server holds articles open
  action("mnuResumeDownloads")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return collection().articles()[0]->isTransferring(); }));
  EXPECT_TRUE(paused->isHidden());
}

// The file's text is the message file's (see its tests); here: the dialog and the body.
TEST_F(ListsTest, SavingAnArticleProposesASafeNameAndNeedsItsText) {
  addArticle(1, "Re: 50% off!", "joe@example.com", "", "Body line\r\n");
  addArticle(2, "Not loaded");
  showPage(1);
  clickRow(articles(), 1);
  menuCommand(articles(), 1, "mnuArtSave");
  EXPECT_EQ(prompts_.texts(), QStringList{"Nothing to save: article body not loaded"});

  clickRow(articles(), 0);
  const std::string path = tempPath("saved.nws");
  answerFile(path);
  menuCommand(articles(), 0, "mnuArtSave");
  ASSERT_EQ(prompts_.fileDialogs.size(), 1u);
  EXPECT_EQ(prompts_.fileDialogs[0].proposedName, "50 off");
  EXPECT_TRUE(fileBytes(path).endsWith("\r\n\r\nBody line\r\n")) << fileBytes(path).data();
}

TEST_F(ListsTest, FilterBoxesNarrowTheListsAndCommandsActOnTheRowsShown) {
  for (const char* words : {"one", "two", "three"}) addRequest(words);
  addArticle(1, "Modem init", "ann@example.com");
  addArticle(2, "Printer", "bob@example.com");
  addArticle(3, "Re: modems", "Bob");
  QTest::keyClicks(child<QLineEdit>("edQueryFilter"), QStringLiteral("T"));  // two, three
  clickRow(queries(), 1);
  QTest::keyClick(queries(), Qt::Key_Delete);
  EXPECT_EQ(cellText(queries(), 0, 0), "two");
  EXPECT_EQ(collection().requests().size(), 2u);
  showPage(1);
  for (const auto& [text, shown] : {std::pair("PRINT", 1), std::pair("bob", 2)}) {
    child<QLineEdit>("edArticleFilter")->setText(QString::fromLatin1(text));  // any column
    EXPECT_EQ(articles()->model()->rowCount(), shown) << text;
  }
  menuCommand(articles(), 0, "mnuSelectAll");  // the rows shown, not the hidden one
  prompts_.answers = {Answer::Ok};
  QTest::keyClick(articles(), Qt::Key_Delete);
  EXPECT_EQ(articleSubjects(), Subjects{"Modem init"});
}

// --- Edit menu, clipboard and log -----------------------------------------------------

TEST_F(ListsTest, PasteTakesTheFirstLineAndCopyCutFollowTheFocus) {
  QLineEdit* keywords = child<QLineEdit>("edKeywords");
  keywords->setFocus();
  QGuiApplication::clipboard()->setText(QStringLiteral("first line\r\nsecond line"));
  QTest::keyClick(keywords, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(keywords->text(), "first line");
  QGuiApplication::clipboard()->setText(QStringLiteral("unix\nline"));
  action("mnuEditPaste")->trigger();
  EXPECT_EQ(keywords->text(), "first lineunix");
  for (const Qt::Key cut : {Qt::Key_Y, Qt::Key_X}) {  // Cut, by either key
    keywords->setSelection(0, 1);
    QTest::keyClick(keywords, cut, Qt::ControlModifier);
  }
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "i");

  // The Edit menu's entries follow the focused control when a menu opens.
  keywords->setSelection(0, 3);
  QMenu* edit = window().findChild<QMenu*>(QStringLiteral("mnuEdit"));
  for (const char* expected : {"mnuEditCopy mnuEditCut mnuEditPaste", ""}) {
    emit edit->aboutToShow();
    EXPECT_EQ(enabledOf({"mnuEditCopy", "mnuEditCut", "mnuEditPaste"}), expected);
    queries()->setFocus();
  }
}

TEST_F(ListsTest, ViewMenuShowsTheLogWhichIsSavedAndCleared) {
  action("mnuViewLog")->trigger();
  EXPECT_EQ(currentPage(), 2);
  EXPECT_TRUE(action("mnuViewLog")->isChecked());

  // The log is saved with CR LF line ends, and cleared.
  appendLog("first line");
  appendLog("second line");
  auto* log = child<QPlainTextEdit>("memoLog");
  QMenu* menu = rightClick(log->viewport());
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(menu->actions().contains(action("mnuLogSave")));
  const std::string path = tempPath("log.txt");
  answerFile(path);
  action("mnuLogSave")->trigger();
  closePopups();
  EXPECT_EQ(fileBytes(path), QByteArray("first line\r\nsecond line\r\n"));
  action("mnuLogClear")->trigger();
  EXPECT_TRUE(log->toPlainText().isEmpty());
}

// --- Dropped URLs (their texts are read as droppedUrlText's tests show) -----------------

class DropTest : public ListsTest {
 protected:
  // Drags `data` from another program over the widget and drops it; returns whether the
  // drag was accepted.
  bool drop(QWidget* target, const QMimeData& data,
            Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QPoint pos(10, 10);
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &dropped);
    settle();
    return dropped.isAccepted();
  }
};

TEST_F(DropTest, SearchUrlWithShiftAddsAnIdleQuery) {
  Request query("");
  query.keywords = "dropped words";
  QMimeData data;
  data.setUrls({QUrl(QString::fromStdString(
      buildQueryUrl(query, false, session().options().options().serviceSettings())))});
  showPage(1);
  ASSERT_TRUE(drop(articles()->viewport(), data, Qt::ShiftModifier));
  ASSERT_EQ(collection().requests().size(), 1u);
  Request& request = *collection().requests()[0];
  EXPECT_EQ(request.keywords, "dropped words");
  EXPECT_FALSE(request.isTransferring());
  EXPECT_EQ(currentPage(), 0);
}

// Shift (added, not started): see the search URL's test; Mozilla's format: see
// droppedUrlText's.
TEST_F(DropTest, ArticleUrlAddsAnArticleOnceAndStartsItAndOtherTextIsRefused) {
  QMimeData data, words, noNumber;
  words.setText(QStringLiteral("just some words"));
  EXPECT_FALSE(drop(&window(), words));
  noNumber.setText(QStringLiteral("http://www.example.com/getdoc.xp?AN=&fmt=text"));
  drop(&window(), noNumber);
  EXPECT_TRUE(collection().isEmpty());

  data.setText(QStringLiteral("http://www.example.com/getdoc.xp?AN=424242&fmt=text\n"));
  ASSERT_TRUE(drop(&window(), data));
  ASSERT_EQ(collection().articles().size(), 1u);
  Article& article = *collection().articles()[0];
  EXPECT_EQ(article.number, 424242u);
  EXPECT_EQ(article.subject, "(subject not available)");
  EXPECT_TRUE(collection().knownArticles().contains(424242));
  EXPECT_EQ(currentPage(), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return article.isTransferring(); }));
  // The same article again is shown, not added twice.
  ASSERT_TRUE(drop(queries()->viewport(), data));
  EXPECT_EQ(collection().articles().size(), 1u);
  EXPECT_EQ(selectedRows(articles()), Rows{0});
}

}  // namespace
}  // namespace varnook::testing
