// The desktop agent against the real archive server on loopback: a query sent from the
// panel walks its result pages, the articles download automatically two at a time, one is
// shown in the viewer, the collection is saved, opened again and compared.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include "collection/collectionfile.h"
#include "transfer/scheduler.h"
#include "ui/colormemo.h"
#include "windowfixture.h"

namespace varnook::testing {
namespace {

constexpr int kMatching = 12;  // articles about the sportster; three result pages of five

// A news spool of synthetic articles: twelve about the sportster, a few about other things.
void writeSpool(const QString& folder) {
  QDir().mkpath(folder + QStringLiteral("/comp/dcom/modems"));
  for (int i = 1; i <= kMatching + 4; ++i) {
    const bool matching = i <= kMatching;
    QFile file(folder + QStringLiteral("/comp/dcom/modems/%1").arg(i));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray number = QByteArray::number(i);
    file.write("From: Writer " + number + " <writer" + number +
               "@example.org>\n"
               "Newsgroups: comp.dcom.modems\n"
               "Subject: " +
               (matching ? "Sportster question " : "Other topic ") + number +
               "\n"
               "Date: Mon, " +
               number +
               " Mar 1993 10:00:00 GMT\n"
               "Message-ID: <article" +
               number +
               "@example.org>\n"
               "\n" +
               (matching ? "My sportster will not connect at 14400.\n"
                           "> Try AT&F1 first, see http://www.example.org/modems\n"
                         : "Nothing to see here.\n") +
               "Line number " + number + " of the body.\n");
  }
}

class EndToEnd : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    const QString root = temp_.path();
    writeSpool(root + QStringLiteral("/spool"));
    QProcess index;
    index.start(QStringLiteral(VARNOOK_ARCHIVE_PROGRAM),
                {QStringLiteral("index"), QStringLiteral("--db"), root + QStringLiteral("/index"),
                 root + QStringLiteral("/spool")});
    ASSERT_TRUE(index.waitForFinished(60000));
    ASSERT_EQ(index.exitCode(), 0) << index.readAllStandardError().toStdString();

    QFile update(root + QStringLiteral("/update.txt"));
    ASSERT_TRUE(update.open(QIODevice::WriteOnly));
    update.write("NewestVersion=0.00.00.01\n");
    update.close();
    server_.setProcessChannelMode(QProcess::SeparateChannels);
    server_.start(QStringLiteral(VARNOOK_ARCHIVE_PROGRAM),
                  {QStringLiteral("serve"), QStringLiteral("--db"), root + QStringLiteral("/index"),
                   QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                   QStringLiteral("--update-info"), root + QStringLiteral("/update.txt")});
    ASSERT_TRUE(server_.waitForStarted(10000));
    // The first line names the address it listens on.
    ASSERT_TRUE(waitFor([&] { return server_.canReadLine(); }, 20000))
        << server_.readAllStandardError().toStdString();
    const QString first = QString::fromUtf8(server_.readLine());
    const qsizetype at = first.indexOf(QStringLiteral("http://127.0.0.1:"));
    ASSERT_GE(at, 0) << first.toStdString();
    port_ = first.mid(at + 17).section(QLatin1Char('/'), 0, 0).trimmed().toInt();
    ASSERT_GT(port_, 0);

    useServer(port_);
    VnkOptions& options = session().options().options();
    options.hitsPerPage = 5;
    options.maxRequests = 2;
  }
  void TearDown() override {
    WindowTest::TearDown();
    if (server_.state() != QProcess::NotRunning) {
      ::kill(static_cast<pid_t>(server_.processId()), SIGTERM);
      server_.waitForFinished(10000);
    }
  }
  QProcess server_;
  int port_ = 0;
};

TEST_F(EndToEnd, SearchPagesDownloadsShowsSavesAndReopens) {
  // Automatic download on, two at a time; the query typed and sent from the panel.
  action("btnAuto")->trigger();
  child<QLineEdit>("edKeywords")->setFocus();
  QTest::keyClicks(child<QLineEdit>("edKeywords"), QStringLiteral("sportster"));
  QTest::mouseClick(child<QPushButton>("btnSubmit"), Qt::LeftButton);

  int mostRunning = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout,
                   [&] { mostRunning = std::max(mostRunning, collection().articleTransfers); });
  watch.start(1);
  ASSERT_TRUE(waitFor(
      [&] { return collection().loadedArticles == kMatching && !session().scheduler().busy(); },
      60000))
      << "loaded " << collection().loadedArticles << ", request status "
      << (collection().requests().empty() ? "-" : collection().requests()[0]->status()) << " url "
      << (collection().requests().empty() ? "-" : collection().requests()[0]->url) << ", log:\n"
      << child<QPlainTextEdit>("memoLog")->toPlainText().toStdString();
  watch.stop();
  EXPECT_LE(mostRunning, 2);
  EXPECT_GE(mostRunning, 1);

  ASSERT_EQ(collection().requests().size(), 1u);
  const Request& request = *collection().requests()[0];
  EXPECT_EQ(request.pages, 3);
  EXPECT_EQ(request.articles, kMatching);
  EXPECT_EQ(request.unique, kMatching);
  EXPECT_EQ(request.expectedTotal, kMatching);
  EXPECT_TRUE(request.hasState(kComplete));
  const QString log = child<QPlainTextEdit>("memoLog")->toPlainText();
  EXPECT_TRUE(log.contains("Page 1 of "));
  EXPECT_TRUE(log.contains("total of 12 articles on 3 pages")) << log.toStdString();
  EXPECT_EQ(panelText(4), "12/12");
  EXPECT_TRUE(panelText(5).isEmpty());
  EXPECT_FALSE(action("btnStop")->isEnabled());

  // One article in the viewer: header labels, body, the link marked, keywords from its query.
  showPage(1);
  clickRow(articles(), 2);
  const Article* shown = window().shownItem();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(child<QLabel>("lblSubject")->text().toStdString(), shown->subject);
  EXPECT_EQ(child<QLabel>("lblForum")->text(), "comp.dcom.modems");
  const std::string& viewed = child<ColorMemo>("ArtView")->text();
  EXPECT_NE(viewed.find("My sportster will not connect"), std::string::npos) << viewed;
  EXPECT_NE(viewed.find("\x1Ehttp://www.example.org/modems\x1F"), std::string::npos);
  EXPECT_TRUE(action("btnReplyAuthor")->isEnabled());

  // Saved, opened again: the same collection.
  const std::string path = tempPath("e2e.vnk");
  answerFile(path);
  action("mnuSaveAs")->trigger();
  ASSERT_FALSE(collection().modified());
  const std::string saved = writeCollection(collection());  // numbers, headers and texts
  const std::string requestName = request.name;

  answerFile(path);
  action("mnuOpen")->trigger();
  EXPECT_EQ(window().windowTitle(), "Varnook - e2e.vnk");
  ASSERT_EQ(collection().requests().size(), 1u);
  EXPECT_EQ(collection().requests()[0]->name, requestName);
  EXPECT_EQ(collection().requests()[0]->keywords, "sportster");
  EXPECT_EQ(collection().articles().size(), static_cast<std::size_t>(kMatching));
  EXPECT_EQ(collection().loadedArticles, kMatching);
  EXPECT_EQ(writeCollection(collection()), saved);
}

}  // namespace
}  // namespace varnook::testing
