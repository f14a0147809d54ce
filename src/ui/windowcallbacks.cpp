#include "ui/windowcallbacks.h"

#include <QDateTime>

#include "ui/articlespage.h"
#include "ui/desktopactions.h"
#include "ui/logpage.h"
#include "ui/qttext.h"
#include "ui/statusbarpresenter.h"
#include "ui/updateprompts.h"

namespace varnook {

WindowCallbacks::WindowCallbacks(LogPage& log, StatusBarPresenter& statusBar,
                                 ArticlesPage& articles, UpdatePrompts& prompts,
                                 DesktopActions& desktop)
    : log_(log), statusBar_(statusBar), articles_(articles), prompts_(prompts), desktop_(desktop) {}

void WindowCallbacks::log(const std::string& line) {
  log_.append(line);
}

bool WindowCallbacks::askYesNo(const std::string& text) {
  return prompts_.askYesNo(text);
}

void WindowCallbacks::openInBrowser(const std::string& path) {
  desktop_.openUrl(path);
}

void WindowCallbacks::countsChanged(const TransferCounts& counts) {
  statusBar_.showCounts(counts);
}

void WindowCallbacks::transfersRunningChanged(bool running) {
  emit transfersRunning(running);
}

void WindowCallbacks::autoDownloadChanged(bool on) {
  emit autoDownloadSwitched(on);
}

void WindowCallbacks::articleTransferEnded(Article& article) {
  if (&article == articles_.selection().single) articles_.showArticle(&article);
}

void WindowCallbacks::transferFailed(const ArticleBase&, const std::string& line) {
  // Failures are read later, next to other runs' lines: each carries its time.
  log(QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss ")).toStdString() +
      line);
}

void WindowCallbacks::downloadsPaused(const std::string& reason) {
  const std::string text = "Automatic download paused: " + reason;
  log(text);
  statusBar_.showDownloadsPaused(decodeBytes(text));
}

}  // namespace varnook
