#include "ui/statusbarpresenter.h"

#include <QLabel>
#include <QTimer>

namespace varnook {
namespace {

QString count(std::size_t n) {
  return n == 0 ? QStringLiteral("(none)") : QString::number(n);
}

QString running(std::int32_t transfers) {
  return transfers == 0 ? QString() : QStringLiteral("DL %1...").arg(transfers);
}

}  // namespace

StatusBarPresenter::StatusBarPresenter(QWidget* parent) : QStatusBar(parent) {
  setObjectName(QStringLiteral("StatusBar"));
  setSizeGripEnabled(true);
  const int widths[] = {0, 50, 60, 0, 90, 60};
  for (int panel = 0; panel < 7; ++panel) {
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("StatusPanel%1").arg(panel));
    if (panel < 6) {
      label->setMinimumWidth(widths[panel]);
      addWidget(label);
    } else {
      label->setTextFormat(Qt::PlainText);
      label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
      addWidget(label, 1);
    }
    panels_[panel] = label;
  }
  pausedPanel_ = new QLabel(this);
  pausedPanel_->setObjectName(QStringLiteral("StatusPanelPaused"));
  pausedPanel_->setTextFormat(Qt::PlainText);
  pausedPanel_->hide();
  addPermanentWidget(pausedPanel_);
  panels_[0]->setText(QStringLiteral("Queries:"));
  panels_[1]->setText(QStringLiteral("(none)"));
  panels_[3]->setText(QStringLiteral("Articles:"));
  panels_[4]->setText(QStringLiteral("0/0"));

  statusResetTimer_ = new QTimer(this);
  statusResetTimer_->setObjectName(QStringLiteral("StatusResetTimer"));
  statusResetTimer_->setSingleShot(true);
  statusResetTimer_->setInterval(8000);
  connect(statusResetTimer_, &QTimer::timeout, this, [this] { setMessage(QString()); });
  pendingTimer_ = new QTimer(this);
  pendingTimer_->setSingleShot(true);
  pendingTimer_->setInterval(0);
  connect(pendingTimer_, &QTimer::timeout, this, &StatusBarPresenter::showPendingSelection);
}

void StatusBarPresenter::showCounts(const TransferCounts& counts) {
  panels_[1]->setText(count(counts.requests));
  panels_[2]->setText(running(counts.requestTransfers));
  panels_[4]->setText(
      counts.articles == 0
          ? count(0)
          : QStringLiteral("%1/%2").arg(counts.loadedArticles).arg(counts.articles));
  panels_[5]->setText(running(counts.articleTransfers));
}

QString StatusBarPresenter::message() const {
  return panels_[6]->text();
}

void StatusBarPresenter::setMessage(const QString& text) {
  panels_[6]->setText(text);
  emit messageChanged(text);
}

void StatusBarPresenter::showSelection(const QString& text, bool now) {
  pendingText_ = text;
  if (now) {
    pendingTimer_->stop();
    pendingText_.clear();
    setMessage(text);
  } else {
    pendingTimer_->start();
  }
}

void StatusBarPresenter::showPendingSelection() {
  if (pendingText_.isEmpty()) return;
  setMessage(pendingText_);
  pendingText_.clear();
}

void StatusBarPresenter::showTransient(const QString& text) {
  setMessage(text);
  statusResetTimer_->start();  // restarts a running timer
}

void StatusBarPresenter::showDownloadsPaused(const QString& text) {
  pausedPanel_->setText(text);
  pausedPanel_->setVisible(!text.isEmpty());
}

}  // namespace varnook
