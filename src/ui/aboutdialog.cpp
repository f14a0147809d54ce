#include "ui/aboutdialog.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/desktopactions.h"
#include "update/homesite.h"

namespace varnook {

namespace {

QString fromBytes(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string valueOf(const UpdateValues& values, const char* name) {
  const auto it = values.find(name);
  return it == values.end() ? std::string() : it->second;
}

}  // namespace

AboutDialog::AboutDialog(HomeSite& homeSite, DesktopActions& desktop, QWidget* parent)
    : QDialog(parent), homeSite_(homeSite), desktop_(desktop) {
  setObjectName(QStringLiteral("AboutDlg"));
  setWindowTitle(QStringLiteral("About Varnook"));

  lblTitle = new QLabel(QStringLiteral("Varnook news search client"), this);
  lblTitle->setObjectName(QStringLiteral("lblTitle"));
  QFont titleFont = lblTitle->font();
  titleFont.setBold(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
  lblTitle->setFont(titleFont);

  lblVersion = new QLabel(QStringLiteral("Version ") + fromBytes(homeSite_.version()), this);
  lblVersion->setObjectName(QStringLiteral("lblVersion"));

  lblStatus = new QLabel(
      QStringLiteral(
          "The most recent version of Varnook and related information is always available at:"),
      this);
  lblStatus->setObjectName(QStringLiteral("lblStatus"));
  lblStatus->setWordWrap(true);
  lblStatus->setMinimumWidth(380);

  lblLink = new QLabel(this);
  lblLink->setObjectName(QStringLiteral("lblLink"));
  lblLink->setTextFormat(Qt::RichText);
  lblLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  connect(lblLink, &QLabel::linkActivated, this,
          [this] { desktop_.openUrl(link_.toUtf8().toStdString()); });
  setLink(homeSite_.homePageUrl());

  btnCheckUpdates = new QPushButton(QStringLiteral("Check &Updates"), this);
  btnCheckUpdates->setObjectName(QStringLiteral("btnCheckUpdates"));
  btnCheckUpdates->setToolTip(QStringLiteral("Connect to the home site"));
  btnCheckUpdates->setAutoDefault(false);
  connect(btnCheckUpdates, &QPushButton::clicked, this, &AboutDialog::btnCheckUpdatesClick);
  btnOK = new QPushButton(QStringLiteral("&OK"), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnCheckUpdates);
  buttons->addStretch();
  buttons->addWidget(btnOK);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblTitle);
  layout->addWidget(lblVersion);
  layout->addSpacing(12);
  layout->addWidget(lblStatus);
  layout->addWidget(lblLink);
  layout->addSpacing(12);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  btnCheckUpdates->setEnabled(!homeSite_.succeeded());
  showStatus();
}

void AboutDialog::setLink(const std::string& url) {
  link_ = fromBytes(url);
  const QString escaped = link_.toHtmlEscaped();
  lblLink->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(escaped));
}

void AboutDialog::showStatus() {
  if (!homeSite_.succeeded()) return;
  const UpdateValues& values = homeSite_.values();
  const std::string newest = valueOf(values, "NewestVersion");
  const std::string& version = homeSite_.version();
  QPalette palette = lblStatus->palette();
  palette.setColor(QPalette::WindowText, this->palette().color(QPalette::WindowText));
  if (!versionGreater(newest, version)) {
    lblStatus->setText(QStringLiteral(
        "You are running the most recent version of Varnook. If you need any additional "
        "information about the program, click on the link below:"));
    setLink(homeSite_.homePageUrl());
  } else {
    if (!versionGreater(valueOf(values, "OldestValidVersion"), version)) {
      lblStatus->setText(QStringLiteral("Varnook version %1 is now available for free "
                                        "download.Click on the link below to view the list of "
                                        "changes:")
                             .arg(fromBytes(newest)));
    } else {
      lblStatus->setText(
          QStringLiteral("This program may no longer work correctly due to the recent changes "
                         "on ") +
          fromBytes(homeSite_.serviceAddress()) +
          QStringLiteral(". Please download Varnook version %1:").arg(fromBytes(newest)));
      palette.setColor(QPalette::WindowText, Qt::red);
    }
    const std::string revisions = valueOf(values, "RevisionsURL");
    if (!revisions.empty()) setLink(revisions);
  }
  lblStatus->setPalette(palette);
  btnCheckUpdates->setEnabled(false);
}

void AboutDialog::btnCheckUpdatesClick() {
  btnCheckUpdates->setEnabled(false);  // one check at a time
  QPointer<AboutDialog> self(this);
  homeSite_.check([self](bool) {
    if (!self) return;  // the dialog went away while the check ran
    self->btnCheckUpdates->setEnabled(!self->homeSite_.succeeded());
    self->showStatus();
  });
}

}  // namespace varnook
