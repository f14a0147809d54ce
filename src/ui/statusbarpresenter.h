#pragma once

#include <QStatusBar>
#include <QString>

#include "transfer/transferui.h"

class QLabel;
class QTimer;

namespace varnook {

// The main window's status bar and what it says: "Queries:" with the number of requests
// and the running query transfers, "Articles:" with loaded / all articles and the running
// article transfers, the message panel (selection, transient and update texts), and the
// notice that downloads wait after an outage. The counts come as numbers; the texts are
// made here.
class StatusBarPresenter final : public QStatusBar {
  Q_OBJECT

 public:
  explicit StatusBarPresenter(QWidget* parent = nullptr);

  // Panels 1 ("(none)" or the number of requests), 2 ("DL n..." while queries transfer),
  // 4 ("(none)" or loaded/all) and 5 ("DL n..." while articles transfer). Until the first
  // call the article panel reads "0/0".
  void showCounts(const TransferCounts& counts);

  QString message() const;
  void setMessage(const QString& text);
  // A selected row's status. Unless `now`, the text waits until the pending events have
  // been handled, so a long run of selection changes shows it once.
  void showSelection(const QString& text, bool now);
  // A notice that goes again after eight seconds (StatusResetTimer).
  void showTransient(const QString& text);
  // Stays while the downloads wait after an outage (empty: hidden); selection texts do not
  // cover it.
  void showDownloadsPaused(const QString& text);

 signals:
  // The message panel got a new text.
  void messageChanged(const QString& text);

 private:
  void showPendingSelection();

  QLabel* panels_[7] = {};
  QLabel* pausedPanel_ = nullptr;
  QTimer* statusResetTimer_ = nullptr;
  QTimer* pendingTimer_ = nullptr;
  QString pendingText_;
};

}  // namespace varnook
