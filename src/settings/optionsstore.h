#pragma once

#include <functional>
#include <string>
#include <utility>

#include "settings/optionsstream.h"
#include "settings/vnkoptions.h"

namespace varnook {

// Where a store keeps its stream. On this platform the "registry" is a private file in
// the user's configuration folder: $XDG_CONFIG_HOME/varnook/options (~/.config when
// XDG_CONFIG_HOME is unset or relative); the value name, when set, replaces "options".
enum class StorageMode { orgFile, orgRegistry };

// What load() came to. Whatever could not be loaded keeps its current value; an
// unreadable or damaged file also gives a warning for the user.
enum class LoadOutcome {
  Loaded,          // a stream was read completely
  PartlyLoaded,    // a damaged stream: what it held up to the damage was taken over
  NothingStored,   // no stored options (missing or empty file): the defaults stay
  Unreadable,      // the stored file exists but could not be read: the defaults stay
  HandledByEvent,  // onLoad or onStreamLoad did the work
};

struct OptionsLoadResult {
  LoadOutcome outcome = LoadOutcome::NothingStored;
  OptionsStreamReport stream;  // when a stream was read
  std::string detail;          // the file name and the system's reason, for a log
  std::string warning;         // for the user, naming the file; empty when all went well
};

// A stored options stream is a few hundred bytes; a larger file is not read.
inline constexpr std::size_t kMaxOptionsFileSize = 1 << 20;

// The warning for an options file whose stream is damaged (read as far as it goes).
std::string damagedOptionsWarning(const std::string& fileName, const OptionsStreamReport& report);

struct OptionsSaveResult {
  bool saved = true;    // false: nothing was stored; what was stored before is intact
  std::string message;  // for the user's error box, empty when saved
  std::string detail;   // the file name and the system's reason, for a log
};

// The options object: the program options together with where and how they are stored.
// The stream holds only the options; the storage settings (the underscore properties of
// the stored form: storage mode, path, value name, automatic save, the events) never go
// into it, and a stream cannot change them either.
//
// Typical use by a program: create it, set the storage (orgRegistry), call load() once the
// defaults are in place, call save() after the options dialog, and let destroying() (or
// the destructor) save once more at exit.
//
// Not thread-safe: one thread loads, saves and reads the options.
class OptionsStore {
 public:
  // Sender, Done (in/out): setting Done skips the store's own loading / saving.
  using SaveLoadEvent = std::function<void(OptionsStore& sender, bool& done)>;
  // Sender, Stream, Done. Loading: called with the stored bytes before they are read; it
  // may change them, and setting Done skips reading them. Saving: called with the empty
  // stream before the options are written into it; whatever it puts there comes first,
  // and setting Done skips writing the options.
  using StreamSaveLoadEvent =
      std::function<void(OptionsStore& sender, std::string& stream, bool& done)>;

  // Starts with the given options (the program's defaults) and file storage next to the
  // program, automatic save on.
  explicit OptionsStore(VnkOptions options = {});
  // Saves once if automatic saving is still on (see destroying()); a failure is lost
  // here, and the events run here too, so an owner whose events refer to objects that die
  // first, or that wants to show a failure, calls destroying() itself before.
  ~OptionsStore();
  OptionsStore(const OptionsStore&) = delete;
  OptionsStore& operator=(const OptionsStore&) = delete;

  VnkOptions& options() { return options_; }
  const VnkOptions& options() const { return options_; }
  // Copies all options, the font included.
  void setOptions(const VnkOptions& options) { options_ = options; }

  StorageMode storageMode() const { return storageMode_; }
  void setStorageMode(StorageMode mode) { storageMode_ = mode; }
  // File mode: a file name (see storageFileName). Registry mode: the key path, kept for
  // the record; the file does not depend on it.
  const std::string& path() const { return path_; }
  void setPath(std::string path) { path_ = std::move(path); }
  // Registry mode: the name of the value, that is of the file in varnook's configuration
  // folder; empty means "options".
  const std::string& valueName() const { return valueName_; }
  void setValueName(std::string name) { valueName_ = std::move(name); }
  bool autoSave() const { return autoSave_; }
  void setAutoSave(bool on) { autoSave_ = on; }
  // The program file whose name file mode starts from; empty means this process's.
  const std::string& programFile() const { return programFile_; }
  void setProgramFile(std::string fileName) { programFile_ = std::move(fileName); }

  // The file the stream goes to and comes from in the current mode; empty when there is
  // none (no configuration folder, an unusable value name, or in file mode a path without
  // a folder while the program's own file cannot be found).
  std::string storageFile() const;

  // Reads the stored options over the current ones: every option found in the stored
  // stream is set, every other keeps its value, and the counts are brought into the
  // dialog's ranges. Never fails: a missing, empty, unreadable (no regular file, larger
  // than kMaxOptionsFileSize) or damaged store leaves the options that could not be read
  // unchanged; the last two set the result's warning. Never waits for a FIFO.
  OptionsLoadResult load();

  // Stores all options, replacing the stored ones as a whole or not at all. Failure in
  // registry mode gives "Unable to save the options into the Registry."; the options in
  // memory never change.
  [[nodiscard]] OptionsSaveResult save();

  // To be called by the owner while it goes away: the first call while automatic saving
  // is on saves and turns automatic saving off, so the options are saved exactly once.
  // Later calls, or calls with automatic saving off, do nothing and report success.
  OptionsSaveResult destroying();

  SaveLoadEvent onLoad;
  SaveLoadEvent onSave;
  StreamSaveLoadEvent onStreamLoad;
  StreamSaveLoadEvent onStreamSave;

 private:
  VnkOptions options_;
  StorageMode storageMode_ = StorageMode::orgFile;
  std::string path_;
  std::string valueName_;
  bool autoSave_ = true;
  std::string programFile_;
};

}  // namespace varnook
