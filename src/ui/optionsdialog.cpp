#include "ui/optionsdialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>

#include "ui/colormemo.h"
#include "viewer/articlerules.h"
#include "viewer/colorrule.h"

namespace varnook {

namespace {

QString fromBytes(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toBytes(const QString& text) {
  return text.toUtf8().toStdString();
}

Color fromQColor(const QColor& color) {
  return static_cast<Color>(color.red()) | (static_cast<Color>(color.green()) << 8) |
         (static_cast<Color>(color.blue()) << 16);
}

template <typename T>
T* named(T* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

QSpinBox* numberField(const char* name, int low, int high, QWidget* parent) {
  auto* field = named(new QSpinBox(parent), name);
  field->setRange(low, high);
  field->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  field->setKeyboardTracking(false);
  field->setMinimumWidth(80);
  // Leaving the field brings its text into the range (or to the lower bound when it is no
  // number), so what the user sees is what OK stores.
  QObject::connect(field, &QSpinBox::editingFinished, field,
                   [field] { field->setValue(numberFieldValue(field)); });
  return field;
}

const char* const kSampleText =
    "Font sample font sample, found keywords\n"
    "> citation citation citation citation citation citation\n"
    ">> citation citation citation citation citation citation\n"
    ">>> citation citation citation citation citation citation\n"
    ">>>> citation citation citation citation citation citation\n"
    "URLs and emails: <http://www.example.com/> <user@example.com>";

}  // namespace

FontSpec fontSpecFromQFont(const QFont& font, const FontSpec& base) {
  FontSpec spec = base;
  spec.name = toBytes(font.family());
  int pixels = font.pixelSize();
  if (pixels <= 0) pixels = static_cast<int>(std::lround(font.pointSizeF() * 96.0 / 72.0));
  spec.height = -std::max(pixels, 1);
  spec.style = static_cast<std::uint8_t>(
      (font.bold() ? fsBold : 0) | (font.italic() ? fsItalic : 0) |
      (font.underline() ? fsUnderline : 0) | (font.strikeOut() ? fsStrikeOut : 0));
  spec.pitch = font.fixedPitch()
                   ? FontPitch::fpFixed
                   : (base.pitch == FontPitch::fpFixed ? FontPitch::fpDefault : base.pitch);
  return spec;
}

int numberFieldValue(const QSpinBox* field) {
  bool ok = false;
  const qlonglong value = field->cleanText().trimmed().toLongLong(&ok);
  if (!ok) return field->minimum();
  return static_cast<int>(std::clamp<qlonglong>(value, field->minimum(), field->maximum()));
}

OptionsDialog::OptionsDialog(VnkOptions& options, QWidget* parent)
    : QDialog(parent), options_(options) {
  setObjectName(QStringLiteral("OptionDlg"));
  setWindowTitle(QStringLiteral("Varnook Options"));
  chooseColor = [](const QColor& initial, QWidget* owner) -> std::optional<QColor> {
    const QColor chosen = QColorDialog::getColor(initial, owner);
    if (!chosen.isValid()) return std::nullopt;
    return chosen;
  };
  chooseFont = [](const QFont& initial, QWidget* owner) -> std::optional<QFont> {
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, initial, owner);
    if (!ok) return std::nullopt;
    return chosen;
  };
  chooseFile = [](const QString& initial, QWidget* owner) -> std::optional<QString> {
    const QString chosen =
        QFileDialog::getOpenFileName(owner, QStringLiteral("Trusted certificates"), initial,
                                     QStringLiteral("Certificates (*.pem *.crt);;All files (*)"));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen;
  };

  pages = named(new QTabWidget(this), "pages");
  pages->addTab(buildServicePage(), QStringLiteral("QuenNews"));
  pages->addTab(buildConnectionPage(), QStringLiteral("Connection"));
  pages->addTab(buildViewerPage(), QStringLiteral("Article Viewer"));

  auto* buttons = new QDialogButtonBox(this);
  btnOK = named(buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole), "btnOK");
  btnCancel = named(buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole),
                    "btnCancel");
  btnOK->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages);
  layout->addWidget(buttons);

  fill(options_);
}

