// The desktop agent against the real archive server over HTTPS on loopback: the home site
// check asks about a newer version, a query sent from the panel walks its result pages, the
// articles download automatically two at a time, and the collection's export is read back
// by the archive's indexer.
#include <signal.h>

#include <QDir>
#include <QProcess>

#include "support/testcertificates.h"
#include "windowfixture.h"

namespace varnook::testing {
namespace {

constexpr int kMatching = 12;  // articles about the sportster; three result pages of five

class EndToEnd : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    // A news spool of synthetic articles: twelve about the sportster (with a body line an
    // mbox export has to quote), a few about other things.
    const QString root = temp_.path();
    QDir().mkpath(root + "/spool/comp/dcom/modems");
    for (int i = 1; i <= kMatching + 4; ++i) {
      QFile file(root + QStringLiteral("/spool/comp/dcom/modems/%1").arg(i));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      const QByteArray n = QByteArray::number(i);
      file.write("From: Writer " + n + " <writer" + n +
                 "@example.org>\nNewsgroups: " + "comp.dcom.modems\nSubject: " +
                 (i <= kMatching ? "Sportster question " : "Other topic ") + n + "\nDate: Mon, " +
                 n + " Mar 1993 10:00:00 GMT\nMessage-ID: <article" + n + "@example.org>\n\n" +
                 (i <= kMatching
                      ? "My sportster will not connect at 14400.\n"
                        "From the manual: AT&F1 first, see http://www.example.org/modems\n"
                      : "Nothing to see here.\n"));
    }
    QProcess index;
    index.start(VARNOOK_ARCHIVE_PROGRAM, {"index", "--db", root + "/index", root + "/spool"});
    ASSERT_TRUE(index.waitForFinished(60000));
    ASSERT_EQ(index.exitCode(), 0) << index.readAllStandardError().toStdString();
    QFile update(root + "/update.txt");
    ASSERT_TRUE(update.open(QIODevice::WriteOnly) && update.write("NewestVersion=99.00.00.00\n"));
    update.close();

    session().options().options().hitsPerPage = 5;
    session().options().options().maxRequests = 2;
  }
  void TearDown() override {
    WindowTest::TearDown();
    if (server_.state() != QProcess::NotRunning) {
      ::kill(static_cast<pid_t>(server_.processId()), SIGTERM);
      server_.waitForFinished(10000);
    }
  }
  // Serves the index over TLS with these certificate and key options; the port, 0 on failure.
  int serve(const QStringList& tls) {
    const QString root = temp_.path();
    server_.start(VARNOOK_ARCHIVE_PROGRAM,
                  QStringList{"serve", "--db", root + "/index", "--listen", "127.0.0.1:0",
                              "--update-info", root + "/update.txt"} +
                      tls);
    // The first line names the address it listens on.
    if (!QTest::qWaitFor([&] { return server_.canReadLine(); }, 20000)) return 0;
    const QString first = QString::fromUtf8(server_.readLine());
    const qsizetype at = first.indexOf("://127.0.0.1:");
    return at < 0 ? 0 : first.mid(at + 13).section('/', 0, 0).trimmed().toInt();
  }
  // Sends a query for the sportster from the panel, downloading automatically, and waits
  // until every article has arrived; the one question (the newer version) is declined.
  void searchAndDownload() {
    prompts_.answers = {UserPrompts::Answer::No};
    action("btnAuto")->trigger();
    child<QLineEdit>("edKeywords")->setFocus();
    QTest::keyClicks(child<QLineEdit>("edKeywords"), QStringLiteral("sportster"));
    QTest::mouseClick(child<QPushButton>("btnSubmit"), Qt::LeftButton);
    // The panels follow the counters through the loop.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !session().scheduler().busy() && panelText(4) == "12/12"; }, 60000))
        << "loaded " << collection().loadedArticles() << ", panel " << panelText(4).toStdString()
        << ", log:\n"
        << child<QPlainTextEdit>("memoLog")->toPlainText().toStdString();
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_TRUE(prompts_.messages[0].text.startsWith("A newer version of Varnook is available"));
  }
  QProcess server_;
};

// Saving and opening again: see the collection file's round trip and the document tests. A
// thread asked of the real archive server: see the batch run's thread test; the window's
// command and trees: see the thread tests. Plain HTTP through the window's event loop: every
// window test's loopback server.
TEST_F(EndToEnd, SearchPagesDownloadsShowsAndExportsOverHttps) {
  // The service host names the scheme, and the certificate of the archive comes from an
  // authority the options trust. Automatic download on (its limit of parallel transfers:
  // see the scheduler's tests); the query typed and sent from the panel. The home site
  // check before it asks about the newer version; the user declines.
  std::string error;
  const auto certificates = TestCertificates::make(&error);
  ASSERT_TRUE(certificates) << error;
  const int port = serve({"--tls-cert", QString::fromStdString(certificates->good().certificate),
                          "--tls-key", QString::fromStdString(certificates->good().key)});
  ASSERT_GT(port, 0) << server_.readAllStandardError().toStdString();
  useServer(port);
  VnkOptions& options = session().options().options();
  const std::string origin = "https://127.0.0.1:" + std::to_string(port);
  options.serviceHost = origin;
  options.homeSite = origin + "/varnook/update.txt";
  options.trustedCertificates = certificates->authority();
  searchAndDownload();

  ASSERT_EQ(collection().requests().size(), 1u);
  const Request& request = *collection().requests()[0];
  EXPECT_EQ(request.unique, kMatching);
  EXPECT_EQ(request.expectedTotal, kMatching);
  EXPECT_TRUE(request.hasState(kComplete));
  EXPECT_TRUE(
      child<QPlainTextEdit>("memoLog")->toPlainText().contains("total of 12 articles on 3 pages"));
  EXPECT_TRUE(panelText(5).isEmpty());
  EXPECT_FALSE(action("btnStop")->isEnabled());
  EXPECT_EQ(queries()->model()->rowCount(), 1);
  EXPECT_EQ(articles()->model()->rowCount(), kMatching);
  EXPECT_EQ(collection().articles()[0]->url.rfind(origin + "/[ST_rn=ps]/getdoc.xp?AN=", 0), 0u);

  EXPECT_EQ(collection().loadedArticles(), kMatching);
  answerFile(tempPath("e2e.mbox"));
  action("mnuExport")->trigger();
  QProcess index;
  index.setProcessChannelMode(QProcess::MergedChannels);
  index.start(VARNOOK_ARCHIVE_PROGRAM,
              {"index", "--db", temp_.filePath("exported"), temp_.filePath("e2e.mbox")});
  ASSERT_TRUE(index.waitForFinished(60000));
  const QString output = index.readAll();
  EXPECT_TRUE(output.contains("Indexed 12 new articles")) << output.toStdString();
}

}  // namespace
}  // namespace varnook::testing
