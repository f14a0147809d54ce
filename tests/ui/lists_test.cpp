// The query and article lists: selection, menus, keys, deleting, renaming, sorting, the
// viewer, the clipboard, saving, the log, and URLs dropped onto the window.
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTextCursor>

#include "archive/queryurl.h"
#include "collection/collectionfile.h"
#include "transfer/scheduler.h"
#include "ui/colormemo.h"
#include "ui/querypanel.h"
#include "windowfixture.h"

namespace varnook::testing {
namespace {

using Kind = UserPrompts::Kind;
using Answer = UserPrompts::Answer;

class ListsTest : public WindowTest {
 protected:
  std::vector<int> selectedRows(QTreeView* list) {
    std::vector<int> rows;
    for (const QModelIndex& index : list->selectionModel()->selectedRows())
      rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
  }
  std::vector<std::string> articleSubjects() {
    std::vector<std::string> subjects;
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
  EXPECT_EQ(selectedRows(queries()), std::vector<int>{1});
  EXPECT_EQ(collection().articles().size(), 1u);  // its articles stay

  // The last row: the new last one is selected; the only one: nothing is left.
  QTest::keyClick(queries(), Qt::Key_Delete);
  EXPECT_EQ(selectedRows(queries()), std::vector<int>{0});
  action("btnDeleteArticle")->trigger();  // the tool button deletes on the Queries page too
  EXPECT_TRUE(collection().requests().empty());
  EXPECT_TRUE(selectedRows(queries()).empty());
  EXPECT_EQ(panelText(1), QStringLiteral("(none)"));
}

TEST_F(ListsTest, QueryMenuOpensForOneSelectedQueryOnItsPage) {
  addRequest("idle");
  EXPECT_EQ(openContextMenu(queries(), 0), nullptr);  // nothing selected
  clickRow(queries(), 0);
  QMenu* menu = openContextMenu(queries(), 0);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->objectName(), QStringLiteral("popQueryList"));
  EXPECT_TRUE(action("mnuSendQuery")->isEnabled());
  EXPECT_FALSE(action("mnuResumeQuery")->isEnabled());  // no next page stored

  // "Sto&p query" on an idle request shows "Cancelled".
  action("mnuCancelRequest")->trigger();
  closePopups();
  EXPECT_EQ(cellText(queries(), 0, 5), QStringLiteral("Cancelled"));
  EXPECT_EQ(window().messagePanelText(), QStringLiteral("Cancelled"));

  // "&Send" starts it; while it runs Send and Resume are off.
  openContextMenu(queries(), 0);
  action("mnuSendQuery")->trigger();
  closePopups();
  Request& request = *collection().requests()[0];
  ASSERT_TRUE(waitFor([&] { return request.isTransferring(); }));
  openContextMenu(queries(), 0);
  EXPECT_FALSE(action("mnuSendQuery")->isEnabled());
  EXPECT_FALSE(action("mnuResumeQuery")->isEnabled());
  action("mnuStopAtNextPage")->trigger();
  EXPECT_TRUE(request.stopAtNextPage);
  closePopups();
}

TEST_F(ListsTest, RenamingAQueryRenamesItsArticlesReferencesAndIsSaved) {
  Request& request = addRequest("modem");
  ASSERT_EQ(request.name.rfind("Q#", 0), 0u);
  EXPECT_EQ(cellText(queries(), 0, 0), QStringLiteral("modem"));  // the query summary
  addArticle(7, "An article", "a@b", request.name);
  clickRow(queries(), 0);
  openContextMenu(queries(), 0);
  action("mnuRenameQuery")->trigger();
  closePopups();
  auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, QStringLiteral("Modems"));
  QTest::keyClick(editor, Qt::Key_Return);
  settle();
  EXPECT_EQ(request.name, "Modems");
  EXPECT_EQ(cellText(queries(), 0, 0), QStringLiteral("Modems"));
  EXPECT_EQ(collection().articles()[0]->requestId, "Modems");
  EXPECT_EQ(collection().findRequest(*collection().articles()[0]), &request);
  const std::string path = tempPath("renamed.vnk");
  ASSERT_TRUE(varnook::saveCollection(collection(), path).ok);
  Collection reread;
  ASSERT_TRUE(loadCollection(reread, path).ok());
  EXPECT_EQ(reread.requests()[0]->name, "Modems");
}

TEST_F(ListsTest, RenameToAnotherRowsCaptionIsRefusedAndRunningQueriesCannotBeRenamed) {
  addRequest("first", "Alpha");
  Request& second = addRequest("second", "Beta");
  auto* model = queries()->model();
  EXPECT_FALSE(model->setData(model->index(1, 0), QStringLiteral("Alpha")));
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].text, QStringLiteral("Duplicate query name"));
  EXPECT_EQ(second.name, "Beta");
  EXPECT_EQ(cellText(queries(), 1, 0), QStringLiteral("Beta"));

  // An empty name is no name: the old one stays.
  model->setData(model->index(1, 0), QStringLiteral("  "));
  EXPECT_EQ(second.name, "Beta");

  clickRow(queries(), 1);
  openContextMenu(queries(), 1);
  action("mnuSendQuery")->trigger();
  closePopups();
  ASSERT_TRUE(waitFor([&] { return second.isTransferring(); }));
  EXPECT_FALSE(model->flags(model->index(1, 0)).testFlag(Qt::ItemIsEditable));
  EXPECT_TRUE(model->flags(model->index(0, 0)).testFlag(Qt::ItemIsEditable));
}

