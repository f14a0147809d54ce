#include "ui/optionsdialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>

#include "ui/colormemo.h"

namespace varnook {
namespace {

VnkOptions testOptions() {
  VnkOptions options;
  options.articleFont.name = "DejaVu Sans";
  options.articleFont.height = -16;
  options.articleFont.color = clBlack;
  return options;
}

QStringList colorList(const OptionsDialog& dialog) {
  QStringList items;
  for (int i = 0; i < dialog.cbxColor->count(); ++i) items << dialog.cbxColor->itemText(i);
  return items;
}

TEST(OptionsDialog, OkWritesEveryControlBack) {
  VnkOptions options = testOptions();
  OptionsDialog dialog(options);
  EXPECT_EQ(dialog.edServers->text(), "www,x1,x2,x3,x4,x5,x6,x7,x8,x9,x10,x11,x12,x13,x14,x15");
  EXPECT_TRUE(dialog.optRotateServers->isChecked());
  EXPECT_EQ(dialog.edProxyPwd->echoMode(), QLineEdit::Password);
  const std::pair<QLineEdit*, std::string VnkOptions::*> texts[] = {
      {dialog.edServers, &VnkOptions::hostList},
      {dialog.edServiceHost, &VnkOptions::serviceHost},
      {dialog.edServiceDomain, &VnkOptions::serviceDomain},
      {dialog.edHomeSite, &VnkOptions::homeSite},
      {dialog.edProxy, &VnkOptions::proxyURL},
      {dialog.edProxyPort, &VnkOptions::proxyPort},  // not checked as a number
      {dialog.edProxyLogin, &VnkOptions::proxyUser},
      {dialog.edProxyPwd, &VnkOptions::proxyPWD},
  };
  for (std::size_t i = 0; i < std::size(texts); ++i)
    texts[i].first->setText(QString("text %1").arg(i));
  dialog.optFirstServer->setChecked(true);
  dialog.valHitsPerPage->setValue(120);
  dialog.valMaxTranfers->setValue(9);
  dialog.chkProxy->setChecked(true);
  for (QCheckBox* box : {dialog.chkHighlightURLs, dialog.chkCitations, dialog.chkKeywords})
    box->setChecked(false);
  QTest::mouseClick(dialog.btnOK, Qt::LeftButton);

  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  for (std::size_t i = 0; i < std::size(texts); ++i)
    EXPECT_EQ(options.*texts[i].second, "text " + std::to_string(i)) << i;
  EXPECT_FALSE(options.multiHost);
  EXPECT_EQ(options.hitsPerPage, 120);
  EXPECT_EQ(options.maxRequests, 9);
  EXPECT_TRUE(options.useProxy);
  EXPECT_FALSE(options.highLightLinks);
  EXPECT_FALSE(options.highLightQuotes);
  EXPECT_FALSE(options.highLightKW);
  EXPECT_EQ(options.articleFont, testOptions().articleFont);  // the font was not touched
}

TEST(OptionsDialog, CancelChangesNothing) {
  VnkOptions options = testOptions();
  options.useProxy = true;
  OptionsDialog dialog(options);
  dialog.chooseColor = [](const QColor&, QWidget*) { return QColor(1, 2, 3); };
  dialog.chooseFont = [](const QFont&, QWidget*) { return QFont("DejaVu Serif", 30); };
  dialog.edServers->setText("changed");
  dialog.chkProxy->setChecked(false);
  dialog.btnSetColor->click();
  dialog.btnSetFont->click();
  EXPECT_NE(dialog.workingColor(0), clBlack);
  QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  VnkOptions expected = testOptions();
  expected.useProxy = true;
  EXPECT_EQ(options, expected);
}

TEST(OptionsDialog, ProxyPanelFollowsItsBoxAtOnce) {
  VnkOptions options = testOptions();
  OptionsDialog dialog(options);
  EXPECT_FALSE(dialog.pnlProxy->isEnabled());
  dialog.chkProxy->click();
  EXPECT_TRUE(dialog.pnlProxy->isEnabled());
  dialog.edProxy->setText("proxy.test");
  dialog.chkProxy->click();
  EXPECT_FALSE(dialog.pnlProxy->isEnabled());
  dialog.accept();
  EXPECT_FALSE(options.useProxy);
  EXPECT_EQ(options.proxyURL, "proxy.test");
}

TEST(OptionsDialog, NumberFieldsKeepToTheirBounds) {
  VnkOptions options = testOptions();
  OptionsDialog dialog(options);
  struct Case {
    QSpinBox* field;
    QString typed;
    int expected;
  };
  const Case cases[] = {
      {dialog.valHitsPerPage, "", 10},     {dialog.valHitsPerPage, "5", 10},
      {dialog.valHitsPerPage, "999", 200}, {dialog.valMaxTranfers, "0", 1},
      {dialog.valMaxTranfers, "", 1},      {dialog.valMaxTranfers, "100", 100},
  };
  for (const auto& c : cases) {
    c.field->findChild<QLineEdit*>()->setText(c.typed);
    EXPECT_EQ(numberFieldValue(c.field), c.expected) << c.typed.toStdString();
  }
  dialog.valHitsPerPage->findChild<QLineEdit*>()->setText("");
  dialog.valMaxTranfers->findChild<QLineEdit*>()->setText("");
  dialog.accept();
  EXPECT_EQ(options.hitsPerPage, 10);
  EXPECT_EQ(options.maxRequests, 1);
}

TEST(OptionsDialog, BuildsTheColourListOnce) {
  VnkOptions options = testOptions();
  options.highLightQuotes = false;
  OptionsDialog dialog(options);
  EXPECT_EQ(colorList(dialog), QStringList({"Article text", "Link color", "Found keywords"}));
  EXPECT_EQ(dialog.cbxColor->currentIndex(), 0);
  EXPECT_TRUE(dialog.btnSetColor->isEnabled());
  dialog.chkCitations->setChecked(true);
  EXPECT_EQ(colorList(dialog).size(), 3);

  options.highLightQuotes = true;
  options.highLightKW = false;
  options.highLightLinks = false;
  OptionsDialog again(options);
  EXPECT_EQ(colorList(again), QStringList({"Article text", "Quotations (>)", "Quotations (>>)",
                                           "Quotations (>>>)", "Quotations (>>>>)"}));
  EXPECT_FALSE(again.chkUnderline->isEnabled());
  again.chkHighlightURLs->click();
  EXPECT_TRUE(again.chkUnderline->isEnabled());
}

TEST(OptionsDialog, ColourAndFontChoicesReachTheOptions) {
  VnkOptions options = testOptions();
  OptionsDialog dialog(options);
  dialog.chooseColor = [](const QColor& initial, QWidget*) -> std::optional<QColor> {
    EXPECT_EQ(initial, QColor(0, 0, 128));  // the link colour, clNavy
    return QColor(0x12, 0x34, 0x56);
  };
  dialog.cbxColor->setCurrentIndex(dialog.cbxColor->findText("Link color"));
  dialog.btnSetColor->click();
  dialog.chooseColor = [](const QColor&, QWidget*) -> std::optional<QColor> {
    return QColor(0x20, 0x40, 0x60);
  };
  dialog.cbxColor->setCurrentIndex(0);
  dialog.btnSetColor->click();
  dialog.chooseFont = [](const QFont&, QWidget*) -> std::optional<QFont> {
    QFont font("DejaVu Serif");
    font.setPixelSize(21);
    font.setItalic(true);
    return font;
  };
  dialog.btnSetFont->click();
  dialog.chooseColor = [](const QColor&, QWidget*) -> std::optional<QColor> { return {}; };
  dialog.cbxColor->setCurrentIndex(dialog.cbxColor->findText("Quotations (>)"));
  dialog.btnSetColor->click();  // cancelled: nothing changes
  dialog.accept();
  EXPECT_EQ(options.linkColor, 0x563412u);
  EXPECT_EQ(options.articleFont.color, 0x604020u);
  EXPECT_EQ(options.articleFont.name, "DejaVu Serif");
  EXPECT_EQ(options.articleFont.height, -21);
  EXPECT_EQ(options.articleFont.style, fsItalic);
  EXPECT_EQ(options.colorG, 0x404040u);
}

class OptionsSampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog = std::make_unique<OptionsDialog>(options);
    dialog->pages->setCurrentIndex(2);
    dialog->resize(640, 480);
    dialog->show();
    QPalette p = dialog->cmSample->palette();
    p.setColor(QPalette::Base, Qt::white);
    dialog->cmSample->setPalette(p);
    QApplication::processEvents();
  }

