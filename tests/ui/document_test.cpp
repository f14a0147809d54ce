// Start-up, the command line, and the document commands with the unsaved-changes prompt.
#include <QComboBox>
#include <QTabBar>

#include "base/filelock.h"
#include "support/realservers.h"
#include "windowfixture.h"

namespace varnook::testing {
namespace {

using Answer = UserPrompts::Answer;
using Kind = UserPrompts::Kind;

class DocumentTest : public WindowTest {
 protected:
  // A collection file with one request and two articles, written by the core writer.
  std::string writeSampleFile(const char* name) {
    Collection sample;
    sample.appendRequest(std::make_unique<Request>("Saved query"));
    for (std::uint32_t n : {501u, 502u}) {
      sample.isKnownArticle(n);
      sample.appendArticle(std::make_unique<Article>(n, "Saved article"), false);
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
    return !prompts_.messages.empty() && prompts_.messages[0].kind == Kind::YesNoCancel &&
           prompts_.messages[0].text ==
               "There are unsaved changes in the news collection. Save them now?";
  }
  // The title as the title bar shows it: with "*" while the collection has unsaved changes.
  QString title() {
    EXPECT_EQ(window().isWindowModified(), collection().modified());
    return window().windowTitle().replace("[*]", window().isWindowModified() ? "*" : "");
  }
  // The document as the title bar and the lists show it: "<title> <requests>/<articles>".
  std::string document() {
    return title().toStdString() + " " + std::to_string(collection().requests().size()) + "/" +
           std::to_string(collection().articles().size());
  }
  QLineEdit* keywords() { return child<QLineEdit>("edKeywords"); }
  QPlainTextEdit* log() { return child<QPlainTextEdit>("memoLog"); }
};

TEST_F(DocumentTest, SaveAsNamesTheDocumentAndSaveWritesItAFailureChangesNothing) {
  makeUnsavedChanges();
  EXPECT_TRUE(action("mnuSave")->isEnabled());
  answerFile(tempPath("no/such/folder/x.vnk"));
  action("mnuSaveAs")->trigger();
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].kind, Kind::Error);
  EXPECT_EQ(document(), "Varnook - no document* 1/0");
  EXPECT_TRUE(collection().fileName().empty());

