#include "settings/optionsstore.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "settings/storagepaths.h"
#include "streambuilder.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;

TEST(StorageFileName, FollowsThePathSetting) {
  const struct {
    const char* path;
    const char* program;
    const char* expected;
  } cases[] = {
      // empty path: the program's name with ".CFG" for its extension
      {"", "/usr/bin/varnook", "/usr/bin/varnook.CFG"},
      {"", "/opt/varnook/varnook.bin", "/opt/varnook/varnook.CFG"},
      {"", "/opt/v.1/varnook", "/opt/v.1/varnook.CFG"},  // a dot in a folder is no extension
      {"", "C:\\Program Files\\Varnook\\VARNOOK.EXE", "C:\\Program Files\\Varnook\\VARNOOK.CFG"},
      {"", "varnook", "varnook.CFG"},
      {"", "/home/u/.varnook", "/home/u/.CFG"},
      // a bare name: in the program's folder
      {"vnk.ini", "/usr/bin/varnook", "/usr/bin/vnk.ini"},
      {"vnk.ini", "C:\\Prog\\VNK.EXE", "C:\\Prog\\vnk.ini"},
      // anything with a delimiter: as it stands
      {"/etc/varnook/options", "/usr/bin/varnook", "/etc/varnook/options"},
      {"sub/options", "/usr/bin/varnook", "sub/options"},
      {"D:\\cfg\\vnk.cfg", "/usr/bin/varnook", "D:\\cfg\\vnk.cfg"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(storageFileName(c.path, c.program), c.expected) << c.path << " | " << c.program;
  }
}

TEST(UserConfigFolder, TakesAnAbsoluteXdgConfigHomeOrFallsBackToHome) {
  EXPECT_EQ(userConfigFolder("/x/config", "/home/u"), "/x/config");
  EXPECT_EQ(userConfigFolder(nullptr, "/home/u"), "/home/u/.config");
  EXPECT_EQ(userConfigFolder("", "/home/u"), "/home/u/.config");
  EXPECT_EQ(userConfigFolder("relative/config", "/home/u"), "/home/u/.config");
  EXPECT_EQ(userConfigFolder("/x/config", nullptr), "/x/config");
  EXPECT_EQ(userConfigFolder(nullptr, "relative"), std::nullopt);
  EXPECT_EQ(userConfigFolder(nullptr, nullptr), std::nullopt);
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

unsigned modeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

// A private configuration folder for each test, with XDG_CONFIG_HOME pointing at it.
class OptionsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "varnook-options-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldConfigHome_ = old;
    config_ = root_ / "config";
    ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    fs::create_directories(root_ / "bin");
  }
  void TearDown() override {
    if (oldConfigHome_) {
      ::setenv("XDG_CONFIG_HOME", oldConfigHome_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
    fs::remove_all(root_);
  }

  fs::path optionsFile() const { return config_ / "varnook" / "options"; }

  // A store as the program sets it up, with automatic saving off unless a test wants it.
  void setUpRegistry(OptionsStore& store, bool autoSave = false) {
    store.setStorageMode(StorageMode::orgRegistry);
    store.setPath("Software\\Varnook\\Settings");
    store.setAutoSave(autoSave);
  }

  fs::path root_;
  fs::path config_;
  std::optional<std::string> oldConfigHome_;
};

TEST_F(OptionsStoreTest, FirstStartKeepsTheDefaultsSilently) {
  OptionsStore store;
  setUpRegistry(store);
  const OptionsLoadResult result = store.load();
  EXPECT_EQ(result.outcome, LoadOutcome::nothingStored);
  EXPECT_EQ(store.options(), VnkOptions{});
  EXPECT_FALSE(fs::exists(optionsFile()));  // loading never creates anything
}

TEST_F(OptionsStoreTest, RegistryModeSavesAPrivateFileThatLoadsBack) {
  VnkOptions changed;
  changed.useProxy = true;
  changed.proxyURL = "proxy.example.org";
  changed.proxyPWD = "secret";
  changed.hitsPerPage = 200;
  changed.articleFont.style = fsBold;
  {
    OptionsStore store;
    setUpRegistry(store);
    store.setOptions(changed);
    const OptionsSaveResult saved = store.save();
    ASSERT_TRUE(saved.saved) << saved.detail;
    EXPECT_TRUE(saved.message.empty());
  }
  EXPECT_EQ(readFile(optionsFile()), writeOptionsStream(changed));
  EXPECT_EQ(modeOf(optionsFile()), 0600u);
  EXPECT_EQ(modeOf(optionsFile().parent_path()), 0700u);
  // Only the stream is left behind: no temporary files.
  EXPECT_EQ(std::distance(fs::directory_iterator(optionsFile().parent_path()), {}), 1);

  OptionsStore again;
  setUpRegistry(again);
  EXPECT_EQ(again.load().outcome, LoadOutcome::loaded);
  EXPECT_EQ(again.options(), changed);
}

TEST_F(OptionsStoreTest, ReplacingAFileKeepsItPrivate) {
  fs::create_directories(optionsFile().parent_path());
  writeFile(optionsFile(), "old");
  fs::permissions(optionsFile(), fs::perms::all);  // 0777 from some earlier mishap
  OptionsStore store;
  setUpRegistry(store);
  ASSERT_TRUE(store.save().saved);
  EXPECT_EQ(modeOf(optionsFile()), 0600u);
  EXPECT_EQ(readFile(optionsFile()), writeOptionsStream(VnkOptions{}));
}

TEST_F(OptionsStoreTest, ValueNameNamesTheFile) {
  OptionsStore store;
  setUpRegistry(store);
  store.setValueName("second");
  EXPECT_EQ(store.storageFile(), (config_ / "varnook" / "second").string());
  ASSERT_TRUE(store.save().saved);
  EXPECT_TRUE(fs::exists(config_ / "varnook" / "second"));

  for (const char* unusable : {"..", "a/b", "."}) {
    store.setValueName(unusable);
    const OptionsSaveResult result = store.save();
    EXPECT_FALSE(result.saved) << unusable;
    EXPECT_EQ(result.message, "Unable to save the options into the Registry.");
    EXPECT_EQ(store.load().outcome, LoadOutcome::nothingStored);
  }
}

TEST_F(OptionsStoreTest, EmptyOrUnreadableStoreKeepsTheDefaults) {
  fs::create_directories(optionsFile().parent_path());
  writeFile(optionsFile(), "");
  OptionsStore store;
  setUpRegistry(store);
  store.options().hitsPerPage = 50;
  EXPECT_EQ(store.load().outcome, LoadOutcome::nothingStored);
  EXPECT_EQ(store.options().hitsPerPage, 50);

  fs::remove(optionsFile());
  fs::create_directory(optionsFile());  // a folder where the file should be
  const OptionsLoadResult result = store.load();
  EXPECT_EQ(result.outcome, LoadOutcome::unreadable);
  EXPECT_NE(result.detail.find(optionsFile().string()), std::string::npos);
  EXPECT_EQ(store.options().hitsPerPage, 50);
}

TEST_F(OptionsStoreTest, DamagedStoreKeepsWhatWasReadBeforeTheDamage) {
  VnkOptions changed;
  changed.useProxy = true;
  changed.hitsPerPage = 99;
  changed.linkColor = 0x123456;
  std::string stream = writeOptionsStream(changed);
  stream.resize(stream.find("LinkColor") + 3);
  fs::create_directories(optionsFile().parent_path());
  writeFile(optionsFile(), stream);

  OptionsStore store;
  setUpRegistry(store);
  const OptionsLoadResult result = store.load();
  EXPECT_EQ(result.outcome, LoadOutcome::partlyLoaded);
  EXPECT_EQ(result.stream.status, OptionsStreamStatus::truncated);
  EXPECT_TRUE(store.options().useProxy);
  EXPECT_EQ(store.options().hitsPerPage, 99);
  EXPECT_EQ(store.options().linkColor, clNavy);
}

TEST_F(OptionsStoreTest, StoredStreamCannotRedirectTheStorage) {
  fs::create_directories(optionsFile().parent_path());
  writeFile(optionsFile(), test::StreamBuilder()
                               .header()
                               .identifier("_StorageMode", "orgFile")
                               .string("_Path", "/tmp/elsewhere")
                               .boolean("_AutoSave", true)
                               .integer("HitsPerPage", 2, 10)
                               .end()
                               .bytes);
  OptionsStore store;
  setUpRegistry(store);
  const OptionsLoadResult result = store.load();
  EXPECT_EQ(result.stream.skipped, 3);
  EXPECT_EQ(store.options().hitsPerPage, 10);
  EXPECT_EQ(store.storageMode(), StorageMode::orgRegistry);
  EXPECT_EQ(store.path(), "Software\\Varnook\\Settings");
  EXPECT_FALSE(store.autoSave());
}

TEST_F(OptionsStoreTest, FailedSaveReportsTheRegistryMessage) {
  writeFile(config_, "a file where the configuration folder should be");
  OptionsStore store;
  setUpRegistry(store);
  const OptionsSaveResult result = store.save();
  EXPECT_FALSE(result.saved);
  EXPECT_EQ(result.message, "Unable to save the options into the Registry.");
  EXPECT_FALSE(result.detail.empty());
}

TEST_F(OptionsStoreTest, FailedWriteLeavesThePreviousFileIntact) {
  OptionsStore store;
  setUpRegistry(store);
  ASSERT_TRUE(store.save().saved);
  const std::string before = readFile(optionsFile());

  // Let the write run out of room half-way: a file size limit makes write() fail with
  // EFBIG once the signal that would otherwise end the process is ignored.
  store.options().hostList = std::string(100000, 'x');
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 4096;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const OptionsSaveResult result = store.save();
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(result.saved);
  EXPECT_EQ(result.message, "Unable to save the options into the Registry.");
  EXPECT_EQ(readFile(optionsFile()), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(optionsFile().parent_path()), {}), 1);
}

TEST_F(OptionsStoreTest, FileModeStoresNextToTheProgram) {
  const fs::path program = root_ / "bin" / "varnook";
  const struct {
    std::string path;
    fs::path expected;
  } cases[] = {
      {"", root_ / "bin" / "varnook.CFG"},
      {"settings.cfg", root_ / "bin" / "settings.cfg"},
      {(root_ / "elsewhere.cfg").string(), root_ / "elsewhere.cfg"},
  };
  for (const auto& c : cases) {
    OptionsStore store;
    store.setAutoSave(false);
    store.setProgramFile(program.string());
    store.setPath(c.path);
    store.options().maxRequests = 17;
    ASSERT_TRUE(store.save().saved) << c.path;
    EXPECT_EQ(modeOf(c.expected), 0600u);

    OptionsStore loaded;
    loaded.setAutoSave(false);
    loaded.setProgramFile(program.string());
    loaded.setPath(c.path);
    EXPECT_EQ(loaded.load().outcome, LoadOutcome::loaded);
    EXPECT_EQ(loaded.options().maxRequests, 17);
  }
  EXPECT_FALSE(fs::exists(config_));  // file mode never touches the configuration folder
}

TEST_F(OptionsStoreTest, EventsCanTakeOverLoadingAndSaving) {
  OptionsStore store;
  setUpRegistry(store);
  int loads = 0;
  store.onLoad = [&](OptionsStore& sender, bool& done) {
    EXPECT_EQ(&sender, &store);
    EXPECT_FALSE(done);
    ++loads;
    done = true;
  };
  store.onSave = [](OptionsStore&, bool& done) { done = true; };
  store.options().hitsPerPage = 11;
  EXPECT_TRUE(store.save().saved);
  EXPECT_FALSE(fs::exists(optionsFile()));
  EXPECT_EQ(store.load().outcome, LoadOutcome::handledByEvent);
  EXPECT_EQ(loads, 1);

  // Stream events: saving sees the empty stream first; loading sees the stored bytes.
  store.onLoad = nullptr;
  store.onSave = nullptr;
  store.onStreamSave = [](OptionsStore&, std::string& stream, bool&) {
    EXPECT_TRUE(stream.empty());
    stream = "XX";
  };
  ASSERT_TRUE(store.save().saved);
  EXPECT_EQ(readFile(optionsFile()), "XX" + writeOptionsStream(store.options()));
  store.onStreamLoad = [](OptionsStore&, std::string& stream, bool&) {
    ASSERT_EQ(stream.substr(0, 2), "XX");
    stream.erase(0, 2);
  };
  store.options().hitsPerPage = 40;
  EXPECT_EQ(store.load().outcome, LoadOutcome::loaded);
  EXPECT_EQ(store.options().hitsPerPage, 11);

  store.onStreamLoad = [](OptionsStore&, std::string&, bool& done) { done = true; };
  store.options().hitsPerPage = 40;
  EXPECT_EQ(store.load().outcome, LoadOutcome::handledByEvent);
  EXPECT_EQ(store.options().hitsPerPage, 40);

  store.onStreamSave = [](OptionsStore&, std::string& stream, bool& done) {
    stream = "own format";
    done = true;
  };
  ASSERT_TRUE(store.save().saved);
  EXPECT_EQ(readFile(optionsFile()), "own format");
}

TEST_F(OptionsStoreTest, AutomaticSaveHappensExactlyOnce) {
  {
    OptionsStore store;
    setUpRegistry(store, true);
    store.options().maxRequests = 8;
    EXPECT_TRUE(store.destroying().saved);
    EXPECT_FALSE(store.autoSave());
    ASSERT_TRUE(fs::remove(optionsFile()));
    EXPECT_TRUE(store.destroying().saved);  // nothing left to do
    EXPECT_FALSE(fs::exists(optionsFile()));
  }
  EXPECT_FALSE(fs::exists(optionsFile()));  // nor in the destructor

  {
    OptionsStore store;
    setUpRegistry(store, true);
    store.options().maxRequests = 9;
  }  // the destructor saves
  OptionsStore loaded;
  setUpRegistry(loaded);
  loaded.load();
  EXPECT_EQ(loaded.options().maxRequests, 9);
  fs::remove(optionsFile());
  {
    OptionsStore store;
    setUpRegistry(store, false);
  }
  EXPECT_FALSE(fs::exists(optionsFile()));
}

}  // namespace
}  // namespace varnook