QWidget* OptionsDialog::buildServicePage() {
  auto* page = new QWidget;
  edServers = named(new QLineEdit(page), "edServers");
  optFirstServer = named(new QRadioButton(QStringLiteral("Always use the first server"), page),
                         "optFirstServer");
  optRotateServers =
      named(new QRadioButton(QStringLiteral("Rotate servers"), page), "optRotateServers");
  optFirstServer->setChecked(true);
  valHitsPerPage = numberField("valHitsPerPage", 10, 200, page);
  valMaxTranfers = numberField("valMaxTranfers", 1, 100, page);
  edServiceHost = named(new QLineEdit(page), "edServiceHost");
  edServiceDomain = named(new QLineEdit(page), "edServiceDomain");
  edHomeSite = named(new QLineEdit(page), "edHomeSite");
  edServiceHost->setToolTip(
      QStringLiteral("Host (and port) of the archive service's search pages; written "
                     "\"https://host\", every address of the service uses HTTPS"));
  edServiceDomain->setToolTip(
      QStringLiteral("Domain (and port) behind the article server names of the list above"));
  edHomeSite->setToolTip(QStringLiteral("Address of the update information"));

  auto* service = new QGroupBox(QStringLiteral("Archive service"), page);
  auto* serviceForm = new QFormLayout(service);
  serviceForm->addRow(QStringLiteral("Service host:"), edServiceHost);
  serviceForm->addRow(QStringLiteral("Service domain:"), edServiceDomain);
  serviceForm->addRow(QStringLiteral("Home site:"), edHomeSite);

  auto* servers = new QGroupBox(QStringLiteral("Article servers"), page);
  auto* serverForm = new QFormLayout(servers);
  serverForm->addRow(QStringLiteral("Servers:"), edServers);
  serverForm->addRow(QString(), optFirstServer);
  serverForm->addRow(QString(), optRotateServers);

  auto* numbers = new QFormLayout;
  numbers->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  numbers->addRow(QStringLiteral("Hits/page:"), valHitsPerPage);
  numbers->addRow(QStringLiteral("Simult. started article transfers:"), valMaxTranfers);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(service);
  layout->addWidget(servers);
  layout->addLayout(numbers);
  layout->addStretch();
  return page;
}

QWidget* OptionsDialog::buildConnectionPage() {
  auto* page = new QWidget;
  chkProxy = named(new QCheckBox(QStringLiteral("Use proxy server"), page), "chkProxy");
  pnlProxy = named(new QGroupBox(page), "pnlProxy");
  edProxy = named(new QLineEdit(pnlProxy), "edProxy");
  edProxyPort = named(new QLineEdit(pnlProxy), "edProxyPort");
  edProxyLogin = named(new QLineEdit(pnlProxy), "edProxyLogin");
  edProxyPwd = named(new QLineEdit(pnlProxy), "edProxyPwd");
  edProxyPwd->setEchoMode(QLineEdit::Password);
  auto* form = new QFormLayout(pnlProxy);
  form->addRow(QStringLiteral("Proxy server:"), edProxy);
  form->addRow(QStringLiteral("Port:"), edProxyPort);
  form->addRow(QStringLiteral("User name:"), edProxyLogin);
  form->addRow(QStringLiteral("Password:"), edProxyPwd);
  // The panel follows the box at once, so a proxy can be set up in one visit.
  connect(chkProxy, &QCheckBox::toggled, pnlProxy, &QWidget::setEnabled);
  valTransferTimeout = numberField("valTransferTimeout", 10, 3600, page);
  valTransferTimeout->setSuffix(QStringLiteral(" s"));
  valTransferTimeout->setToolTip(
      QStringLiteral("A transfer not done after this long fails, however steadily data arrives"));
  auto* limits = new QFormLayout;
  limits->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  limits->addRow(QStringLiteral("Time limit per transfer:"), valTransferTimeout);

  auto* secure = new QGroupBox(QStringLiteral("Secure connections (HTTPS)"), page);
  edTrustedCertificates = named(new QLineEdit(secure), "edTrustedCertificates");
  edTrustedCertificates->setToolTip(
      QStringLiteral("A PEM file of certificates trusted besides the system's, for an archive "
                     "with a private certificate authority"));
  btnBrowseCertificates =
      named(new QPushButton(QStringLiteral("Browse..."), secure), "btnBrowseCertificates");
  connect(btnBrowseCertificates, &QPushButton::clicked, this, [this] {
    if (const auto chosen = chooseFile(edTrustedCertificates->text(), this))
      edTrustedCertificates->setText(*chosen);
  });
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(edTrustedCertificates, 1);
  fileRow->addWidget(btnBrowseCertificates);
  auto* secureForm = new QFormLayout(secure);
  secureForm->addRow(QStringLiteral("Trusted certificates:"), fileRow);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(chkProxy);
  layout->addWidget(pnlProxy);
  layout->addWidget(secure);
  layout->addLayout(limits);
  layout->addStretch();
  return page;
}

