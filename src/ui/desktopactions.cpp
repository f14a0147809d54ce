#include "ui/desktopactions.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <filesystem>
#include <system_error>

#include "archive/queryurl.h"
#include "collection/article.h"
#include "collection/collection.h"
#include "desktop/opener.h"
#include "desktop/websearch.h"
#include "mail/mboxexport.h"
#include "settings/storagepaths.h"

namespace varnook {

namespace {

std::string fileNameBytes(const QString& fileName) {
  return QFile::encodeName(fileName).toStdString();
}

}  // namespace

DesktopActions::DesktopActions(XdgDirs dirs, UserPrompts& prompts, QWidget* parent)
    : dirs_(std::move(dirs)), prompts_(prompts), parent_(parent), composer_(dirs_) {}

void DesktopActions::report(UserPrompts::Kind kind, std::string_view text) {
  const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
  QString shown = QString::fromUtf8(bytes);
  if (shown.contains(QChar::ReplacementCharacter)) shown = QString::fromLatin1(bytes);
  prompts_.message(parent_, kind, shown);
}

void DesktopActions::reportEarlyFailure(const std::shared_ptr<StartWatch>& watch,
                                        const std::vector<std::string>& argv,
                                        std::string_view failure) {
  if (watch == nullptr || argv.empty()) return;
  auto* notifier = new QSocketNotifier(watch->descriptor(), QSocketNotifier::Read, &watchers_);
  const std::string program = argv.front().substr(argv.front().rfind('/') + 1);
  const std::string base(failure);
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [=, this] {
    notifier->setEnabled(false);
    notifier->deleteLater();
    const EarlyExit exit = watch->finish();
    if (exit.failed)
      report(UserPrompts::Kind::Error,
             base + "\n\n" + program + " ended with an error:\n" + exit.message);
  });
}

bool DesktopActions::openUrl(const std::string& target) {
  const OpenResult result = varnook::openUrl(dirs_, target);
  switch (result.status) {
    case OpenStatus::Opened:
      reportEarlyFailure(result.watch, result.argv, kBrowserFailedMessage);
      return true;
    case OpenStatus::NoHandler:
      report(UserPrompts::Kind::Error, kNoBrowserMessage);
      return false;
    case OpenStatus::LaunchFailed:
      report(UserPrompts::Kind::Error, kBrowserFailedMessage);
      return false;
  }
  return false;
}

void DesktopActions::openInHelpViewer(const std::string& target) {
  const OpenResult result = varnook::openInHelpViewer(dirs_, target);
  reportEarlyFailure(result.watch, result.argv, kBrowserFailedMessage);
  if (result.status == OpenStatus::NoHandler) report(UserPrompts::Kind::Error, kNoBrowserMessage);
  if (result.status == OpenStatus::LaunchFailed) {
    report(UserPrompts::Kind::Error, kBrowserFailedMessage);
  }
}

bool DesktopActions::openMailTarget(const std::string& target) {
  const OpenResult result = varnook::openMailTarget(dirs_, target);
  if (result.status == OpenStatus::Opened) {
    reportEarlyFailure(result.watch, result.argv, kMailClientFailedMessage);
    return true;
  }
  report(UserPrompts::Kind::Error, kMailClientFailedMessage);
  return false;
}

void DesktopActions::webSearch(const std::string& text) {
  const std::string searchTemplate = loadWebSearchTemplate(webSearchTemplateFile(dirs_));
  openUrl(webSearchUrl(searchTemplate, text));
}

void DesktopActions::openPostingProfile(const std::string& author, const ServiceSettings& service) {
  openUrl(buildProfileUrl(author, service));
}

void DesktopActions::hotSpotClick(const std::string& link) {
  if (link.find('@') != std::string::npos) {
    openMailTarget(link);
  } else {
    openUrl(link);
  }
}

std::string DesktopActions::manualFile() const {
  std::vector<std::string> candidates;
  const std::string program = currentProgramFile();
  if (const auto slash = program.rfind('/'); slash != std::string::npos) {
    // <prefix>/bin/varnook -> <prefix>/share/varnook/manual.html
    candidates.push_back(program.substr(0, slash) + "/../share/varnook/manual.html");
  }
#ifdef VARNOOK_INSTALLED_MANUAL
  candidates.emplace_back(VARNOOK_INSTALLED_MANUAL);
#endif
#ifdef VARNOOK_SOURCE_MANUAL
  candidates.emplace_back(VARNOOK_SOURCE_MANUAL);
#endif
  for (const std::string& candidate : candidates) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(candidate, ec)) {
      return std::filesystem::weakly_canonical(candidate, ec).string();
    }
  }
  return candidates.empty() ? std::string() : candidates.front();
}

void DesktopActions::openManual() {
  openInHelpViewer(manualFile());
}

void DesktopActions::composeMessage(const Article& article, MessageMode mode) {
  using Status = MailComposer::Result::Status;
  const MailComposer::Result result = composer_.compose(article, mode);
  switch (result.status) {
    case Status::Opened:
      reportEarlyFailure(result.watch, result.argv, kMailClientFailedMessage);
      break;
    case Status::NoNewsClient:
      report(UserPrompts::Kind::Warning, result.message);
      break;
    case Status::WriteFailed:
    case Status::LaunchFailed:
      report(UserPrompts::Kind::Error, result.message);
      break;
  }
}

bool DesktopActions::saveArticle(const Article& article, const QString& fileName) {
  MessageContext context;
  context.dateNames = composer_.dateNames;
  const std::string error =
      writeMessageFile(article, fileNameBytes(fileName), MessageMode::SaveArticle, context);
  if (error.empty()) return true;
  report(UserPrompts::Kind::Error, error);
  return false;
}

std::optional<std::size_t> DesktopActions::exportArticles(const Collection& collection,
                                                          const QString& fileName) {
  const ExportResult result = exportMbox(collection, fileNameBytes(fileName));
  if (!result.ok) {
    report(UserPrompts::Kind::Error, result.message);
    return std::nullopt;
  }
  return result.articles;
}

FileDialogSpec DesktopActions::exportDialogSpec(const Collection& collection) {
  FileDialogSpec spec;
  spec.title = QStringLiteral("Export loaded articles to a mailbox file");
  spec.filters = {QStringLiteral("Mailbox files (*.mbox)"), QStringLiteral("All files (*)")};
  spec.defaultSuffix = QStringLiteral("mbox");
  const QString collectionName =
      QFileInfo(QFile::decodeName(collection.fileName().c_str())).completeBaseName();
  spec.proposedName = (collectionName.isEmpty() ? QStringLiteral("articles") : collectionName) +
                      QStringLiteral(".mbox");
  return spec;
}

}  // namespace varnook