// --- Article list ---------------------------------------------------------------------

TEST_F(ListsTest, SelectingAllArticlesShowsTheCountOnceAndEmptiesTheViewer) {
  for (std::uint32_t n = 1; n <= 1000; ++n) addArticle(n, "Subject " + std::to_string(n));
  showPage(1);
  clickRow(articles(), 3);
  ASSERT_NE(window().shownItem(), nullptr);
  QSignalSpy panel(&window(), &ArticlesForm::messagePanelChanged);
  openContextMenu(articles(), 3);
  action("mnuSelectAll")->trigger();
  closePopups();
  settle(20);
  int countShown = 0;
  for (const auto& arguments : panel)
    if (arguments[0].toString() == QStringLiteral("1000 articles selected")) ++countShown;
  EXPECT_EQ(countShown, 1);
  EXPECT_EQ(window().messagePanelText(), QStringLiteral("1000 articles selected"));
  EXPECT_EQ(window().shownItem(), nullptr);
  EXPECT_TRUE(child<ColorMemo>("ArtView")->text().empty());
  EXPECT_FALSE(action("btnForward")->isEnabled());

  // Reverse selection flips every row.
  openContextMenu(articles(), 3);
  action("mnuSelectReverse")->trigger();
  closePopups();
  EXPECT_TRUE(selectedRows(articles()).empty());
}

TEST_F(ListsTest, DeletingOneArticleSelectsTheNextAndSeveralAskFirst) {
  for (std::uint32_t n = 1; n <= 5; ++n)
    addArticle(n, "S" + std::to_string(n), "a@b", "", n == 5 ? "text" : "");
  ASSERT_EQ(collection().loadedArticles, 1);
  showPage(1);
  clickRow(articles(), 4);
  QTest::keyClick(articles(), Qt::Key_Delete);
  EXPECT_EQ(collection().articles().size(), 4u);
  EXPECT_EQ(collection().loadedArticles, 0);
  EXPECT_EQ(selectedRows(articles()), std::vector<int>{3});  // the new last row
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_TRUE(collection().knownArticles().contains(5));  // not to be added again

  clickRow(articles(), 0);
  clickRow(articles(), 1, Qt::ControlModifier);
  clickRow(articles(), 3, Qt::ControlModifier);
  prompts_.answers.push_back(Answer::cancel);
  QTest::keyClick(articles(), Qt::Key_Delete);
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].kind, Kind::okCancel);
  EXPECT_EQ(prompts_.messages[0].text, QStringLiteral("Delete 3 selected articles?"));
  EXPECT_EQ(collection().articles().size(), 4u);

  prompts_.answers.push_back(Answer::ok);
  openContextMenu(articles(), 0);
  action("mnuDeleteArticles")->trigger();
  closePopups();
  EXPECT_EQ(articleSubjects(), std::vector<std::string>{"S3"});
  EXPECT_TRUE(selectedRows(articles()).empty());
  EXPECT_EQ(panelText(4), QStringLiteral("0/1"));
}

