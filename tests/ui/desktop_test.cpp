// The window's ways out to the desktop as the window drives them: the text Ctrl+W searches
// for, the options dialog's OK and Cancel, the About box, and File > Export.
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <filesystem>

#include "base/xdgdirs.h"
#include "desktop/xdgsandbox.h"
#include "settings/optionsstore.h"
#include "ui/aboutdialog.h"
#include "ui/optionsdialog.h"
#include "windowfixture.h"

namespace varnook::testing {
namespace {

// A window whose desktop has a recording web browser.
class DesktopTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    sandbox_ = std::make_unique<XdgSandbox>();
    sandbox_->addRecorder("browser.desktop");
    sandbox_->setDefault("x-scheme-handler/https", "browser.desktop");
    sandbox_->setDefault("x-scheme-handler/http", "browser.desktop");
    startSession();  // the window takes the folders of the sandbox
  }
  void TearDown() override {
    WindowTest::TearDown();
    sandbox_.reset();
  }
  // The URL the browser was started with; forgotten for the next start.
  std::string browsedUrl() {
    const auto args = sandbox_->waitForRecord("browser.desktop");
    std::filesystem::remove(sandbox_->root + "/records/browser.desktop.args");
    return args && !args->empty() ? args->back() : std::string("<browser not started>");
  }
  std::unique_ptr<XdgSandbox> sandbox_;
};

TEST_F(DesktopTest, CtrlWSearchesTheQuerySubjectWithoutReplyPrefixesTheEditSelectionOrNothing) {
  Request& request = addRequest("   ");
  request.subject = "Re: Modem";
  clickRow(queries(), 0);
  QTest::keyClick(queries(), Qt::Key_W, Qt::ControlModifier);
  std::string url = browsedUrl();
  EXPECT_NE(url.find("q=Modem"), std::string::npos) << url;
  EXPECT_EQ(url.find("Re"), std::string::npos) << url;

  QLineEdit* subject = child<QLineEdit>("edSubject");
  subject->setText(QStringLiteral("usr sportster modem"));
  subject->setFocus();
  subject->setSelection(4, 9);
  QTest::keyClick(subject, Qt::Key_W, Qt::ControlModifier);
  url = browsedUrl();
  EXPECT_EQ(url.substr(url.find("q=")), "q=sportster") << url;

  window().log("a log line");
  showPage(2);
  child<QPlainTextEdit>("memoLog")->setFocus();
  QTest::keyClick(child<QPlainTextEdit>("memoLog"), Qt::Key_W, Qt::ControlModifier);
  url = browsedUrl();
  EXPECT_EQ(url.substr(url.size() - 2), "q=") << url;
}

TEST_F(DesktopTest, OptionsOkSavesAndAppliesCancelChangesNothing) {
  const int before = session().options().options().maxRequests;
  prompts_.onDialog = [](QDialog& dialog) {
    static_cast<OptionsDialog&>(dialog).valMaxTranfers->setValue(9);
    return QDialog::Rejected;
  };
  action("mnuOptions")->trigger();
  EXPECT_EQ(prompts_.dialogsShown, 1);
  EXPECT_EQ(session().options().options().maxRequests, before);

  prompts_.onDialog = [](QDialog& dialog) {
    static_cast<OptionsDialog&>(dialog).valMaxTranfers->setValue(9);
    dialog.accept();
    return QDialog::Accepted;
  };
  action("mnuOptions")->trigger();
  EXPECT_EQ(session().options().options().maxRequests, 9);
  OptionsStore stored;
  stored.setStorageMode(StorageMode::orgRegistry);
  stored.load();
  EXPECT_EQ(stored.options().maxRequests, 9);
}

TEST_F(DesktopTest, AboutBoxAndExport) {
  prompts_.onDialog = [](QDialog& dialog) {
    EXPECT_NE(qobject_cast<AboutDialog*>(&dialog), nullptr);
    return QDialog::Accepted;
  };
  action("mnuAbout")->trigger();
  EXPECT_EQ(prompts_.dialogsShown, 1);

  addArticle(1, "Loaded", "a@b", "", "The body.\r\n");
  addArticle(2, "Not loaded");
  const std::string path = tempPath("export.mbox");
  prompts_.fileNames.push_back(QString::fromStdString(path));
  action("mnuExport")->trigger();
  QFile exported(QString::fromStdString(path));
  ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
  const QByteArray bytes = exported.readAll();
  EXPECT_TRUE(bytes.startsWith("From "));
  EXPECT_TRUE(bytes.contains("The body."));
  EXPECT_FALSE(bytes.contains("Not loaded"));
  EXPECT_EQ(window().messagePanelText(), "Articles exported: 1");
}

}  // namespace
}  // namespace varnook::testing
