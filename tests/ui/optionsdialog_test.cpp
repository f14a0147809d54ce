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
#include <utility>

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

TEST(OptionsDialog, OkWritesEveryControlBackAndNumbersWithinTheirBounds) {
  VnkOptions options = testOptions();
  options.trustedCertificates = "/srv/a.pem";
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
      {dialog.edTrustedCertificates, &VnkOptions::trustedCertificates},
  };
  // Browse starts from the field's text and fills it; cancelled, the field keeps its text.
  QStringList asked;
  std::optional<QString> answer = "/srv/b.pem";
  dialog.chooseFile = [&](const QString& initial, QWidget*) {
    asked << initial;
    return std::exchange(answer, std::nullopt);
  };
  for (int click = 0; click < 2; ++click) dialog.btnBrowseCertificates->click();
  EXPECT_EQ(asked, QStringList({"/srv/a.pem", "/srv/b.pem"}));
  for (std::size_t i = 0; i < std::size(texts); ++i)
    texts[i].first->setText(QString("text %1").arg(i));
  dialog.optFirstServer->setChecked(true);
  dialog.chkProxy->click();
  for (QCheckBox* box :
       {dialog.chkHighlightURLs, dialog.chkCitations, dialog.chkKeywords, dialog.chkLoadOnSelect})
    box->setChecked(false);
  const std::tuple<QSpinBox*, QString, int> numbers[] = {
      {dialog.valHitsPerPage, "", 10},     {dialog.valHitsPerPage, "5", 10},
      {dialog.valMaxTranfers, "0", 1},     {dialog.valMaxTranfers, "", 1},
      {dialog.valMaxTranfers, "100", 100}, {dialog.valHitsPerPage, "999", 200}};
  for (const auto& [field, typed, expected] : numbers) {
    field->findChild<QLineEdit*>()->setText(typed);
    EXPECT_EQ(numberFieldValue(field), expected) << typed.toStdString();
  }
  QTest::mouseClick(dialog.btnOK, Qt::LeftButton);

  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  for (std::size_t i = 0; i < std::size(texts); ++i)
    EXPECT_EQ(options.*texts[i].second, "text " + std::to_string(i)) << i;
  EXPECT_FALSE(options.multiHost);
  EXPECT_EQ(options.hitsPerPage, 200);
  EXPECT_EQ(options.maxRequests, 100);
  EXPECT_TRUE(options.useProxy);
  EXPECT_FALSE(options.highLightLinks || options.highLightQuotes || options.highLightKW ||
               options.loadOnSelect);
  EXPECT_EQ(options.articleFont, testOptions().articleFont);  // the font was not touched
}

TEST(OptionsDialog, ColourListFollowsTheHighlightsAtOpeningAndChoicesReachTheOptions) {
  VnkOptions options = testOptions();
  options.highLightQuotes = false;
  OptionsDialog dialog(options);
  EXPECT_EQ(colorList(dialog), QStringList({"Article text", "Link color", "Found keywords"}));
  EXPECT_EQ(dialog.cbxColor->currentIndex(), 0);
  dialog.chkCitations->setChecked(true);  // built once: no change until the next opening
  EXPECT_EQ(colorList(dialog).size(), 3);

  // Each entry opens the chooser at its colour; cancelled, it changes nothing.
  QList<QColor> initial;
  const std::pair<int, std::optional<QColor>> picks[] = {
      {1, QColor(0x12, 0x34, 0x56)}, {0, QColor(0x20, 0x40, 0x60)}, {2, std::nullopt}};
  for (const auto& [entry, picked] : picks) {
    dialog.chooseColor = [&initial, picked = picked](const QColor& at, QWidget*) {
      initial << at;
      return picked;
    };
    dialog.cbxColor->setCurrentIndex(entry);
    dialog.btnSetColor->click();
  }
  EXPECT_EQ(initial, (QList<QColor>{Qt::darkBlue, Qt::black, Qt::red}));
  dialog.chooseFont = [](const QFont&, QWidget*) -> std::optional<QFont> {
    QFont font("DejaVu Serif");
    font.setPixelSize(21);
    font.setItalic(true);
    return font;
  };
  dialog.btnSetFont->click();
  dialog.accept();
  EXPECT_EQ(options.linkColor, 0x563412u);
  EXPECT_EQ(options.articleFont.color, 0x604020u);
  EXPECT_EQ(options.articleFont.name, "DejaVu Serif");
  EXPECT_EQ(options.articleFont.height, -21);
  EXPECT_EQ(options.articleFont.style, fsItalic);
  EXPECT_EQ(options.keywordColor, testOptions().keywordColor);
}

// The sample on the viewer page shows the working colours and highlights at once.
TEST(OptionsDialog, SampleShowsTheWorkingColoursLive) {
  VnkOptions options = testOptions();
  OptionsDialog dialog(options);
  dialog.pages->setCurrentIndex(2);
  dialog.resize(640, 480);
  dialog.show();
  // Red pixels in the sample: only its "found keywords" are red.
  const auto redPixels = [&] {
    QApplication::processEvents();
    const QImage image =
        dialog.cmSample->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == qRgb(255, 0, 0);
    return n;
  };
  EXPECT_GT(redPixels(), 0);
  dialog.chkKeywords->click();  // keywords now look like article text
  EXPECT_EQ(redPixels(), 0);
}

}  // namespace
}  // namespace varnook
