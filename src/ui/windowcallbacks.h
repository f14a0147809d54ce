#pragma once

#include <QObject>
#include <string>

#include "transfer/transferui.h"

namespace varnook {

class ArticlesPage;
class DesktopActions;
class LogPage;
class StatusBarPresenter;
class UpdatePrompts;

// What the download scheduler asks of the desktop window, handed to the window's parts:
// log lines to the Log page, counts and the outage notice to the status bar, a finished
// article to the viewer when its row is the selected one, questions and pages to the
// home-site check's prompts and the browser. Whether transfers run and whether the
// automatic download is on are signalled to the commands, which enable the buttons.
// Everything given must outlive the object.
class WindowCallbacks final : public QObject, public TransferUi {
  Q_OBJECT

 public:
  WindowCallbacks(LogPage& log, StatusBarPresenter& statusBar, ArticlesPage& articles,
                  UpdatePrompts& prompts, DesktopActions& desktop);

  void log(const std::string& line) override;
  bool askYesNo(const std::string& text) override;
  void openInBrowser(const std::string& path) override;
  void countsChanged(const TransferCounts& counts) override;
  void transfersRunningChanged(bool running) override;
  void autoDownloadChanged(bool on) override;
  void articleTransferEnded(Article& article) override;
  void transferFailed(const ArticleBase& object, const std::string& line) override;
  void downloadsPaused(const std::string& reason) override;

 signals:
  void transfersRunning(bool running);
  void autoDownloadSwitched(bool on);

 private:
  LogPage& log_;
  StatusBarPresenter& statusBar_;
  ArticlesPage& articles_;
  UpdatePrompts& prompts_;
  DesktopActions& desktop_;
};

}  // namespace varnook