  QImage shot() {
    QApplication::processEvents();
    return dialog->cmSample->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  }
  // The viewport rectangle of one line of the sample.
  QRect lineRect(int line) {
    const QTextBlock block = dialog->cmSample->document()->findBlockByNumber(line);
    QTextCursor cursor(block);
    const QRect start = dialog->cmSample->cursorRect(cursor);
    cursor.movePosition(QTextCursor::EndOfBlock);
    const QRect end = dialog->cmSample->cursorRect(cursor);
    return QRect(QPoint(start.left(), start.top()), QPoint(end.left(), end.bottom()));
  }
  static int count(const QImage& image, const QRect& rect, QRgb color) {
    int n = 0;
    for (int y = std::max(rect.top(), 0); y <= std::min(rect.bottom(), image.height() - 1); ++y) {
      for (int x = std::max(rect.left(), 0); x <= std::min(rect.right(), image.width() - 1); ++x) {
        n += image.pixel(x, y) == color;
      }
    }
    return n;
  }

  VnkOptions options = testOptions();
  std::unique_ptr<OptionsDialog> dialog;
  const QRgb red = qRgb(255, 0, 0);
  const QRgb navy = qRgb(0, 0, 128);
  const QRgb green = qRgb(0, 128, 0);
};

TEST_F(OptionsSampleTest, ShowsTheWorkingColoursLive) {
  QImage image = shot();
  EXPECT_GT(count(image, lineRect(0), red), 0);    // "found keywords"
  EXPECT_GT(count(image, lineRect(2), green), 0);  // ">>" in clGreen
  EXPECT_GT(count(image, lineRect(5), navy), 0);   // the links
  EXPECT_EQ(count(image, lineRect(2), red), 0);

  dialog->chkKeywords->click();  // keywords now look like article text
  image = shot();
  EXPECT_EQ(count(image, lineRect(0), red), 0);
  dialog->chkCitations->click();
  image = shot();
  EXPECT_EQ(count(image, lineRect(2), green), 0);
  dialog->chkHighlightURLs->click();
  image = shot();
  EXPECT_EQ(count(image, lineRect(5), navy), 0);

  dialog->chooseColor = [](const QColor&, QWidget*) -> std::optional<QColor> {
    return QColor(255, 0, 255);
  };
  dialog->cbxColor->setCurrentIndex(0);  // article text
  dialog->btnSetColor->click();
  image = shot();
  EXPECT_GT(count(image, lineRect(0), qRgb(255, 0, 255)), 0);
  EXPECT_GT(count(image, lineRect(2), qRgb(255, 0, 255)), 0);
}

}  // namespace
}  // namespace varnook
