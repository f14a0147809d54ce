#include "settings/optionsstore.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "settings/storagepaths.h"
#include "streambuilder.h"
#include "support/fixtures.h"
#include "support/realservers.h"

namespace varnook {
namespace {

namespace fs = std::filesystem;

TEST(StorageFileName, FollowsThePathSetting) {
  for (auto row : testing::readTable("settings/data/storagefiles.txt")) {
    row.resize(3);
    EXPECT_EQ(storageFileName(row[0], row[1]), row[2]) << row[0] << " | " << row[1];
  }
}

unsigned modeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

long entriesIn(const fs::path& folder) {
  return std::distance(fs::directory_iterator(folder), {});
}

// A private configuration folder for each test, with XDG_CONFIG_HOME pointing at it.
class OptionsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(root_.path().empty());
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) oldConfigHome_ = old;
    ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
  }
  void TearDown() override {
    if (oldConfigHome_) {
      ::setenv("XDG_CONFIG_HOME", oldConfigHome_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
  }

  // A store as the program sets it up, with automatic saving off unless a test wants it.
  std::unique_ptr<OptionsStore> registryStore(bool autoSave = false) {
    auto store = std::make_unique<OptionsStore>();
    store->setStorageMode(StorageMode::orgRegistry);
    store->setPath("Software\\Varnook\\Settings");
    store->setAutoSave(autoSave);
    return store;
  }
  // Writes the options file (and its folder).
  void writeStored(const std::string& bytes) {
    ASSERT_TRUE(testing::writeFile(optionsFile(), bytes));
  }

  testing::TempFolder root_;
  const fs::path config_ = fs::path(root_.path()) / "config";
  fs::path optionsFile() const { return config_ / "varnook" / "options"; }
  std::optional<std::string> oldConfigHome_;
};

TEST_F(OptionsStoreTest, RegistryModeSavesAPrivateFileThatLoadsBackAndLoadingCreatesNothing) {
  auto store = registryStore();
  EXPECT_EQ(store->load().outcome, LoadOutcome::NothingStored);  // the first start
  EXPECT_EQ(store->options(), VnkOptions{});
  EXPECT_FALSE(fs::exists(config_));

  VnkOptions changed;
  changed.useProxy = true;
  changed.proxyURL = "proxy.example.org";
  changed.proxyPWD = "secret";
  changed.hitsPerPage = 200;
  changed.articleFont.style = fsBold;
  store->setOptions(changed);
  const OptionsSaveResult saved = store->save();
  ASSERT_TRUE(saved.saved) << saved.detail;
  EXPECT_TRUE(saved.message.empty());
  store.reset();
  EXPECT_EQ(testing::readFile(optionsFile()), writeOptionsStream(changed));
  EXPECT_EQ(modeOf(optionsFile()), 0600u);
  EXPECT_EQ(modeOf(optionsFile().parent_path()), 0700u);
  EXPECT_EQ(entriesIn(optionsFile().parent_path()), 1);  // no temporary files left behind

  auto again = registryStore();
  EXPECT_EQ(again->load().outcome, LoadOutcome::Loaded);
  EXPECT_EQ(again->options(), changed);
  // Replacing a file keeps it private, whatever mode an earlier mishap left it with.
  fs::permissions(optionsFile(), fs::perms::all);
  again->options() = {};
  ASSERT_TRUE(again->save().saved);
  EXPECT_EQ(modeOf(optionsFile()), 0600u);
  EXPECT_EQ(testing::readFile(optionsFile()), writeOptionsStream(VnkOptions{}));
}

TEST_F(OptionsStoreTest, ValueNameNamesTheFile) {
  auto store = registryStore();
  store->setValueName("second");
  EXPECT_EQ(store->storageFile(), (config_ / "varnook" / "second").string());
  ASSERT_TRUE(store->save().saved);
  EXPECT_TRUE(fs::exists(config_ / "varnook" / "second"));

  for (const char* unusable : {"..", "a/b", "."}) {
    store->setValueName(unusable);
    const OptionsSaveResult result = store->save();
    EXPECT_FALSE(result.saved) << unusable;
    EXPECT_EQ(store->load().outcome, LoadOutcome::NothingStored);
  }
}

// An empty, unreadable or damaged store keeps the options it cannot give, and the last two
// warn by name; no kind of file makes loading wait, none is read beyond 1 MB. Counts are
// brought into the dialog's ranges; a stored stream cannot redirect the storage.
TEST_F(OptionsStoreTest, LoadingKeepsWhatTheStoreCannotGive) {
  auto store = registryStore();
  store->options().hitsPerPage = 50;
  writeStored("");
  EXPECT_EQ(store->load().outcome, LoadOutcome::NothingStored);
  EXPECT_EQ(store->options().hitsPerPage, 50);

  const std::string name = optionsFile().string();
  const std::function<bool()> unusable[] = {
      [&] { return fs::create_directory(optionsFile()); },
      [&] { return ::mkfifo(name.c_str(), 0600) == 0; },
      [&] { return ::mknod(name.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; },  // root only
      [&] { return testing::writeFile(name, std::string((1 << 20) + 1, 'x')); },
  };
  for (const auto& make : unusable) {
    fs::remove(optionsFile());
    if (!make()) continue;
    const OptionsLoadResult unreadable = store->load();
    EXPECT_EQ(unreadable.outcome, LoadOutcome::Unreadable);
    EXPECT_NE(unreadable.warning.find("\"" + name + "\""), std::string::npos);
    EXPECT_EQ(store->options().hitsPerPage, 50);
  }
  fs::remove(optionsFile());

  VnkOptions changed;
  changed.useProxy = true;
  changed.hitsPerPage = 99;
  changed.linkColor = 0x123456;
  const std::string stream = writeOptionsStream(changed);
  writeStored(stream.substr(0, stream.find("LinkColor") + 3));
  const OptionsLoadResult damaged = store->load();
  EXPECT_EQ(std::tuple(damaged.outcome, damaged.stream.status),
            std::tuple(LoadOutcome::PartlyLoaded, OptionsStreamStatus::Truncated));
  EXPECT_NE(damaged.warning.find("\"" + name + "\" is damaged"), std::string::npos);
  EXPECT_EQ(std::tuple(store->options().useProxy, store->options().hitsPerPage,
                       store->options().linkColor),
            std::tuple(true, 99, clNavy));

  writeStored(testing::StreamBuilder()
                  .header()
                  .identifier("_StorageMode", "orgFile")
                  .string("_Path", "/tmp/elsewhere")
                  .boolean("_AutoSave", true)
                  .integer("HitsPerPage", 2, 5)
                  .integer("MaxRequests", 3, 500)
                  .end()
                  .bytes);
  EXPECT_EQ(store->load().stream.skipped, 3);
  EXPECT_EQ(std::tuple(store->options().hitsPerPage, store->options().maxRequests),
            std::tuple(10, 100));
  EXPECT_EQ(std::tuple(store->storageMode(), store->path(), store->autoSave()),
            std::tuple(StorageMode::orgRegistry, "Software\\Varnook\\Settings", false));
}

TEST_F(OptionsStoreTest, FailedSavesReportTheRegistryMessageAndKeepThePreviousFile) {
  ASSERT_TRUE(testing::writeFile(config_, "a file where the configuration folder should be"));
  OptionsSaveResult result = registryStore()->save();
  EXPECT_FALSE(result.saved);
  EXPECT_EQ(result.message, "Unable to save the options into the Registry.");
  EXPECT_FALSE(result.detail.empty());
  fs::remove(config_);

  auto store = registryStore();
  ASSERT_TRUE(store->save().saved);
  const std::string before = testing::readFile(optionsFile());
  // Let the write run out of room half-way: a file size limit makes write() fail with
  // EFBIG once the signal that would otherwise end the process is ignored.
  store->options().hostList = std::string(100000, 'x');
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 4096;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  result = store->save();
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(result.saved);
  EXPECT_EQ(testing::readFile(optionsFile()), before);
  EXPECT_EQ(entriesIn(optionsFile().parent_path()), 1);
}

// File mode stores next to the program (where exactly is storageFileName's business) and
// never touches the configuration folder.
TEST_F(OptionsStoreTest, FileModeStoresNextToTheProgram) {
  const fs::path program = fs::path(root_.path()) / "bin" / "varnook";
  fs::create_directories(program.parent_path());
  OptionsStore stores[2];
  for (OptionsStore& store : stores) {
    store.setAutoSave(false);
    store.setProgramFile(program.string());
    store.setPath("settings.cfg");
  }
  stores[0].options().maxRequests = 17;
  ASSERT_TRUE(stores[0].save().saved);
  EXPECT_EQ(modeOf(program.parent_path() / "settings.cfg"), 0600u);
  EXPECT_EQ(stores[1].load().outcome, LoadOutcome::Loaded);
  EXPECT_EQ(stores[1].options().maxRequests, 17);
  EXPECT_FALSE(fs::exists(config_));
}

TEST_F(OptionsStoreTest, EventsCanTakeOverLoadingAndSaving) {
  auto owned = registryStore();
  OptionsStore& store = *owned;
  store.onLoad = [&](OptionsStore& sender, bool& done) { done = &sender == &store; };
  store.onSave = [](OptionsStore&, bool& done) { done = true; };
  store.options().hitsPerPage = 11;
  EXPECT_TRUE(store.save().saved);
  EXPECT_FALSE(fs::exists(optionsFile()));
  EXPECT_EQ(store.load().outcome, LoadOutcome::HandledByEvent);

  // Stream events: saving sees the empty stream first; loading sees the stored bytes.
  store.onLoad = nullptr;
  store.onSave = nullptr;
  store.onStreamSave = [](OptionsStore&, std::string& stream, bool&) {
    EXPECT_TRUE(stream.empty());
    stream = "XX";
  };
  ASSERT_TRUE(store.save().saved);
  EXPECT_EQ(testing::readFile(optionsFile()), "XX" + writeOptionsStream(store.options()));
  store.onStreamLoad = [](OptionsStore&, std::string& stream, bool&) {
    ASSERT_EQ(stream.substr(0, 2), "XX");
    stream.erase(0, 2);
  };
  store.options().hitsPerPage = 40;
  EXPECT_EQ(store.load().outcome, LoadOutcome::Loaded);
  EXPECT_EQ(store.options().hitsPerPage, 11);

  store.onStreamSave = [](OptionsStore&, std::string& stream, bool& done) {
    stream = "own format";
    done = true;
  };
  ASSERT_TRUE(store.save().saved);
  EXPECT_EQ(testing::readFile(optionsFile()), "own format");
}

TEST_F(OptionsStoreTest, AutomaticSaveHappensExactlyOnce) {
  auto store = registryStore(true);
  store->options().maxRequests = 8;
  EXPECT_TRUE(store->destroying().saved);
  EXPECT_FALSE(store->autoSave());
  ASSERT_TRUE(fs::remove(optionsFile()));
  EXPECT_TRUE(store->destroying().saved);  // nothing left to do
  store.reset();
  EXPECT_FALSE(fs::exists(optionsFile()));  // nor in the destructor

  store = registryStore(true);
  store->options().maxRequests = 9;
  store.reset();  // the destructor saves
  store = registryStore();
  store->load();
  EXPECT_EQ(store->options().maxRequests, 9);
  fs::remove(optionsFile());
  registryStore(false).reset();
  EXPECT_FALSE(fs::exists(optionsFile()));
}

}  // namespace
}  // namespace varnook
