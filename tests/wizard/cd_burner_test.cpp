// TCDBurner over a scripted shell service: the file list, the staging area, the burn
// thread and the completion on the GUI thread.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "base/event.h"
#include "base/file_search.h"
#include "ui/form.h"
#include "ui/text_controls.h"
#include "wizard/cd_burner.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

struct ServiceScript {
  bool opens = true;
  bool recorder = true;
  std::string error = "Classe non enregistr\xE9" "e";
  Event release{true, true};  // the burn returns once this is set
  std::atomic<int> burns{0};
  std::atomic<bool> burnedOnGUIThread{false};
  std::thread::id guiThread = std::this_thread::get_id();
  std::atomic<bool> releasedOffGUIThread{false};
  const char* throws = nullptr;  // the burn fails with this once released
  const char* refused = nullptr;  // the service answers the burn with this failure
  // The recorder's drive: a folder here. A burn copies the staging area's files into it,
  // except that the file named lost does not arrive and the one named damaged arrives
  // with its first byte altered.
  std::string drive = "E:\\";
  std::filesystem::path staging;
  std::string lost, damaged;
};

// What the scripted recorder's disc gets from the staging area.
void BurnStagingArea(const ServiceScript& script) {
  if (script.staging.empty()) return;
  for (const auto& entry : std::filesystem::directory_iterator(script.staging)) {
    const std::string name = entry.path().filename().string();
    if (name == script.lost) continue;
    const std::filesystem::path copy = std::filesystem::path(script.drive) / name;
    std::filesystem::copy_file(entry.path(), copy, std::filesystem::copy_options::overwrite_existing);
    if (name != script.damaged) continue;
    std::fstream file(copy, std::ios::binary | std::ios::in | std::ios::out);
    const char first = static_cast<char>(file.get());
    file.seekp(0);
    file.put(static_cast<char>(~first));
  }
}

class ScriptedService final : public CDBurnService {
 public:
  explicit ScriptedService(ServiceScript& script) : script_(script) {}
  ~ScriptedService() override {
    if (std::this_thread::get_id() != script_.guiThread) script_.releasedOffGUIThread = true;
  }
  bool Open(std::string& error) override {
    if (!script_.opens) error = script_.error;
    return script_.opens;
  }
  bool HasRecordableDrive() override { return script_.recorder; }
  std::string RecorderDriveLetter() override { return script_.drive; }
  WorkerBurnFunction WorkerBurn() override {
    return [script = &script_](intptr_t, std::string& error) {
      if (std::this_thread::get_id() == script->guiThread) script->burnedOnGUIThread = true;
      script->release.Wait();
      ++script->burns;
      if (script->throws) throw std::runtime_error(script->throws);
      if (script->refused) error = script->refused;
      else BurnStagingArea(*script);
      return script->refused == nullptr;
    };
  }

 private:
  ServiceScript& script_;
};

std::string Native(const fs::path& path) {
#ifdef _WIN32
  std::string text = path.string();
  for (char& c : text)
    if (c == '/') c = '\\';
  return text;
#else
  return path.string();
#endif
}

class CDBurner : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kvx_cdburn_" + std::to_string(counter_++));
    fs::remove_all(root_);
    fs::create_directories(root_ / "staging");
    fs::create_directories(root_ / "a" / "sub");
    fs::create_directories(root_ / "b");
    fs::create_directories(root_ / "disc");
    script_.drive = Native(root_ / "disc") + Sep();
    script_.staging = root_ / "staging";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  void Write(const fs::path& path, size_t size, char fill = 'x') {
    std::ofstream(path, std::ios::binary) << std::string(size, fill);
  }
  std::unique_ptr<TCDBurner> Make(ui::Component* owner, std::string staging = {}) {
    if (staging.empty()) staging = Native(root_ / "staging");
    return std::make_unique<TCDBurner>(owner, "CDBurner1", std::make_unique<ScriptedService>(script_), staging);
  }
  std::string Sep() const { return std::string(1, kPathSeparator); }

  ServiceScript script_;
  ui::Form form_{"Enregistrer"};
  fs::path root_;
  static inline int counter_ = 0;
};

TEST_F(CDBurner, OwnerMustBeAForm) {
  ui::Label label(&form_, "Label1");
  try {
    Make(&label);
    FAIL() << "created with a control as owner";
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "Error: Component must be owned by TForm");
  }
  EXPECT_THROW(Make(nullptr), std::invalid_argument);
}

TEST_F(CDBurner, EquippedWithARecorder) {
  auto burner = Make(&form_, Native(root_ / "staging") + Sep());
  EXPECT_TRUE(burner->Equipped());
  EXPECT_EQ(burner->BurnerDrive(), script_.drive);
  EXPECT_EQ(burner->LastError(), "");
  // A staging path that already ends with the separator keeps exactly one.
  EXPECT_EQ(burner->BurnArea(), Native(root_ / "staging") + Sep());
}

