// The window when transfers fail: the load command within the transfer limit, downloads
// paused by an outage and resumed, and what a failed row and the log say.
#include <QRegularExpression>

#include "support/realservers.h"
#include "windowfixture.h"

namespace varnook::testing {
namespace {

QString statusCell(QTreeView* list, int row) {
  return list->model()->index(row, 3).data().toString();  // "Status"
}

TEST_F(WindowTest, LoadSelectedKeepsToTheLimitAndAnOutagePausesUntilResumed) {
  VnkOptions& options = session().options().options();
  options.maxRequests = 2;
  const std::string working = options.serviceDomain;
  options.serviceDomain = "0.0.1:" + std::to_string(freeLoopbackPort());  // refuses
  const std::string query = addRequest("modem").name;
  for (std::uint32_t n = 1; n <= 5; ++n) addArticle(n, "Subject", "a@b", query);
  showPage(1);
  action("mnuSelectAll")->trigger();
  QTest::keyClick(articles(), Qt::Key_Return);  // "Load selected"

  // Two start and are refused; the rest wait, paused, with the notice in the status bar.
  QLabel* paused = child<QLabel>("StatusPanelPaused");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !paused->isHidden(); }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return collection().articleTransfers() == 0; }));
  EXPECT_EQ(paused->text(), "Automatic download paused: Connection refused");
  EXPECT_EQ(statusCell(articles(), 0), "Errors! Connection refused (Error #10061)");
  EXPECT_EQ(statusCell(articles(), 2), "Queued");
  const QString log = child<QPlainTextEdit>("memoLog")->toPlainText();
  const QRegularExpression failureLine(
      QStringLiteral("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d Article A#1 \\(query \"modem\"\\) "
                     "failed: Connection refused$"),
      QRegularExpression::MultilineOption);
  EXPECT_TRUE(failureLine.match(log).hasMatch()) << log.toStdString();

  // Back again (the loopback server holds articles open): the refused ones are retried
  // first, two at a time.
  options.serviceDomain = working;
  action("mnuResumeDownloads")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return collection().articleTransfers() == 2; }));
  EXPECT_TRUE(paused->isHidden());
  EXPECT_TRUE(collection().articles()[0]->isTransferring());
  EXPECT_EQ(statusCell(articles(), 4), "Queued");
}

}  // namespace
}  // namespace varnook::testing
