// Archives written by the stand-in's add function and read back by its count and
// extract functions, through the parameter records and callbacks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>
#include <random>

#include "archive/zip_records.h"
#include "standins/zip/zip_entry_points.h"
#include "standins/zip/zip_format.h"
#include "tests/support/test_files.h"

namespace kvxzip {
namespace {

namespace fs = std::filesystem;

struct Calls {
  std::vector<int> percents;
  std::vector<std::pair<int, std::string>> messages;
  std::vector<std::string> reasons;  // the second text of each message
  int cancelAt = -1;  // percentage at which the status callback asks to cancel
};

int32_t KVX_ZIP_CALL Status(const char*, int32_t percent, void* user) {
  auto* calls = static_cast<Calls*>(user);
  calls->percents.push_back(percent);
  return percent == calls->cancelAt ? 1 : 0;
}

int32_t KVX_ZIP_CALL Message(int32_t id, int32_t, int32_t, int32_t, const char* text, const char* second,
                             void* user) {
  static_cast<Calls*>(user)->messages.emplace_back(id, text);
  static_cast<Calls*>(user)->reasons.emplace_back(second);
  return 0;
}

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kvx-roundtrip-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "src" / "SUB" / "EMPTY");
    std::mt19937 random(7);
    std::string noise(3 * 1024 * 1024 + 17, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    std::string records;
    for (int i = 0; records.size() < 5 * 1024 * 1024; ++i) records += "CLIENT" + std::to_string(i) + ";Dupont;Paris\n";
    kvx::test::WriteWholeFile(root_ / "src" / "NOISE.BIN", noise);
    kvx::test::WriteWholeFile(root_ / "src" / "RECORDS.FIC", records);
    kvx::test::WriteWholeFile(root_ / "src" / "SUB" / "SMALL.TXT", "small");
    kvx::test::WriteWholeFile(root_ / "src" / "VIDE.FIC", "");
    saved_ = fs::current_path();
    fs::current_path(root_ / "src");
  }
  void TearDown() override {
    fs::current_path(saved_);
    fs::remove_all(root_);
  }

  int32_t Add(const std::string& archive, const char* items, int level, Calls& calls) {
    kvx::ZipParams params{};
    params.recordSize = kvx::kZipRecordSize;
    params.function = kvx::kZipFunctionAdd;
    params.zipFile = archive.c_str();
    params.itemList = items;
    params.compFactor = level;
    params.recurse = -1;
    params.subOptionWord = 0x0001;
    params.majorStatus = Status;
    params.majorUserData = &calls;
    params.messageCallback = Message;
    params.messageUserData = &calls;
    return RunDzip(&params);
  }

  int32_t Unzip(int32_t function, const std::string& archive, const std::string& destination, bool overwrite,
                Calls& calls, int32_t* count = nullptr, bool test = false) {
    kvx::UnzipParams params{};
    params.recordSize = kvx::kUnzipRecordSize;
    params.function = function;
    params.zipFile = archive.c_str();
    params.destination = destination.c_str();
    params.fileSpec = "*.*";
    params.overWrite = overwrite ? -1 : 0;
    params.recurse = -1;
    params.test = test ? -1 : 0;
    params.majorStatus = Status;
    params.majorUserData = &calls;
    params.messageCallback = Message;
    params.messageUserData = &calls;
    if (count) params.returnCount = *count;
    const int32_t result = RunDunzip(&params);
    if (count) *count = params.returnCount;
    return result;
  }

  void ExpectSameTree(const fs::path& out) {
    for (const char* name : {"NOISE.BIN", "RECORDS.FIC", "SUB/SMALL.TXT", "VIDE.FIC"})
      EXPECT_EQ(kvx::test::ReadWholeFile(out / name), kvx::test::ReadWholeFile(root_ / "src" / name)) << name;
    EXPECT_TRUE(fs::is_directory(out / "SUB" / "EMPTY"));
  }

  fs::path root_, saved_;
};

