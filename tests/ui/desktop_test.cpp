// The window's ways out to the desktop as the window drives them: the text Ctrl+W searches
// for, and the options dialog's OK and Cancel (File > Export: see the end-to-end test).
#include <QSpinBox>

#include "desktop/xdgsandbox.h"
#include "ui/optionsdialog.h"
#include "windowfixture.h"

namespace varnook::testing {
namespace {

// A window on a desktop of its own, which has a recording web browser.
class DesktopTest : public WindowTest {
 protected:
  void SetUp() override {
    sandbox_.addHandler("browser.desktop", {"x-scheme-handler/https", "x-scheme-handler/http"});
    WindowTest::SetUp();
  }
  // What follows "q=" in the URL the browser was started with.
  std::string searchedFor() {
    const auto args = sandbox_.waitForRecord("browser.desktop");
    const std::string url = args && !args->empty() ? args->back() : "<browser not started>";
    return url.find("q=") == std::string::npos ? url : url.substr(url.find("q=") + 2);
  }
  XdgSandbox sandbox_;
};

TEST_F(DesktopTest, CtrlWSearchesTheQuerySubjectWithoutReplyPrefixesTheEditSelectionOrNothing) {
  addRequest("   ").subject = "Re: Modem";
  clickRow(queries(), 0);
  QTest::keyClick(queries(), Qt::Key_W, Qt::ControlModifier);
  EXPECT_EQ(searchedFor(), "Modem");

  QLineEdit* subject = child<QLineEdit>("edSubject");
  subject->setText(QStringLiteral("usr sportster modem"));
  subject->setFocus();
  subject->setSelection(4, 9);
  QTest::keyClick(subject, Qt::Key_W, Qt::ControlModifier);
  EXPECT_EQ(searchedFor(), "sportster");

  appendLog("a log line");
  showPage(2);
  child<QPlainTextEdit>("memoLog")->setFocus();
  QTest::keyClick(child<QPlainTextEdit>("memoLog"), Qt::Key_W, Qt::ControlModifier);
  EXPECT_EQ(searchedFor(), "");
}

TEST_F(DesktopTest, OptionsOkSavesAndAppliesCancelChangesNothing) {
  const VnkOptions before = session().options().options();
  for (const int result : {QDialog::Rejected, QDialog::Accepted}) {
    prompts_.onDialog = [result](QDialog& dialog) {
      static_cast<OptionsDialog&>(dialog).valMaxTranfers->setValue(9);
      static_cast<OptionsDialog&>(dialog).valTransferTimeout->setValue(45);
      if (result == QDialog::Accepted) dialog.accept();
      return result;
    };
    action("mnuOptions")->trigger();
    const VnkOptions& now = session().options().options();
    EXPECT_EQ(std::tuple(now.maxRequests, now.transferTimeout),
              result ? std::tuple(9, 45) : std::tuple(before.maxRequests, before.transferTimeout));
  }
  EXPECT_EQ(prompts_.dialogsShown, 2);
  EXPECT_EQ(std::tuple(storedOptions().maxRequests, storedOptions().transferTimeout),
            std::tuple(9, 45));
}

}  // namespace
}  // namespace varnook::testing