TEST_F(CDBurner, WithoutTheServiceOrARecorderItIsNotEquipped) {
  script_.opens = false;
  auto noService = Make(&form_);
  EXPECT_FALSE(noService->Equipped());
  EXPECT_EQ(noService->LastError(), "No XP Compatible CDR API presentClasse non enregistr\xE9" "e");
  int result = 99;
  noService->OnBurnDone = [&](int32_t value) { result = value; };
  noService->StartBurn();
  EXPECT_EQ(result, -1);
  EXPECT_FALSE(noService->IsBurning());

  script_.opens = true;
  script_.recorder = false;
  auto noRecorder = Make(&form_);
  EXPECT_FALSE(noRecorder->Equipped());
  EXPECT_EQ(noRecorder->LastError(), "No CD Burner was found");
  EXPECT_EQ(noRecorder->BurnerDrive(), "");
}

TEST_F(CDBurner, FilesAndSizes) {
  Write(root_ / "a" / "one.zip", 1000);
  Write(root_ / "a" / "sub" / "two.zip", 300);
  Write(root_ / "staging" / "old.bin", 50);
  auto burner = Make(&form_);
  EXPECT_FALSE(burner->AddFile(Native(root_ / "a" / "none.zip")));
  EXPECT_TRUE(burner->Files().empty());
  EXPECT_EQ(burner->BurnSize(), 50);
  EXPECT_TRUE(burner->AddFile(Native(root_ / "a" / "*.zip")));
  EXPECT_EQ(burner->BurnSize(), 1050);
  EXPECT_FALSE(burner->AddFolder(Native(root_ / "missing")));
  EXPECT_TRUE(burner->AddFolder(Native(root_ / "a")));
  EXPECT_EQ(burner->Files().size(), 3u);
  EXPECT_EQ(burner->BurnSize(), 1000 + 1000 + 300 + 50);
  Write(root_ / "staging" / "one.zip", 7);
  EXPECT_TRUE(burner->StageFile(Native(root_ / "a" / "one.zip")));  // copied at once, over its namesake
  EXPECT_EQ(fs::file_size(root_ / "staging" / "one.zip"), 1000u);
  EXPECT_EQ(burner->BurnSize(), 2350 + 1000);
  EXPECT_FALSE(burner->StageFile(Native(root_ / "a" / "none.zip")));
  EXPECT_EQ(burner->LastError(), "Could not copy " + Native(root_ / "a" / "none.zip") + " to the burn area");
}

TEST_F(CDBurner, ClearFilesEmptiesTheListAndTheStagingArea) {
  Write(root_ / "staging" / "old.bin", 50);
  fs::create_directories(root_ / "staging" / "dir" / "deeper");
  Write(root_ / "staging" / "dir" / "deeper" / "f", 5);
  auto burner = Make(&form_);
  burner->AddFolder(Native(root_ / "a"));
  EXPECT_TRUE(burner->ClearFiles());
  EXPECT_TRUE(burner->Files().empty());
  EXPECT_TRUE(fs::is_empty(root_ / "staging"));
  EXPECT_EQ(burner->BurnSize(), 0);
}

TEST_F(CDBurner, EmptyFolderRefusesNoPathAndMissingFolders) {
  try {
    EmptyFolder("");
    FAIL();
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "ASSERT FAILED:  Will not EmptyFolder without explicit path.");
  }
  try {
    EmptyFolder(Native(root_ / "nowhere"));
    FAIL();
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "ASSERT FAILED:  Folder not Found");
  }
  auto burner = Make(&form_, Native(root_ / "gone"));
  EXPECT_FALSE(burner->ClearFiles());
  EXPECT_EQ(burner->LastError(), "ASSERT FAILED:  Folder not Found");
}

#ifdef _WIN32
TEST_F(CDBurner, UndeletableStagedFileIsCounted) {
  Write(root_ / "staging" / "locked.bin", 10);
  Write(root_ / "staging" / "free.bin", 10);
  fs::permissions(root_ / "staging" / "locked.bin", fs::perms::owner_write, fs::perm_options::remove);
  auto burner = Make(&form_);
  EXPECT_FALSE(burner->ClearFiles());
  EXPECT_EQ(burner->LastError(), "Could not delete 1 files/folders in burn area");
  EXPECT_FALSE(fs::exists(root_ / "staging" / "free.bin"));
  fs::permissions(root_ / "staging" / "locked.bin", fs::perms::owner_write, fs::perm_options::add);
}
#endif