TEST_F(ListsTest, SameSubjectIgnoresReplyPrefixesButNotLetterCase) {
  const char* subjects[] = {"Re: Modem", "Modem", "RE: modem", "RE: Modem", "Modems"};
  std::uint32_t n = 1;
  for (const char* subject : subjects) addArticle(n++, subject);
  showPage(1);
  clickRow(articles(), 0);
  openContextMenu(articles(), 0);
  EXPECT_TRUE(action("mnuSelectBySubject")->isEnabled());
  EXPECT_FALSE(action("mnuSelectByQuery")->isEnabled());  // no query behind it
  action("mnuSelectBySubject")->trigger();
  closePopups();
  EXPECT_EQ(selectedRows(articles()), (std::vector<int>{0, 1, 3}));
}

TEST_F(ListsTest, SameQueryAndSameAuthorSelectTheirRows) {
  addArticle(1, "a", "x@y", "Q1");
  addArticle(2, "b", "z@y", "Q2");
  addArticle(3, "c", "x@y", "Q2");
  showPage(1);
  clickRow(articles(), 1);
  openContextMenu(articles(), 1);
  action("mnuSelectByQuery")->trigger();
  EXPECT_EQ(selectedRows(articles()), (std::vector<int>{1, 2}));
  clickRow(articles(), 0);
  openContextMenu(articles(), 0);
  action("mnuSelectbyAuthor")->trigger();
  closePopups();
  EXPECT_EQ(selectedRows(articles()), (std::vector<int>{0, 2}));
}

TEST_F(ListsTest, ArticleMenuEntriesFollowTheSelection) {
  EXPECT_EQ(openContextMenu(articles(), -1), nullptr);  // an empty list
  addArticle(1, "loaded", "x@y", "", "body");
  addArticle(2, "not loaded", "no address");
  showPage(1);
  EXPECT_EQ(openContextMenu(articles(), 0), nullptr);  // nothing selected

  clickRow(articles(), 0);
  openContextMenu(articles(), 0);
  EXPECT_EQ(action("mnuLoadArticle")->text(), QStringLiteral("Re&fresh article"));
  EXPECT_FALSE(action("mnuLoadArticle")->isEnabled());
  EXPECT_FALSE(action("mnuStopArticles")->isVisible());
  EXPECT_TRUE(action("mnuReplyAuthor")->isEnabled());
  EXPECT_TRUE(action("mnuPostingProfile")->isEnabled());

  clickRow(articles(), 1);
  openContextMenu(articles(), 1);
  EXPECT_EQ(action("mnuLoadArticle")->text(), QStringLiteral("&Load article"));
  EXPECT_TRUE(action("mnuLoadArticle")->isEnabled());
  EXPECT_FALSE(action("mnuReplyAuthor")->isEnabled());
  EXPECT_FALSE(action("mnuPostingProfile")->isEnabled());
  EXPECT_TRUE(action("mnuArtSave")->isEnabled());

  // Loading it (Enter): while it runs the load entry is hidden and "Stop loading" shown.
  QTest::keyClick(articles(), Qt::Key_Return);
  Article& article = *collection().articles()[1];
  ASSERT_TRUE(waitFor([&] { return article.isTransferring(); }));
  openContextMenu(articles(), 1);
  EXPECT_FALSE(action("mnuLoadArticle")->isVisible());
  EXPECT_TRUE(action("mnuStopArticles")->isVisible());
  closePopups();
  QTest::keyClick(articles(), Qt::Key_Escape);
  EXPECT_FALSE(article.isTransferring());
  EXPECT_EQ(article.shortStatus(), "Cancelled");

  clickRow(articles(), 0, Qt::ControlModifier);
  openContextMenu(articles(), 1);
  EXPECT_EQ(action("mnuLoadArticle")->text(), QStringLiteral("&Load selected"));
  EXPECT_FALSE(action("mnuSelectbyAuthor")->isEnabled());
  EXPECT_FALSE(action("mnuArtSave")->isEnabled());
  EXPECT_TRUE(action("mnuDeleteArticles")->isEnabled());
  EXPECT_TRUE(action("mnuSelectAll")->isEnabled());
  closePopups();
}