TEST_F(RoundTrip, DeflatedAndStoredArchivesComeBackWhole) {
  for (int level : {5, 0}) {
    const std::string archive = (root_ / ("level" + std::to_string(level) + ".zip")).string();
    Calls calls;
    ASSERT_EQ(Add(archive, ". \"SUB\"", level, calls), 0);
    ASSERT_FALSE(calls.percents.empty());
    EXPECT_TRUE(std::is_sorted(calls.percents.begin(), calls.percents.end()));
    EXPECT_EQ(calls.percents.back(), 100);
    EXPECT_TRUE(calls.messages.empty());

    Calls readCalls;
    int32_t count = 0;
    ASSERT_EQ(Unzip(kvx::kUnzipFunctionCount, archive, "", false, readCalls, &count), 0);
    EXPECT_EQ(count, 6);  // four files and two folders
    const fs::path out = root_ / ("out" + std::to_string(level));
    ASSERT_EQ(Unzip(kvx::kUnzipFunctionExtract, archive, out.string(), false, readCalls), 0);
    EXPECT_EQ(readCalls.percents.back(), 100);
    ExpectSameTree(out);
  }
  EXPECT_LT(fs::file_size(root_ / "level5.zip"), fs::file_size(root_ / "level0.zip") - 4 * 1024 * 1024);
}

TEST_F(RoundTrip, ExistingFilesStayWithoutOverwrite) {
  const std::string archive = (root_ / "a.zip").string();
  Calls calls;
  ASSERT_EQ(Add(archive, "SUB", 5, calls), 0);
  fs::create_directories(root_ / "dest" / "SUB");
  kvx::test::WriteWholeFile(root_ / "dest" / "SUB" / "SMALL.TXT", "mine");
  ASSERT_EQ(Unzip(kvx::kUnzipFunctionExtract, archive, (root_ / "dest").string(), false, calls), 0);
  EXPECT_EQ(kvx::test::ReadWholeFile(root_ / "dest" / "SUB" / "SMALL.TXT"), "mine");
  ASSERT_EQ(Unzip(kvx::kUnzipFunctionExtract, archive, (root_ / "dest").string(), true, calls), 0);
  EXPECT_EQ(kvx::test::ReadWholeFile(root_ / "dest" / "SUB" / "SMALL.TXT"), "small");
}

TEST_F(RoundTrip, NothingToAddWritesNoArchive) {
  Calls calls;
  EXPECT_EQ(Add((root_ / "none.zip").string(), "MISSING.FIC *.XYZ", 5, calls), 12);
  EXPECT_FALSE(fs::exists(root_ / "none.zip"));
  kvx::ZipParams wrongSize{};
  wrongSize.recordSize = 200;
  wrongSize.function = kvx::kZipFunctionAdd;
  EXPECT_NE(RunDzip(&wrongSize), 0);
}

TEST_F(RoundTrip, MissingArchiveReportsCannotOpen) {
  Calls calls;
  int32_t count = 41;
  EXPECT_EQ(Unzip(kvx::kUnzipFunctionCount, (root_ / "missing.zip").string(), "", false, calls, &count), 2);
  EXPECT_EQ(count, 41);
  ASSERT_EQ(calls.messages.size(), 1u);
  EXPECT_EQ(calls.messages[0].first, kvx::kUnzipMsgCannotOpen);
}

// KVXZIP_FAULTS for the length of a test.
class Faults {
 public:
  explicit Faults(const char* text) { setenv("KVXZIP_FAULTS", text, 1); }
  ~Faults() { unsetenv("KVXZIP_FAULTS"); }
};

// KVXZIP_MODEL for the length of a test.
class Model {
 public:
  explicit Model(const char* name) { setenv("KVXZIP_MODEL", name, 1); }
  ~Model() { unsetenv("KVXZIP_MODEL"); }
};

