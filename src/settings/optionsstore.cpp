#include "settings/optionsstore.h"

#include "base/privatefolder.h"
#include "base/wholefile.h"
#include "settings/storagepaths.h"

namespace varnook {

namespace {

constexpr const char* kRegistrySaveError = "Unable to save the options into the Registry.";

std::string folderOf(const std::string& fileName) {
  const std::size_t slash = fileName.rfind('/');
  return slash == std::string::npos ? std::string() : fileName.substr(0, slash);
}

std::string unreadableOptionsWarning(const std::string& fileName, const std::string& reason) {
  return "The options file \"" + fileName + "\" was not read (" + reason +
         "); the default options are used";
}

}  // namespace

std::string damagedOptionsWarning(const std::string& fileName, const OptionsStreamReport& report) {
  return "The options file \"" + fileName + "\" is damaged (" + report.message +
         "); the options it could not give keep their defaults";
}

OptionsStore::OptionsStore(VnkOptions options) : options_(std::move(options)) {}

OptionsStore::~OptionsStore() {
  (void)destroying();
}

std::string OptionsStore::storageFile() const {
  if (storageMode_ == StorageMode::orgRegistry) return registryFileName(valueName_).value_or("");
  const std::string program = programFile_.empty() ? currentProgramFile() : programFile_;
  // Without the program's name only a path with a folder in it says where to go.
  if (program.empty() && path_.find_first_of("\\:/") == std::string::npos) return {};
  return storageFileName(path_, program);
}

OptionsLoadResult OptionsStore::load() {
  OptionsLoadResult result;
  bool done = false;
  if (onLoad) {
    onLoad(*this, done);
    if (done) {
      result.outcome = LoadOutcome::HandledByEvent;
      return result;
    }
  }

  const std::string fileName = storageFile();
  if (fileName.empty()) {
    result.detail = "no place to look for stored options";
    return result;
  }
  SmallFileRead stored = readSmallFile(fileName, kMaxOptionsFileSize);
  if (stored.status == SmallFileRead::Status::Failed) {
    result.outcome = LoadOutcome::Unreadable;
    result.detail = fileName + ": " + stored.error;
    result.warning = unreadableOptionsWarning(fileName, stored.error);
    return result;
  }
  // As with an empty registry value, an empty file holds nothing to load.
  if (stored.status == SmallFileRead::Status::Missing || stored.bytes.empty()) {
    result.detail = fileName;
    return result;
  }

  if (onStreamLoad) {
    onStreamLoad(*this, stored.bytes, done);
    if (done) {
      result.outcome = LoadOutcome::HandledByEvent;
      return result;
    }
  }
  result.stream = readOptionsStream(stored.bytes, options_);
  options_.clampToDialogRanges();
  result.outcome = result.stream.clean() ? LoadOutcome::Loaded : LoadOutcome::PartlyLoaded;
  if (!result.stream.clean()) result.warning = damagedOptionsWarning(fileName, result.stream);
  result.detail =
      result.stream.message.empty() ? fileName : fileName + ": " + result.stream.message;
  return result;
}

OptionsSaveResult OptionsStore::save() {
  OptionsSaveResult result;
  bool done = false;
  if (onSave) {
    onSave(*this, done);
    if (done) return result;
  }
  std::string stream;
  if (onStreamSave) onStreamSave(*this, stream, done);
  if (!done) stream += writeOptionsStream(options_);

  const bool registry = storageMode_ == StorageMode::orgRegistry;
  const std::string fileName = storageFile();
  std::string error;
  if (fileName.empty()) {
    error = "no configuration folder or unusable value name";
  } else if (registry) {
    error = createPrivateFolder(folderOf(fileName));
    if (!error.empty()) error = folderOf(fileName) + ": " + error;
  }
  // The stored stream may hold the proxy password: owner-only, whatever was there before.
  if (error.empty()) error = writeWholeFile(fileName, stream, FileAccess::OwnerOnly);
  if (!error.empty()) {
    result.saved = false;
    result.message = registry ? std::string(kRegistrySaveError)
                              : "Unable to save the options into the file \"" + fileName + "\".";
    result.detail = error;
  }
  return result;
}

OptionsSaveResult OptionsStore::destroying() {
  if (!autoSave_) return {};
  autoSave_ = false;
  return save();
}

}  // namespace varnook
