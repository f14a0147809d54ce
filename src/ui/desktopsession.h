#pragma once

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "collection/collection.h"
#include "settings/optionsstore.h"
#include "ui/qteventloop.h"

namespace varnook {

class ArticlesPage;
class DesktopActions;
class DesktopCommands;
class HomeSite;
class LogPage;
class MainWindow;
class QueriesPage;
class Scheduler;
class StatusBarPresenter;
class UpdatePrompts;
class UserPrompts;
class WindowCallbacks;

// One run of the desktop agent, and the one place its objects are built and wired: the
// options (loaded from the user's configuration folder), the event loop, the collection,
// the window's pages and status bar, the ways out to the desktop (with the XDG folders
// read from the environment), the scheduler's and the home-site check's call-backs, the
// home-site check, the scheduler, the commands and the main window, each complete when
// built, everything it uses handed in. They go in the reverse order, so everything
// outlives what uses it. A QApplication must exist.
class DesktopSession {
 public:
  // `arguments`: the command line after the program name. `prompts`: the dialogs to use;
  // null means the real ones (DesktopPrompts). The prompts must outlive the session.
  DesktopSession(std::vector<std::string> arguments, QString programFile,
                 UserPrompts* prompts = nullptr);
  ~DesktopSession();
  DesktopSession(const DesktopSession&) = delete;
  DesktopSession& operator=(const DesktopSession&) = delete;

  MainWindow& window() { return *window_; }
  Collection& collection() { return collection_; }
  OptionsStore& options() { return options_; }
  QtEventLoop& loop() { return loop_; }
  Scheduler& scheduler() { return *scheduler_; }
  HomeSite& homeSite() { return *homeSite_; }
  DesktopCommands& commands() { return *commands_; }
  QueriesPage& queriesPage() { return *queries_; }
  ArticlesPage& articlesPage() { return *articles_; }
  LogPage& logPage() { return *log_; }
  StatusBarPresenter& statusBar() { return *statusBar_; }

 private:
  std::unique_ptr<UserPrompts> ownPrompts_;
  OptionsStore options_;
  QtEventLoop loop_;
  Collection collection_;
  // The window's parts: the window owns them from its construction on.
  QueriesPage* queries_ = nullptr;
  ArticlesPage* articles_ = nullptr;
  LogPage* log_ = nullptr;
  StatusBarPresenter* statusBar_ = nullptr;
  std::unique_ptr<DesktopActions> desktop_;
  std::unique_ptr<UpdatePrompts> updatePrompts_;
  std::unique_ptr<WindowCallbacks> callbacks_;
  std::unique_ptr<HomeSite> homeSite_;
  std::unique_ptr<Scheduler> scheduler_;
  std::unique_ptr<DesktopCommands> commands_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace varnook
