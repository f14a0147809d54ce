// The query panel: Send enabling, the extended syntax, date rows, duplicate sends, and the
// new and refined searches from the article header and the viewer.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QRadioButton>
#include <QTextCursor>
#include <cstring>

#include "base/daydate.h"
#include "ui/qttext.h"
#include "ui/querymodedialog.h"
#include "ui/querypanel.h"
#include "windowfixture.h"

namespace varnook::testing {
namespace {

using Answer = UserPrompts::Answer;

class QueryPanelTest : public WindowTest {
 protected:
  QueryPanel& panel() { return session().queriesPage().panel(); }
  void send(Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mouseClick(panel().btnSubmit, Qt::LeftButton, modifiers);
    settle();
  }
  void type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    QTest::keyClicks(edit, text);
  }
  std::vector<QLineEdit*> otherEdits() {
    return {panel().edSubject, panel().edAuthor, panel().edGroups};
  }
};

TEST_F(QueryPanelTest, EachEditEnablesSendAndTildeInTheKeywordsDisablesTheOthers) {
  for (QLineEdit* edit :
       {panel().edKeywords, panel().edSubject, panel().edAuthor, panel().edGroups}) {
    EXPECT_FALSE(panel().btnSubmit->isEnabled());
    type(edit, QStringLiteral(" "));  // blanks count
    EXPECT_TRUE(panel().btnSubmit->isEnabled()) << edit->objectName().toStdString();
    QTest::keyClick(edit, Qt::Key_Backspace);
  }
  EXPECT_FALSE(panel().btnSubmit->isEnabled());

  // The extended syntax disables the other edits without clearing them, and what they
  // hold still goes into the request.
  type(panel().edSubject, QStringLiteral("subject words"));
  type(panel().edKeywords, QStringLiteral("modem ~a"));
  for (QLineEdit* edit : otherEdits()) EXPECT_FALSE(edit->isEnabled());
  send(Qt::ShiftModifier);
  ASSERT_EQ(collection().requests().size(), 1u);
  EXPECT_EQ(collection().requests()[0]->subject, "subject words");
  QTest::keyClick(panel().edKeywords, Qt::Key_Backspace);
  QTest::keyClick(panel().edKeywords, Qt::Key_Backspace);
  for (QLineEdit* edit : otherEdits()) EXPECT_TRUE(edit->isEnabled());
}

TEST_F(QueryPanelTest, RelativeDatesAreStoredAsDaysBeforeSendingAndShownBackTheSameWay) {
  const DayDate sendDay = *encodeDate(1999, 3, 8) + *encodeTime(14, 0, 0);
  panel().setClock([=] { return sendDay; });
  type(panel().edKeywords, QStringLiteral("modem"));
  // A date row follows its check box, and the picker takes the focus.
  QTest::mouseClick(panel().chkFrom, Qt::LeftButton);
  EXPECT_TRUE(panel().chkFromRel->isEnabled() && panel().dtpFrom->hasFocus());
  panel().dtpFrom->setDateTime(toQDateTime(*encodeDate(1999, 3, 1) + *encodeTime(12, 0, 0)));
  QTest::mouseClick(panel().chkFromRel, Qt::LeftButton);
  // Today, relative, is a little before now.
  QTest::mouseClick(panel().chkTo, Qt::LeftButton);
  panel().dtpTo->setDateTime(toQDateTime(sendDay));
  QTest::mouseClick(panel().chkToRel, Qt::LeftButton);
  send(Qt::ShiftModifier);
  ASSERT_EQ(collection().requests().size(), 1u);
  const Request& stored = *collection().requests()[0];
  EXPECT_NEAR(stored.fromDate, -6.5, 1e-6);
  EXPECT_LT(stored.toDate, 0.0);
  EXPECT_GT(stored.toDate, -0.001);

  // Edit the query later, a day on: the pickers show now plus the values, "Rel" checked.
  panel().setClock([=] { return sendDay + 1; });
  panel().fillPanel(nullptr);
  clickRow(queries(), 0);
  QTest::keyClick(queries(), Qt::Key_Return);
  EXPECT_EQ(panel().edKeywords->text(), "modem");
  EXPECT_TRUE(panel().chkFrom->isChecked() && panel().chkFromRel->isChecked());
  EXPECT_EQ(panel().dtpFrom->dateTime(), toQDateTime(sendDay + 1 + stored.fromDate));
  EXPECT_TRUE(panel().chkToRel->isChecked());
  EXPECT_EQ(panel().dtpTo->date(), QDate(1999, 3, 9));
}

TEST_F(QueryPanelTest, FillPanelShowsEveryFieldAndNoneResetsThePanel) {
  Request request("x");
  request.keywords = "k";
  request.subject = "s";
  request.author = "a@b";
  request.forum = "comp.x";
  request.matchAll = false;
  request.fromDate = *encodeDate(2001, 2, 3);
  request.archive = 3;
  request.language = "GERMAN";  // matched without regard to letter case
  panel().fillPanel(&request);  // each field reads back the same (below)
  QueryFields back;
  panel().readQuery(back);
  EXPECT_EQ(back.language, "German");
  back.language = request.language;
  EXPECT_TRUE(back.sameQuery(request));

  request.archive = 9;  // out of range: none chosen
  request.language = "Klingon";
  panel().fillPanel(&request);
  EXPECT_EQ(panel().cbxArchive->currentIndex(), -1);
  EXPECT_EQ(panel().cbxLanguage->currentIndex(), -1);
  panel().fillPanel(nullptr);
  EXPECT_TRUE(panel().edKeywords->text().isEmpty());
  EXPECT_TRUE(panel().chkAND->isChecked());
  EXPECT_FALSE(panel().chkFrom->isChecked() || panel().btnSubmit->isEnabled());
}

TEST_F(QueryPanelTest, SendStartsTheQueryAndSendingItAgainRestartsInsteadOfAddingOne) {
  type(panel().edKeywords, QStringLiteral("modem"));
  QTest::keyClick(panel().edKeywords, Qt::Key_Return);  // Enter is Send
  settle();
  ASSERT_EQ(collection().requests().size(), 1u);
  Request& first = *collection().requests()[0];
  ASSERT_TRUE(QTest::qWaitFor([&] { return first.isTransferring(); }));
  EXPECT_EQ(panel().edKeywords->text(), "modem");  // the panel keeps it

  // While it runs: "Query is already active", nothing new.
  send();
  EXPECT_EQ(messagePanelText(), "Query is already active");
  EXPECT_EQ(collection().requests().size(), 1u);

  // Stopped (Esc in the list), it is sent again from its first page.
  clickRow(queries(), 0);
  QTest::keyClick(queries(), Qt::Key_Escape);
  ASSERT_FALSE(first.isTransferring());
  EXPECT_EQ(first.shortStatus(), "Cancelled");
  first.url = "http://127.0.0.1:1/stale-next-page";  // what the scheduler fetches: see its tests
  send();
  EXPECT_EQ(collection().requests().size(), 1u);
  ASSERT_TRUE(QTest::qWaitFor([&] { return first.isTransferring(); }));
  EXPECT_EQ(first.url,
            buildQueryUrl(first, false, session().options().options().serviceSettings()));

  // Shift+Send adds without sending; the same query is not added twice (which queries are
  // the same: see the collection's same-query test).
  send(Qt::ShiftModifier);
  EXPECT_EQ(messagePanelText(), "Query already exists");
  EXPECT_EQ(collection().requests().size(), 1u);
}

// --- Refined searches --------------------------------------------------------------------

class RefineTest : public QueryPanelTest {
 protected:
  void SetUp() override {
    QueryPanelTest::SetUp();
    base_ = &addRequest("modem", "Modems");
    article_ = &addArticle(10, "Fast modems", "joe@example.com", "Modems",
                           "Try the usr sportster here.\r\nmodem  modem\r\n");
    showPage(1);
    clickRow(articles(), 0);
    ASSERT_EQ(shownArticle(), article_);
  }
  ColorMemo& viewer() { return *child<ColorMemo>("ArtView"); }
  QMenu* openViewerMenu() {
    viewer().setFocus();
    return rightClick(viewer().viewport(), QPoint(10, 10));
  }
  void command(QMenu* menu, const char* actionName) {
    ASSERT_NE(menu, nullptr);
    action(actionName)->trigger();
    closePopups();
  }
  // The dialog answered as the user would: a mode, preview, and "don't show again".
  void answerDialog(const char* option, bool preview, bool dontShowAgain = false,
                    int result = QDialog::Accepted) {
    prompts_.onDialog = [=](QDialog& dialog) {
      auto& modes = static_cast<QueryModeDialog&>(dialog);
      EXPECT_EQ(dialog.windowTitle(), "Creating a Refined Query");
      dialog.findChild<QRadioButton*>(QString::fromLatin1(option))->setChecked(true);
      modes.chkPreview->setChecked(preview);
      modes.chkMakeDefault->setChecked(dontShowAgain);
      return result;
    };
  }
  void caretAfter(const char* text) {
    viewer().setCaretOffset(viewer().text().find(text) + std::strlen(text));
  }
  Request* base_ = nullptr;
  Article* article_ = nullptr;
};

TEST_F(RefineTest, ViewerSelectionOrTheWordAtTheCaretRefinesTheKeywordsIntoThePanel) {
  const std::size_t at = viewer().text().find(" usr sportster ");
  QTextCursor cursor = viewer().textCursor();
  cursor.setPosition(viewer().documentPosition(at));
  cursor.setPosition(viewer().documentPosition(at + 15), QTextCursor::KeepAnchor);
  viewer().setTextCursor(cursor);
  answerDialog("optAdd", true);
  command(openViewerMenu(), "mnuSelRefineSearch");
  EXPECT_EQ(panel().edKeywords->text(), "modem & \"usr sportster\"");
  EXPECT_EQ(currentPage(), 0);
  EXPECT_TRUE(panel().edKeywords->hasFocus());
  EXPECT_EQ(collection().articles().size(), 1u);  // "add" keeps the collection
  EXPECT_EQ(collection().requests().size(), 1u);  // preview: nothing sent yet
}

TEST_F(RefineTest, HeaderMenusFollowTheLabelAndTheArticlesQuery) {
  base_->author = "someone else";
  QLabel* author = child<QLabel>("lblAuthor");  // its text: see the list tests
  answerDialog("optAdd", true);
  command(rightClick(author), "mnuAuthorRefinedSearch");
  EXPECT_EQ(panel().edAuthor->text(), "joe@example.com");  // replaces the query's author
  EXPECT_EQ(panel().edKeywords->text(), "modem");
  EXPECT_TRUE(panel().edAuthor->hasFocus());

  // An article whose query is gone: only a new search.
  showPage(1);
  article_->requestId = "deleted query";
  command(rightClick(child<QLabel>("lblSubject")), "mnuHeaderNewSearch");
  EXPECT_FALSE(action("mnuHeaderRefinedSearch")->isEnabled());
  EXPECT_EQ(panel().edSubject->text(), "\"Fast modems\"");
  EXPECT_TRUE(panel().edKeywords->text().isEmpty());
}

TEST_F(RefineTest, NewWindowWithoutPreviewStartsASecondCopyThatSendsAtOnce) {
  answerDialog("optOpenNew", false, /*dontShowAgain=*/true);
  viewer().setFocus();
  caretAfter("u");
  QTest::keyClick(&viewer(), Qt::Key_R, Qt::ControlModifier);
  ASSERT_EQ(prompts_.started.size(), 1u);
  Request expected("");
  expected.assignQuery(*base_);
  expected.keywords = "modem & usr";
  const std::string parameters =
      buildQueryUrl(expected, true, session().options().options().serviceSettings());
  EXPECT_EQ(prompts_.started[0],
            (QStringList{QStringLiteral("/opt/varnook/bin/varnook"),
                         QStringLiteral("/Q:RUN:") + QString::fromStdString(parameters)}));
  EXPECT_EQ(collection().requests().size(), 1u);

  // "Don't show this dialog again": the next refine skips it and keeps its settings; a
  // start that fails is reported.
  prompts_.startSucceeds = false;
  QTest::keyClick(&viewer(), Qt::Key_R, Qt::ControlModifier);
  EXPECT_EQ(prompts_.dialogsShown, 1);
  EXPECT_EQ(prompts_.started.size(), 2u);
  EXPECT_EQ(prompts_.texts(), QStringList{"Unable to start another instance of Varnook!"});
  EXPECT_EQ(prompts_.messages[0].kind, UserPrompts::Kind::Warning);
}

TEST_F(RefineTest, ClearModeStartsANewCollectionOrStopsWhenThatIsCancelled) {
  answerDialog("optClear", false);
  caretAfter("u");
  prompts_.answers = {Answer::Cancel, Answer::No};  // the unsaved-changes prompt
  command(openViewerMenu(), "mnuSelRefineSearch");
  EXPECT_EQ(collection().articles().size(), 1u);
  EXPECT_TRUE(panel().edKeywords->text().isEmpty());

  command(openViewerMenu(), "mnuSelRefineSearch");
  // The old collection is gone; the refined query was sent at once (no preview).
  EXPECT_TRUE(collection().articles().empty());
  ASSERT_EQ(collection().requests().size(), 1u);
  EXPECT_EQ(collection().requests()[0]->keywords, "modem & usr");
  EXPECT_TRUE(QTest::qWaitFor([&] { return collection().requests()[0]->isTransferring(); }));
}

TEST_F(RefineTest, ExtendedSyntaxQueriesCannotBeRefinedAndCancelDoesNothing) {
  base_->keywords = "modem ~a joe";
  caretAfter("u");
  command(openViewerMenu(), "mnuSelRefineSearch");
  EXPECT_EQ(prompts_.texts(),
            QStringList{"Can't refine a search request which uses extended syntax!"});
  EXPECT_EQ(prompts_.dialogsShown, 0);

  answerDialog("optAdd", false, false, QDialog::Rejected);
  command(openViewerMenu(), "mnuSelNewSearch");
  EXPECT_EQ(prompts_.dialogsShown, 1);
  EXPECT_TRUE(panel().edKeywords->text().isEmpty());
  EXPECT_EQ(collection().requests().size(), 1u);
}

}  // namespace
}  // namespace varnook::testing