TEST_F(ListsTest, HeaderClicksReorderTheCollectionAndLaterRowsAreAppended) {
  addArticle(1, "banana");
  addArticle(2, "Apple");
  addArticle(3, "cherry");
  showPage(1);
  clickRow(articles(), 2);  // "cherry" stays selected through the sorts
  QHeaderView* header = articles()->header();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
  EXPECT_EQ(articleSubjects(), (std::vector<std::string>{"Apple", "banana", "cherry"}));
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
  EXPECT_EQ(selectedRows(articles()), std::vector<int>{2});
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
  EXPECT_EQ(articleSubjects(), (std::vector<std::string>{"cherry", "banana", "Apple"}));
  EXPECT_EQ(selectedRows(articles()), std::vector<int>{0});
  EXPECT_EQ(cellText(articles(), 0, 0), QStringLiteral("cherry"));
  addArticle(4, "aardvark");
  EXPECT_EQ(articleSubjects().back(), "aardvark");
  // The order shown is the order saved.
  const std::string bytes = writeCollection(collection());
  EXPECT_LT(bytes.find("cherry"), bytes.find("Apple"));
}

TEST_F(ListsTest, CheckMarksBoldRowsAndTheMarkNewArticlesButton) {
  Article& plain = addArticle(1, "plain");
  addArticle(2, "complete", "a@b", "", "text");
  showPage(1);
  QAbstractItemModel* model = articles()->model();
  EXPECT_EQ(model->index(0, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
  EXPECT_TRUE(model->setData(model->index(0, 0), Qt::Checked, Qt::CheckStateRole));
  EXPECT_TRUE(plain.checked());
  EXPECT_FALSE(model->index(0, 1).data(Qt::FontRole).value<QFont>().bold());
  EXPECT_TRUE(model->index(1, 1).data(Qt::FontRole).value<QFont>().bold());

  // New rows follow "Mark new articles for download".
  collection().isKnownArticle(3);
  EXPECT_TRUE(collection().appendArticle(std::make_unique<Article>(3, "new")).checked());
  action("btnAutoMark")->trigger();
  EXPECT_FALSE(collection().markNewArticles);
  collection().isKnownArticle(4);
  EXPECT_FALSE(collection().appendArticle(std::make_unique<Article>(4, "newer")).checked());
}

TEST_F(ListsTest, ShowingAnArticleFillsTheHeaderViewerAndReplyButtons) {
  addRequest("modem", "Modems");
  addArticle(1, "Re: modems", "joe@example.com", "Modems",
             "See http://example.com/x for more.\r\n");
  addArticle(2, "No address", "Joe Bloggs", "", "text");
  collection().articles()[1]->forum.clear();
  showPage(1);
  clickRow(articles(), 0);
  EXPECT_EQ(child<QLabel>("lblAuthor")->text(), QStringLiteral("joe@example.com"));
  EXPECT_EQ(child<QLabel>("lblSubject")->text(), QStringLiteral("Re: modems"));
  EXPECT_EQ(child<QLabel>("lblForum")->text(), QStringLiteral("comp.dcom.modems"));
  ColorMemo& viewer = *child<ColorMemo>("ArtView");
  EXPECT_NE(viewer.text().find("\x1Ehttp://example.com/x\x1F"), std::string::npos);
  EXPECT_TRUE(action("btnReplyAuthor")->isEnabled());
  EXPECT_TRUE(action("btnReplyGroup")->isEnabled());
  EXPECT_TRUE(action("btnForward")->isEnabled());

  // Copying a selection with a link leaves the markers out.
  viewer.setFocus();
  viewer.selectAll();
  QTest::keyClick(&viewer, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            QStringLiteral("See http://example.com/x for more.\n"));

  clickRow(articles(), 1);
  EXPECT_FALSE(action("btnReplyAuthor")->isEnabled());
  EXPECT_FALSE(action("btnReplyGroup")->isEnabled());
  EXPECT_TRUE(action("btnForward")->isEnabled());
  EXPECT_EQ(window().messagePanelText(), QString());
}

TEST_F(ListsTest, SavingAnArticleProposesASafeNameAndNeedsItsText) {
  addArticle(1, "Re: 50% off!", "joe@example.com", "", "Body line\r\n");
  addArticle(2, "Not loaded");
  showPage(1);
  clickRow(articles(), 1);
  openContextMenu(articles(), 1);
  action("mnuArtSave")->trigger();
  closePopups();
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].text, QStringLiteral("Nothing to save: article body not loaded"));

  clickRow(articles(), 0);
  const std::string path = tempPath("saved.nws");
  prompts_.fileNames.push_back(QString::fromStdString(path));
  openContextMenu(articles(), 0);
  action("mnuArtSave")->trigger();
  closePopups();
  ASSERT_EQ(prompts_.fileDialogs.size(), 1u);
  EXPECT_EQ(prompts_.fileDialogs[0].title, QStringLiteral("Save article Re: 50% off!"));
  EXPECT_EQ(prompts_.fileDialogs[0].proposedName, QStringLiteral("50 off"));
  EXPECT_EQ(prompts_.fileDialogs[0].defaultSuffix, QStringLiteral("nws"));
  QFile saved(QString::fromStdString(path));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray bytes = saved.readAll();
  EXPECT_TRUE(bytes.startsWith("From: joe@example.com\r\nSubject: Re: 50% off!\r\n"));
  EXPECT_TRUE(bytes.endsWith("\r\n\r\nBody line\r\n"));
}