  const std::string path = tempPath("first.vnk");
  answerFile(path);
  QTest::keyClick(queries(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(prompts_.fileDialogs[1].defaultSuffix, "vnk");
  EXPECT_EQ(document(), "Varnook - first.vnk 1/0");
  EXPECT_FALSE(action("mnuSave")->isEnabled());

  // Save with a name saves without asking (what the file holds: see the collection file's
  // tests).
  addRequest("more");
  QTest::keyClick(queries(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(prompts_.fileDialogs.size(), 2u);
  EXPECT_EQ(document(), "Varnook - first.vnk 2/0");
  const std::string saved = readFile(path);

  // A file that a varnook-batch run holds is not saved over.
  const FileLock batchRun(path);
  addRequest("third");
  QTest::keyClick(queries(), Qt::Key_S, Qt::ControlModifier);
  ASSERT_EQ(prompts_.messages.size(), 2u);
  EXPECT_EQ(prompts_.messages[1].text.toStdString(),
            "\"" + path + "\" is in use by another Varnook process");
  EXPECT_EQ(document(), "Varnook - first.vnk* 3/0");
  EXPECT_EQ(readFile(path), saved);
}

// Open and New with unsaved changes: cancelled in the file dialog, the question is not
// asked; Cancel keeps everything; No discards the changes, Yes saves them first.
TEST_F(DocumentTest, OpenWithUnsavedChangesFollowsTheAnswerAndKeepsLogAndPanel) {
  const std::string path = writeSampleFile("sample.vnk");
  const std::string savedTo = tempPath("unsaved.vnk");
  for (const std::optional<Answer> answer :
       {std::optional<Answer>(), {Answer::Cancel}, {Answer::No}, {Answer::Yes}}) {
    SCOPED_TRACE(answer ? static_cast<int>(*answer) : -1);
    startSession();
    makeUnsavedChanges();
    addArticle(77, "Unsaved article");
    action("btnAuto")->trigger();
    ASSERT_TRUE(session().scheduler().autoDownload());
    appendLog("a line before opening");
    keywords()->setText(QStringLiteral("typed"));
    answerFile(answer ? path : "");  // the open dialog
    if (answer) prompts_.answers.push_back(*answer);
    if (answer == Answer::Yes) answerFile(savedTo);
    QTest::keyClick(queries(), Qt::Key_O, Qt::ControlModifier);

    EXPECT_EQ(askedAboutUnsavedChanges(), answer.has_value());
    if (answer == Answer::No || answer == Answer::Yes) {
      EXPECT_EQ(document(), "Varnook - sample.vnk 1/2");
      EXPECT_EQ(collection().requests()[0]->name, "Saved query");
      EXPECT_FALSE(collection().knownArticles().contains(77));  // the old collection is gone
      EXPECT_EQ(panelText(1), "1");
      EXPECT_EQ(panelText(4), "0/2");
      // Opening releases automatic download, and keeps the log and the panel.
      EXPECT_FALSE(session().scheduler().autoDownload());
      EXPECT_FALSE(action("btnAuto")->isChecked());
      EXPECT_EQ(keywords()->text(), "typed");
      EXPECT_TRUE(log()->toPlainText().contains("before opening"));
    } else {
      EXPECT_EQ(document(), "Varnook - no document* 1/1");
    }
  }
  Collection saved;
  ASSERT_TRUE(loadCollection(saved, savedTo).ok());
  EXPECT_EQ(saved.requests()[0]->keywords, "unsaved");
}

TEST_F(DocumentTest, MalformedFileKeepsWhatWasReadUnderThePreviousTitle) {
  Collection good;
  good.appendRequest(std::make_unique<Request>("Good one"));
  // A line without a query right after the good request line.
  std::string bytes = writeCollection(good);
  bytes.insert(bytes.find('\n', bytes.find('\n') + 1) + 1, "this line holds no query\r\n");
  const std::string path = tempPath("broken.vnk");
  ASSERT_TRUE(writeFile(path, bytes));
  answerFile(path);
  action("mnuOpen")->trigger();
  ASSERT_FALSE(prompts_.messages.empty());
  EXPECT_EQ(prompts_.messages.back().kind, Kind::Error);
  EXPECT_EQ(document(), "Varnook - no document* 1/0");
}

TEST_F(DocumentTest, NewAsksOnlyWhenThereIsSomethingToLoseAndClearsEverything) {
  // Modified but empty: discarded without asking.
  collection().removeRequest(addRequest("gone soon"));
  ASSERT_TRUE(collection().modified());
  action("mnuNew")->trigger();
  EXPECT_TRUE(prompts_.messages.empty());

  makeUnsavedChanges();
  addArticle(5, "Article");
  appendLog("log line");
  keywords()->setText(QStringLiteral("panel text"));
  prompts_.answers = {Answer::Cancel, Answer::No};
  action("mnuNew")->trigger();
  EXPECT_EQ(document(), "Varnook - no document* 1/1");
  showPage(2);
  QTest::keyClick(log(), Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(document(), "Varnook - no document 0/0");
  EXPECT_FALSE(collection().knownArticles().contains(5));
  EXPECT_EQ(currentPage(), 0);
  EXPECT_TRUE(keywords()->text().isEmpty());
  EXPECT_TRUE(log()->toPlainText().isEmpty());
  EXPECT_EQ(panelText(1), "(none)");
  EXPECT_EQ(panelText(4), "(none)");
  // The buttons are as at start-up: nothing to stop, delete, answer or save.
  EXPECT_EQ(enabledOf({"btnStop", "btnDeleteArticle", "btnReplyAuthor", "btnReplyGroup",
                       "btnForward", "mnuSave"}),
            "");
}

TEST_F(DocumentTest, ClosingWithUnsavedChangesStaysOpenUnlessTheyAreSaved) {
  makeUnsavedChanges();
  prompts_.answers = {Answer::Yes, Answer::Cancel, Answer::Yes};
  answerFile("");  // Save As cancelled
  EXPECT_FALSE(window().close());
  EXPECT_TRUE(window().isVisible());
  EXPECT_EQ(prompts_.fileDialogs.size(), 1u);
  QTest::keyClick(queries(), Qt::Key_Q, Qt::ControlModifier);  // Exit; Cancel in the prompt
  EXPECT_TRUE(window().isVisible());
  const std::string path = tempPath("closing.vnk");
  answerFile(path);
  EXPECT_TRUE(window().close());
  EXPECT_TRUE(QFile::exists(QString::fromStdString(path)));
}

TEST_F(DocumentTest, ClosingStopsTheTransfersAndSavesTheOptions) {
  session().options().options().hitsPerPage = 77;
  keywords()->setText(QStringLiteral("held open"));
  QTest::mouseClick(child<QPushButton>("btnSubmit"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return collection().requests()[0]->isTransferring(); }));
  EXPECT_TRUE(QTest::qWaitFor([&] { return panelText(2) == "DL 1..."; }));
  EXPECT_TRUE(action("btnStop")->isEnabled());
  collection().setModified(false);
  EXPECT_TRUE(window().close());
  // The aborted client reports its end through the loop (what the request then says: see
  // the scheduler's stop-all test).
  EXPECT_TRUE(QTest::qWaitFor([&] { return !collection().requests()[0]->isTransferring(); }));
  EXPECT_EQ(storedOptions().hitsPerPage, 77);
}

TEST_F(DocumentTest, CtrlTabMovesThroughThePages) {
  // Shift last held in a consumed key click stays in the application's modifier state,
  // where it would turn later sends into "add only": the Shift case comes first.
  const std::tuple<int, Qt::Key, int> cases[] = {{2, Qt::Key_Backtab, 1}, {1, Qt::Key_Tab, 2}};
  for (const auto& [from, key, to] : cases) {
    showPage(from);
    QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : &window();
    const auto shift = key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier;
    QTest::keyClick(focus, key, Qt::ControlModifier | shift);
    EXPECT_EQ(currentPage(), to) << from << " " << key;
    EXPECT_EQ(child<QTabBar>("PageSwitch")->currentIndex(), to);
  }
}

// --- The command line (how it is read: see its own tests) ----------------------------------

class CommandLineTest : public DocumentTest {
 protected:
  std::string storedParameters(const std::string& keywords, const std::string& author) {
    Request query("");
    query.keywords = keywords;
    query.author = author;
    query.archive = 2;
    return buildQueryUrl(query, true, ServiceSettings());
  }
};

TEST_F(CommandLineTest, StoredQueryFillsThePanelWithRunIsSentAtOnceWithoutFieldsWarns) {
  startSession({"/Q:" + storedParameters("modem", "joe@example.com")});
  EXPECT_EQ(keywords()->text(), "modem");
  EXPECT_EQ(child<QLineEdit>("edAuthor")->text(), "joe@example.com");
  EXPECT_EQ(session().queriesPage().panel().cbxArchive->currentIndex(), 1);
  EXPECT_TRUE(collection().requests().empty());

  startSession({"/Q:RUN:" + storedParameters("sportster", "")});
  ASSERT_EQ(collection().requests().size(), 1u);
  EXPECT_EQ(collection().requests()[0]->keywords, "sportster");
  EXPECT_TRUE(QTest::qWaitFor([&] { return collection().requests()[0]->isTransferring(); }));

  startSession({"/Q:RUN:&QRY=modem&fromdate=someday"});
  EXPECT_EQ(prompts_.texts(), QStringList{"'someday' is not a valid date"});
  EXPECT_TRUE(collection().requests().empty());
}

TEST_F(CommandLineTest, CollectionPathOpensItAndFurtherWordsAreAddedAMissingOneWarns) {
  const std::string path = writeSampleFile("Upper.VNK");
  startSession({path, "extra"});
  EXPECT_EQ(document(), "Varnook - Upper.VNK* 2/2");
  EXPECT_EQ(collection().requests()[0]->name, "Saved query");
  EXPECT_EQ(collection().requests()[1]->keywords, "extra");
  EXPECT_FALSE(collection().requests()[1]->isTransferring());  // added, not sent

  const std::string missing = tempPath("missing.vnk");
  startSession({missing});
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].kind, Kind::Warning);
  EXPECT_EQ(prompts_.messages[0].text.toStdString(),
            "News collection \"" + missing + "\" not found");
  EXPECT_EQ(document(), "Varnook - no document 0/0");
}

}  // namespace
}  // namespace varnook::testing
