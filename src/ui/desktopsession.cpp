#include "ui/desktopsession.h"

#include "base/xdgdirs.h"
#include "transfer/scheduler.h"
#include "ui/articlesform.h"
#include "ui/userprompts.h"
#include "update/homesite.h"
#include "varnook/version.h"

namespace varnook {
namespace {

// Request names wait for the clock while the window goes on handling its events.
Collection::NameClock eventProcessingClock(QtEventLoop& loop) {
  return {nowLocal, [&loop](double seconds) {
            const int ms = std::max(1, static_cast<int>(seconds * 1000.0 + 0.999));
            loop.processEvents(ms);
          }};
}

// The options before the stored ones are read over them.
VnkOptions programDefaults() {
  static const VnkOptions defaults;
  return defaults;
}

}  // namespace

DesktopSession::DesktopSession(std::vector<std::string> arguments, QString programFile,
                               UserPrompts* prompts)
    : ownPrompts_(prompts == nullptr ? std::make_unique<DesktopPrompts>() : nullptr),
      options_(programDefaults()),
      collection_(eventProcessingClock(loop_)) {
  // The stored options, over the program's defaults; nothing stored keeps the defaults.
  options_.setStorageMode(StorageMode::orgRegistry);
  const std::string optionsWarning = options_.load().warning;

  UserPrompts& dialogs = prompts != nullptr ? *prompts : *ownPrompts_;
  window_ = std::make_unique<ArticlesForm>(collection_, options_, dialogs, std::move(arguments),
                                           std::move(programFile));
  homeSite_ = std::make_unique<HomeSite>(loop_, options_.options(), *window_);
  scheduler_ = std::make_unique<Scheduler>(collection_, loop_, options_.options(), *window_,
                                           homeSite_.get());
  scheduler_->cacheFolder = XdgDirs::fromEnvironment().programCacheFolder();
  scheduler_->userAgent = std::string("Varnook/") + kVersion;
  window_->setScheduler(scheduler_.get(), homeSite_.get());
  if (!optionsWarning.empty()) window_->log(optionsWarning);
}

DesktopSession::~DesktopSession() {
  // The scheduler and the home-site check talk to the window: they go first.
  scheduler_.reset();
  homeSite_.reset();
  window_.reset();
}

}  // namespace varnook