// --- Edit menu and clipboard ----------------------------------------------------------

TEST_F(ListsTest, PasteTakesTheFirstLineAndCopyCutFollowTheFocus) {
  QLineEdit* keywords = child<QLineEdit>("edKeywords");
  keywords->setFocus();
  QGuiApplication::clipboard()->setText(QStringLiteral("first line\r\nsecond line"));
  QTest::keyClick(keywords, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(keywords->text(), QStringLiteral("first line"));
  QGuiApplication::clipboard()->setText(QStringLiteral("unix\nline"));
  action("mnuEditPaste")->trigger();
  EXPECT_EQ(keywords->text(), QStringLiteral("first lineunix"));

  keywords->setSelection(0, 5);
  QTest::keyClick(keywords, Qt::Key_Y, Qt::ControlModifier);  // Cut
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("first"));
  EXPECT_EQ(keywords->text(), QStringLiteral(" lineunix"));

  // The Edit menu's entries follow the focused control when a menu opens.
  keywords->setSelection(0, 3);
  QMenu* edit = window().findChild<QMenu*>(QStringLiteral("mnuEdit"));
  emit edit->aboutToShow();
  EXPECT_TRUE(action("mnuEditCopy")->isEnabled());
  EXPECT_TRUE(action("mnuEditCut")->isEnabled());
  EXPECT_TRUE(action("mnuEditPaste")->isEnabled());
  queries()->setFocus();
  emit edit->aboutToShow();
  EXPECT_FALSE(action("mnuEditCopy")->isEnabled());
  EXPECT_FALSE(action("mnuEditCut")->isEnabled());
  EXPECT_FALSE(action("mnuEditPaste")->isEnabled());
}

// --- Log --------------------------------------------------------------------------------

TEST_F(ListsTest, LogIsSavedWithLineEndsAndCleared) {
  window().log("first line");
  window().log("second line");
  showPage(2);
  auto* log = child<QPlainTextEdit>("memoLog");
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                          log->viewport()->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(log->viewport(), &event);
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(menu, nullptr);
  EXPECT_TRUE(menu->actions().contains(action("mnuLogSave")));
  const std::string path = tempPath("log.txt");
  prompts_.fileNames.push_back(QString::fromStdString(path));
  action("mnuLogSave")->trigger();
  closePopups();
  EXPECT_EQ(prompts_.fileDialogs[0].title, QStringLiteral("Saving news download log to ..."));
  QFile saved(QString::fromStdString(path));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll(), QByteArray("first line\r\nsecond line\r\n"));
  action("mnuLogClear")->trigger();
  EXPECT_TRUE(log->toPlainText().isEmpty());
}