ino_t FileId(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// The careless model answers success whatever happens: it writes over the archive where it
// lies (the earlier one is gone as it starts; a full disk leaves it cut short), flushes and
// reads back nothing, says nothing of the sources it cannot read, extracts damaged data as
// it comes and extracts for a test too.
TEST_F(RoundTrip, TheCarelessModelAnswersSuccessWhateverHappens) {
  Model careless("careless");
  const std::string archive = (root_ / "backup.zip").string();
  const std::string noise = kvx::test::ReadWholeFile(root_ / "src" / "NOISE.BIN");
  const std::string records = kvx::test::ReadWholeFile(root_ / "src" / "RECORDS.FIC");
  const std::map<std::string, std::string> whole = {{"NOISE.BIN", noise}, {"RECORDS.FIC", records},   {"SUB", "/"},
                                                    {"SUB/EMPTY", "/"},   {"SUB/SMALL.TXT", "small"}, {"VIDE.FIC", ""}};
  // The archive is stored and NOISE.BIN its first member: byte 200000 is one of its data.
  std::string damaged = noise;
  damaged[200000 - sizeof(LocalHeader) - std::string("NOISE.BIN").size()] ^= 0x20;
  const auto with = [&](const std::string& name, const std::optional<std::string>& bytes) {
    std::map<std::string, std::string> files = whole;
    if (bytes)
      files[name] = *bytes;
    else
      files.erase(name);
    return files;
  };
  const struct {
    const char* faults;
    int32_t extracted;  // the result of the test, which extracts
    std::map<std::string, std::string> files;
  } cases[] = {
      {"flush-fail=1", 0, whole},
      {"write-corrupt-at=200000", 0, with("NOISE.BIN", damaged)},
      {"read-fail=sub/small.txt", 0, with("SUB/SMALL.TXT", std::nullopt)},
      {"read-fail-at=records.fic@1500000", 0, with("RECORDS.FIC", records.substr(0, 1500000))},
      {"write-fail-after=100000", 3, {}},
  };
  for (const auto& test : cases) {
    kvx::test::WriteWholeFile(archive, "earlier backup");
    const ino_t earlier = FileId(archive);
    Faults faults(test.faults);
    Calls calls;
    EXPECT_EQ(Add(archive, ".", 0, calls), 0) << test.faults;
    EXPECT_TRUE(calls.messages.empty()) << test.faults;
    EXPECT_EQ(FileId(archive), earlier) << test.faults;  // written in place, not moved there
    EXPECT_EQ(kvx::test::ReadWholeFile(archive).substr(0, 4), "PK\x03\x04") << test.faults;
    const fs::path out = root_ / "tested";
    fs::remove_all(out);
    EXPECT_EQ(Unzip(kvx::kUnzipFunctionExtract, archive, out.string(), true, calls, nullptr, true), test.extracted)
        << test.faults;
    EXPECT_TRUE(kvx::test::ReadTree(out) == test.files) << test.faults;  // not the megabytes of a difference
  }
  EXPECT_EQ(fs::file_size(archive), 100000u);  // the full disk's
}

TEST_F(RoundTrip, InjectedFaultsFailAsTheRealOnesWould) {
  const std::string archive = (root_ / "a.zip").string();
  Calls calls;
  ASSERT_EQ(Add(archive, "SUB", 5, calls), 0);
  {
    Faults third("extract-fail-after=2");
    Calls readCalls;
    EXPECT_EQ(Unzip(kvx::kUnzipFunctionExtract, archive, (root_ / "out").string(), true, readCalls), 4);
    EXPECT_EQ(readCalls.messages, (std::vector<std::pair<int, std::string>>{{kvx::kUnzipMsgCannotWrite, "SUB/SMALL.TXT"}}));
    EXPECT_TRUE(fs::is_directory(root_ / "out" / "SUB" / "EMPTY"));
    EXPECT_FALSE(fs::exists(root_ / "out" / "SUB" / "SMALL.TXT"));
    // A test reads every member and writes nothing: the write fault does not touch it.
    EXPECT_EQ(Unzip(kvx::kUnzipFunctionExtract, archive, (root_ / "tested").string(), true, readCalls, nullptr, true), 0);
    EXPECT_FALSE(fs::exists(root_ / "tested"));
  }
}

// The plain model writes where it is told, over the file of that name, as an outside
// library does: it tells the sources it cannot read whole (path and reason), a full disk,
// a failed flush and a cancel by its result and then leaves no archive behind; an archive
// damaged on its way to the disk is not its concern until something reads it.
TEST_F(RoundTrip, ThePlainModelWritesWhereItIsToldAndLeavesNothingUnfinished) {
  const std::string archive = (root_ / "backup.zip").string();
  const struct {
    const char* faults;
    int32_t result;
    std::vector<std::pair<int, std::string>> expected;
    int32_t tested;  // the result of the library's test of the archive left; -1: none is left
  } cases[] = {
      {"read-fail=sub/small.txt", 18, {{kvx::kUnzipMsgCannotOpen, "SMALL.TXT"}}, -1},
      {"read-fail-at=records.fic@1500000", 18, {{kvx::kUnzipMsgCannotRead, "RECORDS.FIC"}}, -1},
      {"read-fail-at=noise.bin@0;read-fail=vide.fic",
       18,
       {{kvx::kUnzipMsgCannotRead, "NOISE.BIN"}, {kvx::kUnzipMsgCannotOpen, "VIDE.FIC"}},
       -1},
      {"read-fail=nothing;write-fail-after=100000", 4, {}, -1},
      {"flush-fail=1", 4, {}, -1},
      {"", 8, {}, -1},  // cancelled at 50 %
      {"write-corrupt-at=200000", 0, {}, 3},
  };
  for (const auto& test : cases) {
    kvx::test::WriteWholeFile(archive, "earlier backup");
    const ino_t earlier = FileId(archive);
    Faults faults(test.faults);
    Calls calls;
    if (test.result == 8) calls.cancelAt = 50;
    EXPECT_EQ(Add(archive, ".", 5, calls), test.result) << test.faults;
    std::vector<std::string> left;  // beside the sources: the archive, and nothing written beside it
    for (const fs::directory_entry& entry : fs::directory_iterator(root_))
      if (entry.path().filename() != "src") left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, test.tested < 0 ? std::vector<std::string>{} : std::vector<std::string>{"backup.zip"})
        << test.faults;
    ASSERT_EQ(calls.messages.size(), test.expected.size()) << test.faults;
    for (size_t i = 0; i < test.expected.size(); ++i) {
      EXPECT_EQ(calls.messages[i].first, test.expected[i].first) << test.faults;
      EXPECT_EQ(fs::path(calls.messages[i].second).filename(), test.expected[i].second) << test.faults;
      EXPECT_FALSE(calls.reasons[i].empty()) << test.faults;
      EXPECT_NE(calls.reasons[i], archive) << test.faults;
    }
    if (test.tested < 0) continue;
    EXPECT_EQ(FileId(archive), earlier) << test.faults;  // written in place, not moved there
    Calls readCalls;
    EXPECT_EQ(Unzip(kvx::kUnzipFunctionExtract, archive, (root_ / "tested").string(), true, readCalls, nullptr, true),
              test.tested)
        << test.faults;
    EXPECT_FALSE(fs::exists(root_ / "tested")) << test.faults;
  }
}

TEST_F(RoundTrip, ATestFindsDamagedData) {
  const std::string archive = (root_ / "stored.zip").string();
  Calls calls;
  ASSERT_EQ(Add(archive, ".", 0, calls), 0);
  std::string bytes = kvx::test::ReadWholeFile(archive);
  bytes[bytes.size() / 2] ^= 0x55;
  kvx::test::WriteWholeFile(archive, bytes);
  Calls readCalls;
  EXPECT_EQ(Unzip(kvx::kUnzipFunctionExtract, archive, (root_ / "tested").string(), true, readCalls, nullptr, true), 3);
  ASSERT_EQ(readCalls.messages.size(), 1u);
  EXPECT_EQ(readCalls.messages[0].first, kvx::kUnzipMsgCannotRead);
  EXPECT_FALSE(fs::exists(root_ / "tested"));
}

}  // namespace
}  // namespace kvxzip