QWidget* OptionsDialog::buildViewerPage() {
  auto* page = new QWidget;
  cbxColor = named(new QComboBox(page), "cbxColor");
  btnSetColor = named(new QPushButton(QStringLiteral("Set Color..."), page), "btnSetColor");
  btnSetFont = named(new QPushButton(QStringLiteral("Set Font..."), page), "btnSetFont");
  cmSample = named(new ColorMemo(page), "cmSample");
  chkHighlightURLs =
      named(new QCheckBox(QStringLiteral("Highligh emails and URLs"), page), "chkHighlightURLs");
  chkUnderline =
      named(new QCheckBox(QStringLiteral("Underline emails/URLs"), page), "chkUnderline");
  chkCitations = named(new QCheckBox(QStringLiteral("Highlight citations"), page), "chkCitations");
  chkKeywords =
      named(new QCheckBox(QStringLiteral("Highlight found keywords"), page), "chkKeywords");
  chkLoadOnSelect =
      named(new QCheckBox(QStringLiteral("Load articles when selected"), page), "chkLoadOnSelect");

  cmSample->setReadOnly(true);
  cmSample->setAccessibleName(QStringLiteral("Sample of the article viewer"));
  cmSample->setLineWrapMode(QPlainTextEdit::NoWrap);
  cmSample->setMinimumSize(420, 150);
  DrawRules rules;
  ColorRule& keywords = rules.add(ColorRule(KeyDrawingType::dtKeyShow));
  keywords.setKeywords({"found", "keywords"});
  rules.add(ColorRule(KeyDrawingType::dtBeginLineEnd));
  cmSample->setColorRules(std::move(rules));
  cmSample->setText(kSampleText);

  connect(cbxColor, &QComboBox::currentIndexChanged, this,
          [this](int index) { btnSetColor->setEnabled(index >= 0); });
  connect(btnSetColor, &QPushButton::clicked, this, &OptionsDialog::btnSetColorClick);
  connect(btnSetFont, &QPushButton::clicked, this, &OptionsDialog::btnSetFontClick);
  connect(chkHighlightURLs, &QCheckBox::toggled, this, [this](bool on) {
    chkUnderline->setEnabled(on);
    refreshSample();
  });
  for (QCheckBox* box : {chkUnderline, chkCitations, chkKeywords}) {
    connect(box, &QCheckBox::toggled, this, [this] { refreshSample(); });
  }

  auto* colorRow = new QHBoxLayout;
  auto* colorLabel = new QLabel(QStringLiteral("Color to change:"), page);
  colorLabel->setBuddy(cbxColor);
  colorRow->addWidget(colorLabel);
  colorRow->addWidget(cbxColor, 1);
  colorRow->addWidget(btnSetColor);
  colorRow->addWidget(btnSetFont);
  auto* boxes = new QGridLayout;
  boxes->addWidget(chkHighlightURLs, 0, 0);
  boxes->addWidget(chkUnderline, 0, 1);
  boxes->addWidget(chkCitations, 1, 0);
  boxes->addWidget(chkKeywords, 1, 1);
  boxes->addWidget(chkLoadOnSelect, 2, 0, 1, 2);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(colorRow);
  layout->addWidget(cmSample, 1);
  layout->addLayout(boxes);
  return page;
}

void OptionsDialog::fill(const VnkOptions& options) {
  edServers->setText(fromBytes(options.hostList));
  (options.multiHost ? optRotateServers : optFirstServer)->setChecked(true);
  valHitsPerPage->setValue(options.hitsPerPage);
  valMaxTranfers->setValue(options.maxRequests);
  edServiceHost->setText(fromBytes(options.serviceHost));
  edServiceDomain->setText(fromBytes(options.serviceDomain));
  edHomeSite->setText(fromBytes(options.homeSite));

  chkProxy->setChecked(options.useProxy);
  pnlProxy->setEnabled(options.useProxy);
  valTransferTimeout->setValue(options.transferTimeout);
  edProxy->setText(fromBytes(options.proxyURL));
  edProxyPort->setText(fromBytes(options.proxyPort));
  edProxyLogin->setText(fromBytes(options.proxyUser));
  edProxyPwd->setText(fromBytes(options.proxyPWD));
  edTrustedCertificates->setText(fromBytes(options.trustedCertificates));

  sampleFont_ = options.articleFont;
  cmSample->setFont(toQFont(sampleFont_));

  // Quietly: the sample is refreshed once below, not once per box.
  for (QCheckBox* box : {chkHighlightURLs, chkUnderline, chkCitations, chkKeywords}) {
    box->blockSignals(true);
  }
  chkHighlightURLs->setChecked(options.highLightLinks);
  chkUnderline->setEnabled(options.highLightLinks);
  chkUnderline->setChecked(options.underlineLink);
  chkCitations->setChecked(options.highLightQuotes);
  chkKeywords->setChecked(options.highLightKW);
  chkLoadOnSelect->setChecked(options.loadOnSelect);
  for (QCheckBox* box : {chkHighlightURLs, chkUnderline, chkCitations, chkKeywords}) {
    box->blockSignals(false);
  }

  colors_ = {options.articleFont.color, options.keywordColor, options.linkColor, options.colorG,
             options.colorGG,           options.colorGGG,     options.colorGGGG};
  buildColorList();
  cmSample->setFontColor(colors_[0]);
  refreshSample();
  cbxColor->setCurrentIndex(0);
  btnSetColor->setEnabled(cbxColor->currentIndex() >= 0);
}