// --- Dropped URLs -----------------------------------------------------------------------

class DropTest : public ListsTest {
 protected:
  // Drags `data` from another program over the widget and drops it; returns whether the
  // drag was accepted.
  bool drop(QWidget* target, QMimeData* data, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QPoint pos(10, 10);
    QDragEnterEvent enter(pos, Qt::CopyAction, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(pos), Qt::CopyAction, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &dropped);
    settle();
    return dropped.isAccepted();
  }
  std::string searchUrl(const std::string& keywords) {
    Request query("");
    query.keywords = keywords;
    return buildQueryUrl(query, false, session().options().options().serviceSettings());
  }
};

TEST_F(DropTest, SearchUrlWithShiftAddsAnIdleQueryThatCanBeSentLater) {
  auto* data = new QMimeData;
  data->setUrls({QUrl(QString::fromStdString(searchUrl("dropped words")))});
  showPage(1);
  ASSERT_TRUE(drop(articles()->viewport(), data, Qt::ShiftModifier));
  delete data;
  ASSERT_EQ(collection().requests().size(), 1u);
  Request& request = *collection().requests()[0];
  EXPECT_EQ(request.keywords, "dropped words");
  EXPECT_FALSE(request.isTransferring());
  EXPECT_EQ(child<QStackedWidget>("Pages")->currentIndex(), 0);
  clickRow(queries(), 0);
  openContextMenu(queries(), 0);
  action("mnuSendQuery")->trigger();
  closePopups();
  EXPECT_TRUE(waitFor([&] { return request.isTransferring(); }));
}

TEST_F(DropTest, ArticleUrlAddsAnArticleOnceAndStartsIt) {
  QMimeData data;
  data.setText(QStringLiteral("http://www.example.com/getdoc.xp?AN=424242&fmt=text\n"));
  ASSERT_TRUE(drop(&window(), &data));
  ASSERT_EQ(collection().articles().size(), 1u);
  Article& article = *collection().articles()[0];
  EXPECT_EQ(article.number, 424242u);
  EXPECT_EQ(article.subject, "(subject not available)");
  EXPECT_TRUE(collection().knownArticles().contains(424242));
  EXPECT_EQ(child<QStackedWidget>("Pages")->currentIndex(), 1);
  EXPECT_TRUE(waitFor([&] { return article.isTransferring(); }));
  // The same article again is shown, not added twice.
  ASSERT_TRUE(drop(queries()->viewport(), &data));
  EXPECT_EQ(collection().articles().size(), 1u);
  EXPECT_EQ(selectedRows(articles()), std::vector<int>{0});
}

TEST_F(DropTest, OtherTextIsRefusedAndAnArticleUrlWithoutNumberDoesNothing) {
  QMimeData text;
  text.setText(QStringLiteral("just some words"));
  EXPECT_FALSE(drop(&window(), &text));
  QMimeData noNumber;
  noNumber.setText(QStringLiteral("http://www.example.com/getdoc.xp?AN=&fmt=text"));
  drop(&window(), &noNumber);
  EXPECT_TRUE(collection().isEmpty());
  // A Mozilla URL (UTF-16) is read as well.
  QMimeData moz;
  const QString url = QStringLiteral("http://x/getdoc.xp?AN=5\nTitle");
  moz.setData(QStringLiteral("text/x-moz-url"),
              QByteArray(reinterpret_cast<const char*>(url.utf16()), url.size() * 2));
  EXPECT_TRUE(drop(&window(), &moz, Qt::ShiftModifier));
  ASSERT_EQ(collection().articles().size(), 1u);
  EXPECT_FALSE(collection().articles()[0]->isTransferring());
}

}  // namespace
}  // namespace varnook::testing
