// Document commands: New, Open, Save, Save As, Exit, the unsaved-changes prompt, the title,
// and the command line read at start-up.
#include <QApplication>
#include <QFileInfo>

#include "archive/queryurl.h"
#include "base/filelock.h"
#include "collection/collectionfile.h"
#include "collection/commandline.h"
#include "settings/optionsstore.h"
#include "transfer/scheduler.h"
#include "ui/busycursor.h"
#include "ui/desktopcommands.h"
#include "ui/logpage.h"
#include "ui/qttext.h"
#include "ui/queriespage.h"
#include "ui/userprompts.h"

namespace varnook {
namespace {

const QStringList kCollectionFilters = {QStringLiteral("Varnook files (*.vnk)"),
                                        QStringLiteral("All files (*)")};

}  // namespace

QString DesktopCommands::title() const {
  const std::string& path = collection_.fileName();
  if (path.empty()) return QStringLiteral("Varnook - no document[*]");
  return QStringLiteral("Varnook - ") +
         QFileInfo(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())))
             .fileName() +
         QStringLiteral("[*]");
}

void DesktopCommands::setFileName(const std::string& path) {
  collection_.setFileName(path);
  emit titleChanged(title());
}

bool DesktopCommands::confirmSaveChanges() {
  if (!collection_.modified() || collection_.isEmpty()) return true;
  switch (prompts_.message(
      dialogParent(), UserPrompts::Kind::YesNoCancel,
      QStringLiteral("There are unsaved changes in the news collection. Save them now?"))) {
    case UserPrompts::Answer::Yes:
      // A cancelled Save As, or a save that failed, abandons the calling command: the
      // changes are still only in memory.
      return saveCollection();
    case UserPrompts::Answer::No:
      return true;
    default:
      return false;
  }
}

bool DesktopCommands::newCollection() {
  if (!confirmSaveChanges()) return false;
  deleted_.clear();
  collection_.clearRequests();
  collection_.clearArticles();
  showPage(0);
  queries_.panel().fillPanel(nullptr);
  setFileName({});
  collection_.setModified(false);
  refreshCounts();
  log_.clear();
  return true;
}

void DesktopCommands::openCollection() {
  FileDialogSpec spec;
  spec.title = QStringLiteral("Open messages stored in ...");
  spec.filters = kCollectionFilters;
  spec.defaultSuffix = QStringLiteral("vnk");
  const QString chosen = prompts_.openFileName(dialogParent(), spec);
  if (chosen.isEmpty()) return;
  if (!confirmSaveChanges()) return;
  deleted_.clear();
  collection_.clearRequests();
  collection_.clearArticles();
  scheduler_.setAutoDownload(false);
  loadFile(chosen.toLocal8Bit().toStdString());
}

void DesktopCommands::loadFile(const std::string& path) {
  LoadResult result;
  {
    BusyCursor busy;
    result = loadCollection(collection_, path);
  }
  // A failed load keeps the previous name and title; what was read stays in the lists.
  if (result.ok()) setFileName(collection_.fileName());
  refreshCounts();
  updateCommands();
  switch (result.status) {
    case LoadResult::Status::Ok:
      break;
    case LoadResult::Status::NotFound:
      warning(decodeBytes(result.message));
      break;
    default:
      error(decodeBytes(result.message));
      break;
  }
}

bool DesktopCommands::saveCollection() {
  if (collection_.fileName().empty()) return saveCollectionAs();
  // A varnook-batch run on the file would save over what is saved here, or the other way.
  const FileLock lock(collection_.fileName());
  if (lock.status() == FileLock::Status::InUse) {
    error(decodeBytes(lock.message()));
    return false;
  }
  SaveResult result;
  {
    BusyCursor busy;
    result = varnook::saveCollection(collection_, collection_.fileName());
  }
  updateCommands();
  if (!result.ok) {
    error(decodeBytes(result.message));
    return false;
  }
  return true;
}

bool DesktopCommands::saveCollectionAs() {
  FileDialogSpec spec;
  spec.title = QStringLiteral("Save messages to ...");
  spec.filters = kCollectionFilters;
  spec.defaultSuffix = QStringLiteral("vnk");
  spec.proposedName = QString::fromLocal8Bit(collection_.fileName().c_str());
  const QString chosen = prompts_.saveFileName(dialogParent(), spec);
  if (chosen.isEmpty()) return false;
  const std::string previous = collection_.fileName();
  setFileName(chosen.toLocal8Bit().toStdString());
  if (saveCollection()) return true;
  // Nothing was written under the new name: the window goes on naming the old file.
  setFileName(previous);
  return false;
}

void DesktopCommands::closeWindow() {
  dialogParent()->close();
}

bool DesktopCommands::mayClose() {
  bool close = false;
  runCommand([&] { close = confirmSaveChanges(); });
  if (!close) return false;
  scheduler_.stopAll();
  const OptionsSaveResult saved = options_.save();
  if (!saved.saved && !saved.message.empty()) error(decodeBytes(saved.message));
  return true;
}

void DesktopCommands::runCommandLine() {
  const CommandLine command = parseCommandLine(arguments_);
  switch (command.kind) {
    case CommandLine::Kind::None:
      if (!command.collectionPath.empty()) loadFile(command.collectionPath);
      return;
    case CommandLine::Kind::Query: {
      // A temporary request carries the stored parameters into the panel.
      Request query("");
      const std::string error = parseQueryParameters(query, command.queryParameters);
      if (!error.empty()) {
        // The query cannot be read as given: say why, and neither fill nor send it.
        prompts_.message(dialogParent(), UserPrompts::Kind::Error, decodeBytes(error));
        return;
      }
      queries_.panel().fillPanel(&query);
      if (command.run) submitPanelQuery();
      return;
    }
    case CommandLine::Kind::Words:
      break;
    case CommandLine::Kind::Help:  // answered by main() before any window
    case CommandLine::Kind::Version:
      return;
  }
  if (!command.collectionPath.empty()) loadFile(command.collectionPath);
  if (!command.hasWords()) return;
  std::unique_ptr<Request> request = collection_.newRequest();
  request->keywords = command.keywords;
  request->author = command.authors;
  request->subject = command.subjects;
  request->forum = command.groups;
  request->url = buildQueryUrl(*request, false, options_.options().serviceSettings());
  collection_.appendRequest(std::move(request));
  refreshCounts();
}

}  // namespace varnook
