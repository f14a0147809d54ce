#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>
#include <array>
#include <functional>
#include <optional>

#include "settings/color.h"
#include "settings/vnkoptions.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QWidget;

namespace varnook {

class ColorMemo;

// A font as the options store keeps it: the family, the character height in pixels (as a
// negative height), the style bits and the pitch. Charset and colour come from `base`.
FontSpec fontSpecFromQFont(const QFont& font, const FontSpec& base);

// "Varnook Options": the program options on three pages ("QuenNews", "Connection",
// "Article Viewer") with a live sample of the article view. The dialog works on copies:
// OK (accept) writes every control back into the options it was given; Cancel or closing
// it changes nothing. The caller then saves and applies the options.
class OptionsDialog : public QDialog {
  Q_OBJECT

 public:
  // Fills the controls from `options`, which must outlive the dialog.
  explicit OptionsDialog(VnkOptions& options, QWidget* parent = nullptr);

  // The colour and font dialogs; tests put in their own answers. Nothing means cancelled.
  std::function<std::optional<QColor>(const QColor& initial, QWidget* parent)> chooseColor;
  std::function<std::optional<QFont>(const QFont& initial, QWidget* parent)> chooseFont;
  // The file dialog behind "Browse..." for the trusted certificates.
  std::function<std::optional<QString>(const QString& initial, QWidget* parent)> chooseFile;

  // Writes the controls into the options (what OK does before the dialog closes).
  void writeOptions(VnkOptions& options) const;

  // The working colours: 0 article text, 1 found keywords, 2 links, 3 to 6 quotation
  // levels 1 to 4.
  Color workingColor(int index) const { return colors_[static_cast<std::size_t>(index)]; }

  void accept() override;

  QTabWidget* pages;
  // "QuenNews"
  QLineEdit* edServers;
  QRadioButton* optFirstServer;
  QRadioButton* optRotateServers;
  QSpinBox* valHitsPerPage;
  QSpinBox* valMaxTranfers;
  QLineEdit* edServiceHost;
  QLineEdit* edServiceDomain;
  QLineEdit* edHomeSite;
  // "Connection"
  QCheckBox* chkProxy;
  QWidget* pnlProxy;
  QLineEdit* edProxy;
  QLineEdit* edProxyPort;
  QLineEdit* edProxyLogin;
  QLineEdit* edProxyPwd;
  QLineEdit* edTrustedCertificates;
  QPushButton* btnBrowseCertificates;
  QSpinBox* valTransferTimeout;
  // "Article Viewer"
  QComboBox* cbxColor;
  QPushButton* btnSetColor;
  QPushButton* btnSetFont;
  ColorMemo* cmSample;
  QCheckBox* chkHighlightURLs;
  QCheckBox* chkUnderline;
  QCheckBox* chkCitations;
  QCheckBox* chkKeywords;
  QCheckBox* chkLoadOnSelect;
  QPushButton* btnOK;
  QPushButton* btnCancel;

 private:
  QWidget* buildServicePage();
  QWidget* buildConnectionPage();
  QWidget* buildViewerPage();
  void fill(const VnkOptions& options);
  void buildColorList();
  void refreshSample();
  void btnSetColorClick();
  void btnSetFontClick();

  VnkOptions& options_;
  FontSpec sampleFont_;
  std::array<Color, 7> colors_{};
};

// The value of a number field: its text read as a number and brought into the field's
// range; a text that is no number gives the lower bound.
int numberFieldValue(const QSpinBox* field);

}  // namespace varnook