TEST_F(CDBurner, BurnCopiesOnAWorkerThenEndsOnTheGUIThread) {
  Write(root_ / "a" / "same.zip", 100, 'a');
  Write(root_ / "b" / "same.zip", 200, 'b');
  Write(root_ / "b" / "other.zip", 30, 'o');
  script_.release.Reset();
  auto burner = Make(&form_);
  std::vector<int32_t> results;
  burner->OnBurnDone = [&](int32_t value) { results.push_back(value); };
  ASSERT_TRUE(burner->AddFile(Native(root_ / "a" / "same.zip")));
  ASSERT_TRUE(burner->AddFile(Native(root_ / "b" / "same.zip")));
  ASSERT_TRUE(burner->AddFile(Native(root_ / "b" / "other.zip")));
  burner->StartBurn();
  EXPECT_TRUE(burner->IsBurning());
  EXPECT_FALSE(burner->ClearFiles());
  EXPECT_EQ(burner->LastError(), "Cannot delete staging files while burning!");
  burner->StartBurn();  // a second start while the first burn runs
  EXPECT_EQ(results, std::vector<int32_t>{-1});
  script_.release.Set();
  ASSERT_TRUE(ui::PumpUntil([&] { return results.size() == 2; }, std::chrono::seconds(20)));
  EXPECT_EQ(results, (std::vector<int32_t>{-1, 0}));
  EXPECT_TRUE(burner->BurnThreadFinished()->Wait(20000));
  EXPECT_FALSE(burner->IsBurning());
  EXPECT_EQ(script_.burns, 1);
  EXPECT_FALSE(script_.burnedOnGUIThread);
  // Only the first of two files with the same name reaches the staging area.
  EXPECT_EQ(fs::file_size(root_ / "staging" / "same.zip"), 100u);
  EXPECT_EQ(fs::file_size(root_ / "staging" / "other.zip"), 30u);
}

TEST_F(CDBurner, EndOfABurnAfterTheComponentIsGoneIsDropped) {
  script_.release.Reset();
  auto burner = Make(&form_);
  int calls = 0;
  burner->OnBurnDone = [&](int32_t) { ++calls; };
  burner->StartBurn();
  const std::shared_ptr<Event> finished = burner->BurnThreadFinished();
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    script_.release.Set();
  });
  burner.reset();
  EXPECT_TRUE(finished->IsSet()) << "the component waits for its burn when it goes";
  releaser.join();
  ui::RunPostedTasks();
  EXPECT_EQ(script_.burns, 1);
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(script_.releasedOffGUIThread) << "the service goes with the component, on its thread";
}

TEST_F(CDBurner, AFailedBurnEndsWithItsErrorAndTheNextOneRuns) {
  auto burner = Make(&form_);
  std::vector<int32_t> results;
  burner->OnBurnDone = [&](int32_t value) { results.push_back(value); };
  script_.throws = "Lecteur introuvable";
  burner->StartBurn();
  ASSERT_TRUE(ui::PumpUntil([&] { return results.size() == 1; }, std::chrono::seconds(20)));
  EXPECT_EQ(results, std::vector<int32_t>{-1});
  EXPECT_EQ(burner->LastError(), "Lecteur introuvable");
  EXPECT_FALSE(burner->IsBurning());
  script_.throws = nullptr;
  script_.refused = "Op\xE9ration annul\xE9" "e par l'utilisateur.";  // the service's own result
  burner->StartBurn();
  ASSERT_TRUE(ui::PumpUntil([&] { return results.size() == 2; }, std::chrono::seconds(20)));
  EXPECT_EQ(results, (std::vector<int32_t>{-1, -1}));
  EXPECT_EQ(burner->LastError(), script_.refused);
  script_.refused = nullptr;
  burner->StartBurn();
  ASSERT_TRUE(ui::PumpUntil([&] { return results.size() == 3; }, std::chrono::seconds(20)));
  EXPECT_EQ(results, (std::vector<int32_t>{-1, -1, 0}));
  EXPECT_EQ(script_.burns, 3);
}

// A burn counts once every staged file reads back from the recorder's drive as it was
// staged: a file that differs there or cannot be read fails it, by its name on the disc.
TEST_F(CDBurner, ABurnCountsOnceTheDiscReadsBackAsStaged) {
  struct Case {
    const char* lost;
    const char* damaged;
    int32_t result;
    std::string error;
  };
  const std::string onDisc = script_.drive + "two.zip";
  const Case cases[] = {
      {"", "", 0, ""},
      {"", "two.zip", -1, onDisc + " on the disc differs from the file staged"},
      {"two.zip", "", -1, "Could not read " + onDisc + " back from the disc"},
  };
  Write(root_ / "a" / "one.zip", 3000, 'o');
  Write(root_ / "a" / "two.zip", 70000, 't');
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("lost ") + c.lost + ", damaged " + c.damaged);
    fs::remove_all(root_ / "disc");
    fs::create_directories(root_ / "disc");
    script_.lost = c.lost;
    script_.damaged = c.damaged;
    auto burner = Make(&form_);
    ASSERT_TRUE(burner->ClearFiles());
    ASSERT_TRUE(burner->AddFile(Native(root_ / "a" / "one.zip")));
    ASSERT_TRUE(burner->AddFile(Native(root_ / "a" / "two.zip")));
    int32_t result = 99;
    burner->OnBurnDone = [&](int32_t value) { result = value; };
    burner->StartBurn();
    ASSERT_TRUE(ui::PumpUntil([&] { return result != 99; }, std::chrono::seconds(20)));
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(c.result == 0 ? "" : burner->LastError(), c.error);
  }
}

}  // namespace
}  // namespace kvx
