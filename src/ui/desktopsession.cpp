#include "ui/desktopsession.h"

#include <QTimer>

#include "base/xdgdirs.h"
#include "transfer/scheduler.h"
#include "ui/articlespage.h"
#include "ui/desktopactions.h"
#include "ui/desktopcommands.h"
#include "ui/logpage.h"
#include "ui/mainwindow.h"
#include "ui/queriespage.h"
#include "ui/statusbarpresenter.h"
#include "ui/updateprompts.h"
#include "ui/userprompts.h"
#include "ui/windowcallbacks.h"
#include "ui/windowlayout.h"
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
  const XdgDirs dirs = XdgDirs::fromEnvironment();

  queries_ = new QueriesPage(collection_);
  articles_ = new ArticlesPage(collection_, options_.options());
  log_ = new LogPage;
  statusBar_ = new StatusBarPresenter;
  const WindowParts parts{*queries_, *articles_, *log_, *statusBar_};
  // Message boxes name a part of the window as their parent; they are shown over the window
  // that holds it (QWidget::window), as is the closing of the window the update check asks
  // for, once it has returned.
  QWidget* inWindow = statusBar_;
  desktop_ = std::make_unique<DesktopActions>(dirs, dialogs, inWindow);
  updatePrompts_ = std::make_unique<UpdatePrompts>(
      dialogs, *desktop_, inWindow, [this](const QString& text) { statusBar_->setMessage(text); },
      [inWindow] { QTimer::singleShot(0, inWindow->window(), &QWidget::close); });
  callbacks_ =
      std::make_unique<WindowCallbacks>(*log_, *statusBar_, *articles_, *updatePrompts_, *desktop_);
  homeSite_ = std::make_unique<HomeSite>(loop_, options_.options(), *updatePrompts_);
  scheduler_ = std::make_unique<Scheduler>(collection_, loop_, options_.options(), *callbacks_,
                                           homeSite_.get());
  scheduler_->cacheFolder = dirs.programCacheFolder();
  scheduler_->userAgent = std::string("Varnook/") + kVersion;
  commands_ = std::make_unique<DesktopCommands>(collection_, options_, dialogs, *scheduler_,
                                                *homeSite_, *desktop_, *callbacks_, parts,
                                                std::move(arguments), std::move(programFile));
  window_ = std::make_unique<MainWindow>(*commands_, parts);
  restoreWindowLayout(options_.options(), *window_, *queries_, *articles_);
  if (!optionsWarning.empty()) log_->append(optionsWarning);
}

DesktopSession::~DesktopSession() {
  // The user's arrangement of the window goes into the options saved as the store goes.
  saveWindowLayout(options_.options(), *window_, *queries_, *articles_);
  // The commands use everything else; the scheduler and the home-site check talk to the
  // window's parts. The lists are emptied while their views exist (each model hears one
  // reset), then the window goes with its parts.
  commands_.reset();
  scheduler_.reset();
  homeSite_.reset();
  collection_.clearRequests();
  collection_.clearArticles();
  window_.reset();
}

}  // namespace varnook
