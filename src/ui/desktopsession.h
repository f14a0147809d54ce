#pragma once

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "collection/collection.h"
#include "settings/optionsstore.h"
#include "ui/qteventloop.h"

namespace varnook {

class ArticlesForm;
class HomeSite;
class Scheduler;
class UserPrompts;

// One run of the desktop agent: the options (loaded from the user's configuration
// folder), the event loop, the collection, the main window, the home-site check and the
// scheduler, created in this order and destroyed in the reverse one, so everything outlives
// what uses it. A QApplication must exist.
class DesktopSession {
 public:
  // `arguments`: the command line after the program name. `prompts`: the dialogs to use;
  // null means the real ones (DesktopPrompts). The prompts must outlive the session.
  DesktopSession(std::vector<std::string> arguments, QString programFile,
                 UserPrompts* prompts = nullptr);
  ~DesktopSession();
  DesktopSession(const DesktopSession&) = delete;
  DesktopSession& operator=(const DesktopSession&) = delete;

  ArticlesForm& window() { return *window_; }
  Collection& collection() { return collection_; }
  OptionsStore& options() { return options_; }
  QtEventLoop& loop() { return loop_; }
  Scheduler& scheduler() { return *scheduler_; }
  HomeSite& homeSite() { return *homeSite_; }

 private:
  std::unique_ptr<UserPrompts> ownPrompts_;
  OptionsStore options_;
  QtEventLoop loop_;
  Collection collection_;
  std::unique_ptr<ArticlesForm> window_;
  std::unique_ptr<HomeSite> homeSite_;
  std::unique_ptr<Scheduler> scheduler_;
};

}  // namespace varnook
