// Start-up, the command line, and the document commands with the unsaved-changes prompt.
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>

#include "archive/queryurl.h"
#include "collection/collectionfile.h"
#include "settings/optionsstore.h"
#include "transfer/scheduler.h"
#include "ui/querypanel.h"
#include "windowfixture.h"

namespace varnook::testing {
namespace {

using Answer = UserPrompts::Answer;
using Kind = UserPrompts::Kind;

const QString kUnsavedQuestion =
    QStringLiteral("There are unsaved changes in the news collection. Save them now?");

class DocumentTest : public WindowTest {
 protected:
  // A collection file with one request and two articles, written by the core writer.
  std::string writeSampleFile(const char* name) {
    Collection sample;
    auto request = std::make_unique<Request>("Saved query");
    request->keywords = "saved";
    sample.appendRequest(std::move(request));
    for (std::uint32_t n : {501u, 502u}) {
      sample.isKnownArticle(n);
      auto article = std::make_unique<Article>(n, "Saved article " + std::to_string(n));
      article->requestId = "Saved query";
      sample.appendArticle(std::move(article), false);
    }
    const std::string path = tempPath(name);
    EXPECT_TRUE(varnook::saveCollection(sample, path).ok);
    return path;
  }
  void makeUnsavedChanges() {
    addRequest("unsaved");
    ASSERT_TRUE(collection().modified());
  }
  bool askedAboutUnsavedChanges() const {
    for (const auto& shown : prompts_.messages)
      if (shown.text == kUnsavedQuestion && shown.kind == Kind::yesNoCancel) return true;
    return false;
  }
};

TEST_F(DocumentTest, StartsUntitledOnTheQueriesPageWithTheStartUpButtonStates) {
  EXPECT_EQ(window().windowTitle(), "Varnook - no document");
  EXPECT_EQ(child<QStackedWidget>("Pages")->currentIndex(), 0);
  for (const char* name : {"btnStop", "btnDeleteArticle", "btnReplyAuthor", "btnReplyGroup",
                           "btnForward", "mnuSave"})  // mnuSave: nothing to save
    EXPECT_FALSE(action(name)->isEnabled()) << name;
  EXPECT_TRUE(action("btnAutoMark")->isChecked());
  EXPECT_FALSE(action("btnAuto")->isChecked());
  const QStringList panels = {"Queries:", "(none)", "", "Articles:", "0/0"};  // 0/0 until refreshed
  for (int panel : {0, 1, 3, 4}) EXPECT_EQ(panelText(panel), panels[panel]) << panel;
}

TEST_F(DocumentTest, SaveAsNamesTheDocumentAndSaveWritesIt) {
  makeUnsavedChanges();
  EXPECT_TRUE(action("mnuSave")->isEnabled());
  const std::string path = tempPath("first.vnk");
  answerFile(path);
  action("mnuSaveAs")->trigger();
  ASSERT_EQ(prompts_.fileDialogs.size(), 1u);
  EXPECT_EQ(prompts_.fileDialogs[0].title, "Save messages to ...");
  EXPECT_EQ(prompts_.fileDialogs[0].defaultSuffix, "vnk");
  EXPECT_EQ(prompts_.fileDialogs[0].filters.front(), "Varnook files (*.vnk)");
  EXPECT_EQ(window().windowTitle(), "Varnook - first.vnk");
  EXPECT_FALSE(collection().modified());
  EXPECT_FALSE(action("mnuSave")->isEnabled());
  EXPECT_TRUE(QFile::exists(QString::fromStdString(path)));

  // Save with a name saves without asking.
  addRequest("more");
  QTest::keyClick(queries(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(prompts_.fileDialogs.size(), 1u);
  EXPECT_FALSE(collection().modified());
  Collection reread;
  ASSERT_TRUE(loadCollection(reread, path).ok());
  EXPECT_EQ(reread.requests().size(), 2u);
}

TEST_F(DocumentTest, FailedSaveAsKeepsTheOldNameAndTheChanges) {
  makeUnsavedChanges();
  prompts_.fileNames.push_back(QString::fromStdString(tempPath("no/such/folder/x.vnk")));
  action("mnuSaveAs")->trigger();
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].kind, Kind::error);
  EXPECT_EQ(window().windowTitle(), "Varnook - no document");
  EXPECT_TRUE(collection().fileName().empty());
  EXPECT_TRUE(collection().modified());
}

TEST_F(DocumentTest, OpenWithUnsavedChangesFollowsTheAnswer) {
  const std::string path = writeSampleFile("sample.vnk");
  const std::string savedTo = tempPath("unsaved.vnk");
  for (const Answer answer : {Answer::cancel, Answer::no, Answer::yes}) {
    SCOPED_TRACE(answer == Answer::cancel ? "Cancel" : answer == Answer::no ? "No" : "Yes");
    startSession();
    makeUnsavedChanges();
    addArticle(77, "Unsaved article");
    answerFile(path);  // the open dialog
    prompts_.answers.push_back(answer);
    if (answer == Answer::yes) answerFile(savedTo);
    QTest::keyClick(queries(), Qt::Key_O, Qt::ControlModifier);

    EXPECT_TRUE(askedAboutUnsavedChanges());
    EXPECT_TRUE(prompts_.answers.empty() && prompts_.fileNames.empty());
    EXPECT_EQ(prompts_.fileDialogs[0].title, "Open messages stored in ...");
    ASSERT_EQ(collection().requests().size(), 1u);
    if (answer != Answer::cancel) {
      EXPECT_EQ(collection().requests()[0]->name, "Saved query");
      EXPECT_EQ(collection().articles().size(), 2u);
      EXPECT_EQ(window().windowTitle(), "Varnook - sample.vnk");
      EXPECT_FALSE(collection().modified());
      EXPECT_FALSE(collection().knownArticles().contains(77));  // the old collection is gone
      EXPECT_EQ(panelText(1), "1");
      EXPECT_EQ(panelText(4), "0/2");
    } else {
      EXPECT_EQ(collection().requests()[0]->keywords, "unsaved");
      EXPECT_TRUE(collection().modified());
      EXPECT_EQ(window().windowTitle(), "Varnook - no document");
    }
  }
  Collection saved;
  ASSERT_TRUE(loadCollection(saved, savedTo).ok());
  EXPECT_EQ(saved.requests()[0]->keywords, "unsaved");
}

TEST_F(DocumentTest, OpenCancelledInTheFileDialogAsksNothing) {
  makeUnsavedChanges();
  prompts_.fileNames.push_back(QString());
  action("mnuOpen")->trigger();
  EXPECT_FALSE(askedAboutUnsavedChanges());
  EXPECT_EQ(collection().requests().size(), 1u);
}

TEST_F(DocumentTest, OpenReleasesAutomaticDownloadAndKeepsLogAndPanel) {
  const std::string path = writeSampleFile("sample.vnk");
  action("btnAuto")->trigger();
  ASSERT_TRUE(session().scheduler().autoDownload());
  window().log("a line before opening");
  child<QLineEdit>("edKeywords")->setText(QStringLiteral("typed"));
  answerFile(path);
  action("btnOpen")->trigger();
  EXPECT_FALSE(session().scheduler().autoDownload());
  EXPECT_FALSE(action("btnAuto")->isChecked());
  EXPECT_EQ(child<QLineEdit>("edKeywords")->text(), "typed");
  EXPECT_TRUE(child<QPlainTextEdit>("memoLog")->toPlainText().contains("before opening"));
}

TEST_F(DocumentTest, MalformedFileKeepsWhatWasReadUnderThePreviousTitle) {
  const std::string path = tempPath("broken.vnk");
  {
    Collection good;
    good.appendRequest(std::make_unique<Request>("Good one"));
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // A line without a query right after the good request line.
    QByteArray bytes = QByteArray::fromStdString(writeCollection(good));
    const qsizetype secondLineEnd = bytes.indexOf('\n', bytes.indexOf('\n') + 1);
    ASSERT_GT(secondLineEnd, 0);
    bytes.insert(secondLineEnd + 1, "this line holds no query\r\n");
    file.write(bytes);
  }
  answerFile(path);
  action("mnuOpen")->trigger();
  ASSERT_FALSE(prompts_.messages.empty());
  EXPECT_EQ(prompts_.messages.back().kind, Kind::error);
  EXPECT_EQ(window().windowTitle(), "Varnook - no document");
  EXPECT_EQ(collection().requests().size(), 1u);
  EXPECT_TRUE(collection().modified());
}

TEST_F(DocumentTest, NewWithUnsavedChangesCancelKeepsEverythingNoClearsEverything) {
  makeUnsavedChanges();
  addArticle(5, "Article");
  window().log("log line");
  child<QLineEdit>("edKeywords")->setText(QStringLiteral("panel text"));
  prompts_.answers.push_back(Answer::cancel);
  action("mnuNew")->trigger();
  EXPECT_EQ(collection().requests().size(), 1u);
  EXPECT_EQ(collection().articles().size(), 1u);

  showPage(2);
  prompts_.answers.push_back(Answer::no);
  QTest::keyClick(child<QPlainTextEdit>("memoLog"), Qt::Key_N, Qt::ControlModifier);
  EXPECT_TRUE(collection().isEmpty());
  EXPECT_FALSE(collection().knownArticles().contains(5));
  EXPECT_FALSE(collection().modified());
  EXPECT_EQ(window().windowTitle(), "Varnook - no document");
  EXPECT_EQ(child<QStackedWidget>("Pages")->currentIndex(), 0);
  EXPECT_TRUE(child<QLineEdit>("edKeywords")->text().isEmpty());
  EXPECT_TRUE(child<QPlainTextEdit>("memoLog")->toPlainText().isEmpty());
  EXPECT_EQ(panelText(1), "(none)");
  EXPECT_EQ(panelText(4), "(none)");
}

TEST_F(DocumentTest, ModifiedButEmptyCollectionIsDiscardedWithoutAsking) {
  Request& request = addRequest("gone soon");
  collection().removeRequest(request);
  ASSERT_TRUE(collection().modified());
  action("mnuNew")->trigger();
  EXPECT_TRUE(prompts_.messages.empty());
}

TEST_F(DocumentTest, ClosingWithUnsavedChangesCancelledSaveDialogKeepsTheWindowOpen) {
  makeUnsavedChanges();
  prompts_.answers.push_back(Answer::yes);
  prompts_.fileNames.push_back(QString());  // Save As cancelled
  EXPECT_FALSE(window().close());
  EXPECT_TRUE(window().isVisible());
  EXPECT_EQ(prompts_.fileDialogs.size(), 1u);
  EXPECT_EQ(prompts_.fileDialogs[0].title, "Save messages to ...");

  // Cancel in the prompt keeps it open too; Yes with a name saves and closes.
  prompts_.answers.push_back(Answer::cancel);
  action("mnuExit")->trigger();
  EXPECT_TRUE(window().isVisible());
  const std::string path = tempPath("closing.vnk");
  prompts_.answers.push_back(Answer::yes);
  answerFile(path);
  EXPECT_TRUE(window().close());
  EXPECT_TRUE(QFile::exists(QString::fromStdString(path)));
}

TEST_F(DocumentTest, ClosingStopsTheTransfersAndSavesTheOptions) {
  session().options().options().hitsPerPage = 77;
  child<QLineEdit>("edKeywords")->setText(QStringLiteral("held open"));
  QTest::mouseClick(child<QPushButton>("btnSubmit"), Qt::LeftButton);
  ASSERT_TRUE(waitFor([&] { return collection().requests()[0]->isTransferring(); }));
  EXPECT_TRUE(action("btnStop")->isEnabled());
  collection().setModified(false);
  EXPECT_TRUE(window().close());
  // The aborted client reports its end through the loop.
  EXPECT_TRUE(waitFor([&] { return !collection().requests()[0]->isTransferring(); }));
  EXPECT_TRUE(collection().requests()[0]->hasState(kFailed));
  OptionsStore stored;
  stored.setStorageMode(StorageMode::orgRegistry);
  stored.load();
  EXPECT_EQ(stored.options().hitsPerPage, 77);
}

TEST_F(DocumentTest, CtrlTabMovesThroughThePagesAndWraps) {
  const struct {
    int from;
    Qt::Key key;
    int to;
  } cases[] = {{0, Qt::Key_Backtab, 2},
               {2, Qt::Key_Backtab, 1},
               {0, Qt::Key_Tab, 1},
               {1, Qt::Key_Tab, 2},
               {2, Qt::Key_Tab, 0}};
  // Shift last held in a consumed key click stays in the application's modifier state,
  // where it would turn later sends into "add only": the Shift cases come first.
  for (const auto& c : cases) {
    showPage(c.from);
    QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : &window();
    const auto shift = c.key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier;
    QTest::keyClick(focus, c.key, Qt::ControlModifier | shift);
    EXPECT_EQ(child<QStackedWidget>("Pages")->currentIndex(), c.to) << c.from << " " << c.key;
    EXPECT_EQ(child<QTabBar>("PageSwitch")->currentIndex(), c.to);
  }
}

// --- The command line -----------------------------------------------------------------

class CommandLineTest : public WindowTest {
 protected:
  std::string storedParameters(const std::string& keywords, const std::string& author) {
    Request query("");
    query.keywords = keywords;
    query.author = author;
    query.archive = 2;
    return buildQueryUrl(query, true, ServiceSettings());
  }
};

TEST_F(CommandLineTest, StoredQueryOnlyFillsThePanel) {
  for (const char* prefix : {"/Q:", "/q:"}) {
    startSession({prefix + storedParameters("modem", "joe@example.com")});
    EXPECT_EQ(child<QLineEdit>("edKeywords")->text(), "modem");
    EXPECT_EQ(child<QLineEdit>("edAuthor")->text(), "joe@example.com");
    EXPECT_EQ(session().window().queryPanel()->cbxArchive->currentIndex(), 1);
    EXPECT_TRUE(collection().requests().empty()) << prefix;
  }
}

TEST_F(CommandLineTest, RunPrefixSendsTheQueryAtOnce) {
  for (const char* prefix : {"/Q:RUN:", "/q:run:"}) {
    startSession({prefix + storedParameters("sportster", "")});
    ASSERT_EQ(collection().requests().size(), 1u) << prefix;
    EXPECT_EQ(collection().requests()[0]->keywords, "sportster");
    EXPECT_TRUE(waitFor([&] { return collection().requests()[0]->isTransferring(); }));
  }
}

TEST_F(CommandLineTest, RunWithoutFieldsOrWithAnUnreadableDateWarnsAndSendsNothing) {
  const std::pair<const char*, const char*> cases[] = {
      {"/Q:RUN:", "No query fields are specified!"},
      {"/Q:RUN:&QRY=modem&fromdate=someday", "'someday' is not a valid date"}};
  for (const auto& [argument, warning] : cases) {
    startSession({argument});
    EXPECT_EQ(messageTexts(), QStringList{warning});
    EXPECT_TRUE(collection().requests().empty());
  }
}

TEST_F(CommandLineTest, SearchWordsMakeOneUnsentRequest) {
  startSession({"apple", "~a", "smith", "~s", "car parts"});
  ASSERT_EQ(collection().requests().size(), 1u);
  const Request& request = *collection().requests()[0];
  EXPECT_EQ(request.keywords, "apple");
  EXPECT_EQ(request.author, "smith");
  EXPECT_EQ(request.subject, "car parts");
  EXPECT_FALSE(request.isTransferring());
  EXPECT_FALSE(request.url.empty());
  settle(50);
  EXPECT_TRUE(http_->targets().empty() ||
              !http_->targets().back().contains("dnquery"));  // nothing was sent
}

TEST_F(CommandLineTest, CollectionPathOpensItAndFurtherWordsAreAdded) {
  Collection sample;
  sample.appendRequest(std::make_unique<Request>("From the file"));
  const std::string path = tempPath("Upper.VNK");
  ASSERT_TRUE(varnook::saveCollection(sample, path).ok);
  startSession({path, "extra"});
  EXPECT_EQ(window().windowTitle(), "Varnook - Upper.VNK");
  ASSERT_EQ(collection().requests().size(), 2u);
  EXPECT_EQ(collection().requests()[0]->name, "From the file");
  EXPECT_EQ(collection().requests()[1]->keywords, "extra");
}

TEST_F(CommandLineTest, MissingCollectionWarnsAndStartsEmpty) {
  const std::string path = tempPath("missing.vnk");
  startSession({path});
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].kind, Kind::warning);
  EXPECT_EQ(prompts_.messages[0].text.toStdString(), "News collection \"" + path + "\" not found");
  EXPECT_TRUE(collection().isEmpty());
  EXPECT_EQ(window().windowTitle(), "Varnook - no document");
}

}  // namespace
}  // namespace varnook::testing