void OptionsDialog::buildColorList() {
  cbxColor->clear();
  cbxColor->addItem(QStringLiteral("Article text"), 0);
  if (chkHighlightURLs->isChecked()) cbxColor->addItem(QStringLiteral("Link color"), 2);
  if (chkKeywords->isChecked()) cbxColor->addItem(QStringLiteral("Found keywords"), 1);
  if (chkCitations->isChecked()) {
    cbxColor->addItem(QStringLiteral("Quotations (>)"), 3);
    cbxColor->addItem(QStringLiteral("Quotations (>>)"), 4);
    cbxColor->addItem(QStringLiteral("Quotations (>>>)"), 5);
    cbxColor->addItem(QStringLiteral("Quotations (>>>>)"), 6);
  }
}

void OptionsDialog::refreshSample() {
  DrawRules& rules = cmSample->colorRules();
  rules[0].setDefKeyColor(chkKeywords->isChecked() ? colors_[1] : colors_[0]);
  if (chkCitations->isChecked()) {
    rules[1].setKeyLineEndLst(quotationEntries(colors_[3], colors_[4], colors_[5], colors_[6]));
  } else {
    rules[1].setKeyLineEndLst({});
  }
  HotSpot hotSpot = cmSample->hotSpot();
  hotSpot.beginChar = '<';
  hotSpot.endChar = '>';
  hotSpot.active = chkHighlightURLs->isChecked();
  hotSpot.underlined = chkUnderline->isChecked();
  hotSpot.color = colors_[2];
  cmSample->setHotSpot(hotSpot);
  cmSample->repaintColors();
}

void OptionsDialog::btnSetColorClick() {
  if (cbxColor->currentIndex() < 0) return;
  const int index = cbxColor->currentData().toInt();
  const auto chosen =
      chooseColor(toQColor(colors_[static_cast<std::size_t>(index)], cmSample->palette()), this);
  if (!chosen) return;
  colors_[static_cast<std::size_t>(index)] = fromQColor(*chosen);
  if (index == 0) {
    cmSample->setFontColor(colors_[0]);
  }
  refreshSample();
}

void OptionsDialog::btnSetFontClick() {
  const auto chosen = chooseFont(toQFont(sampleFont_), this);
  if (!chosen) return;
  sampleFont_ = fontSpecFromQFont(*chosen, sampleFont_);
  // The desktop's font dialog has no colour: the font keeps the article text colour.
  sampleFont_.color = colors_[0];
  cmSample->setFont(toQFont(sampleFont_));
  refreshSample();
}

void OptionsDialog::writeOptions(VnkOptions& options) const {
  options.hostList = toBytes(edServers->text());
  options.multiHost = optRotateServers->isChecked();
  options.hitsPerPage = numberFieldValue(valHitsPerPage);
  options.maxRequests = numberFieldValue(valMaxTranfers);
  options.serviceHost = toBytes(edServiceHost->text());
  options.serviceDomain = toBytes(edServiceDomain->text());
  options.homeSite = toBytes(edHomeSite->text());
  options.useProxy = chkProxy->isChecked();
  options.proxyURL = toBytes(edProxy->text());
  options.proxyPort = toBytes(edProxyPort->text());
  options.proxyUser = toBytes(edProxyLogin->text());
  options.proxyPWD = toBytes(edProxyPwd->text());
  options.trustedCertificates = toBytes(edTrustedCertificates->text());
  options.transferTimeout = numberFieldValue(valTransferTimeout);
  options.highLightLinks = chkHighlightURLs->isChecked();
  options.underlineLink = chkUnderline->isChecked();
  options.highLightQuotes = chkCitations->isChecked();
  options.highLightKW = chkKeywords->isChecked();
  options.loadOnSelect = chkLoadOnSelect->isChecked();
  options.articleFont = sampleFont_;
  options.articleFont.color = colors_[0];
  options.keywordColor = colors_[1];
  options.linkColor = colors_[2];
  options.colorG = colors_[3];
  options.colorGG = colors_[4];
  options.colorGGG = colors_[5];
  options.colorGGGG = colors_[6];
}

void OptionsDialog::accept() {
  writeOptions(options_);
  QDialog::accept();
}

}  // namespace varnook
