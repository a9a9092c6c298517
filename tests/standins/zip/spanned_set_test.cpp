// Spanned sets written over a drive whose diskettes are folders on a shelf, and read
// back from their last diskette: headers never straddle two volumes, the diskettes are
// asked for by number and in order, a wrong one is asked for again, Annuler cancels.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <map>
#include <set>

#include "standins/zip/spanned_writer.h"
#include "standins/zip/zip_format.h"
#include "standins/zip/zip_reader.h"
#include "tests/support/test_files.h"

namespace kvxzip {
namespace {

namespace fs = std::filesystem;

// The drive holds one folder of the shelf at a time; the person's answers are scripted.
class ShelfDrive final : public DisketteDrive {
 public:
  ShelfDrive(fs::path drive, fs::path shelf) : drive_(std::move(drive)), shelf_(std::move(shelf)) {}

  bool Ask(DisketteQuestion question, uint32_t volume) override {
    const std::string request = (question == DisketteQuestion::Insert ? "insert " : "erase ") + std::to_string(volume);
    asked.push_back(request);
    if (refused.count(request)) return false;
    if (volume == kLastDiskette) volume = highest_;
    if (question != DisketteQuestion::Insert) return true;
    if (const auto instead = putInstead.find(volume); instead != putInstead.end()) {
      Swap(instead->second);
      putInstead.erase(instead);
    } else {
      Swap(wrongFor == volume ? (wrongFor = 0, volume + 1) : volume);
    }
    return true;
  }
  std::optional<uint64_t> Room() override { return room; }
  bool HasContent(uint16_t) override { return !fs::is_empty(drive_); }
  bool Empty(uint16_t) override {
    for (const auto& entry : fs::directory_iterator(drive_)) fs::remove_all(entry.path());
    return true;
  }

  fs::path Volume(uint32_t number) const {
    return (number == current_ ? drive_ : shelf_ / std::to_string(number)) / "SET.ZIP";
  }
  uint32_t Current() const { return current_; }

  uint64_t room = 20000;
  std::vector<std::string> asked;
  std::set<std::string> refused;
  uint32_t wrongFor = 0;  // the first request for this diskette gets the next one
  std::map<uint32_t, uint32_t> putInstead;  // the first request for a diskette gets this one (maybe the one in)

 private:
  void Swap(uint32_t number) {
    if (number == current_) return;
    const fs::path out = shelf_ / std::to_string(current_), in = shelf_ / std::to_string(number);
    fs::create_directories(out);
    fs::create_directories(in);
    for (const auto& entry : fs::directory_iterator(drive_)) fs::rename(entry.path(), out / entry.path().filename());
    for (const auto& entry : fs::directory_iterator(in)) fs::rename(entry.path(), drive_ / entry.path().filename());
    current_ = number;
    highest_ = std::max(highest_, number);
  }

  fs::path drive_, shelf_;
  uint32_t current_ = 1;
  uint32_t highest_ = 1;
};

class Quiet final : public WriteObserver, public ReadObserver {
 public:
  bool Progress(const std::string&, int) override { return true; }
  void SourceFailed(const std::string&, SourceFailure, const std::string&) override {}
  void Problem(int32_t id, const std::string&) override { problems.push_back(id); }
  std::vector<int32_t> problems;
};

class SpannedSet : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kvx-spanned-" + std::to_string(getpid()));
    fs::remove_all(root_);
    for (const char* folder : {"src", "A", "shelf", "out"}) fs::create_directories(root_ / folder);
    std::mt19937 random(3);
    for (int i = 0; i < 40; ++i) AddSource("F" + std::to_string(i) + ".BIN", 1000 + 97 * i, random);
    AddSource("BIG.BIN", 70000, random);
  }
  void TearDown() override { fs::remove_all(root_); }

  void AddSource(const std::string& name, size_t size, std::mt19937& random) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    std::ofstream(root_ / "src" / name, std::ios::binary) << bytes;
    sources_.push_back({(root_ / "src" / name).string(), name, false, size, 0x5A210000});
  }

  ZipResult Write(ShelfDrive& drive, const char* faults = "") {
    return WriteSpanned(ArchivePath(), sources_, WriteOptions{9, 2, ParseZipFaults(faults)}, quiet_, drive, 0x8300);
  }
  ZipResult Extract(ShelfDrive* drive) {
    ExtractOptions options;
    options.destination = (root_ / "out").string();
    return ExtractMembers(ArchivePath(), options, quiet_, drive);
  }
  std::string ArchivePath() const { return (root_ / "A" / "SET.ZIP").string(); }
  ShelfDrive Drive() const { return ShelfDrive(root_ / "A", root_ / "shelf"); }

  static std::vector<std::string> Inserts(uint32_t from, uint32_t to) {
    std::vector<std::string> asked;
    for (uint32_t n = from; n <= to; ++n) asked.push_back("insert " + std::to_string(n));
    return asked;
  }

  fs::path root_;
  std::vector<SourceEntry> sources_;
  Quiet quiet_;
};

TEST_F(SpannedSet, VolumesFillTheirDiskettesWithWholeHeadersAndReadBackInOrder) {
  ShelfDrive drive = Drive();
  ASSERT_EQ(Write(drive), ZipResult::Ok);
  const uint32_t count = drive.Current();
  ASSERT_GE(count, 6u);
  EXPECT_EQ(drive.asked, Inserts(2, count));
  EXPECT_EQ(kvx::test::ReadWholeFile(drive.Volume(1)).substr(0, 4), "PK\x07\x08");

  // Every local header named by the central directory lies whole in its volume.
  const std::string last = kvx::test::ReadWholeFile(drive.Volume(count));
  EndRecord end;
  std::memcpy(&end, last.data() + last.size() - sizeof end, sizeof end);
  EXPECT_EQ(end.disk, count - 1);
  EXPECT_EQ(end.centralDisk, count - 1);
  ASSERT_EQ(end.entries, sources_.size());
  for (size_t at = end.centralOffset, i = 0; i < end.entries; ++i) {
    CentralHeader central;
    std::memcpy(&central, last.data() + at, sizeof central);
    const std::string volume = kvx::test::ReadWholeFile(drive.Volume(central.diskStart + 1u));
    EXPECT_LE(volume.size(), drive.room);
    ASSERT_LE(central.localHeaderOffset + sizeof(LocalHeader) + central.nameLength, volume.size());
    EXPECT_EQ(volume.compare(central.localHeaderOffset, 4, "PK\x03\x04"), 0);
    EXPECT_EQ(central.flags & kFlagDataDescriptor, kFlagDataDescriptor);
    at += sizeof central + central.nameLength + central.extraLength + central.commentLength;
  }

  // Read with the first diskette in the drive: the last one is asked for, then 1; a
  // wrong one comes and 1 is asked for again.
  drive.Ask(DisketteQuestion::Insert, 1);
  drive.asked.clear();
  drive.wrongFor = 1;
  uint64_t members = 0;
  ASSERT_EQ(CountMembers(ArchivePath(), members, quiet_, &drive), ZipResult::Ok);
  EXPECT_EQ(members, sources_.size());
  ASSERT_EQ(Extract(&drive), ZipResult::Ok);
  std::vector<std::string> expected = {"insert 0", "insert 1"};
  for (const std::string& request : Inserts(1, count)) expected.push_back(request);
  EXPECT_EQ(drive.asked, expected);
  for (const SourceEntry& source : sources_)
    EXPECT_EQ(kvx::test::ReadWholeFile(root_ / "out" / source.name), kvx::test::ReadWholeFile(source.path)) << source.name;
  EXPECT_TRUE(quiet_.problems.empty());
}

TEST_F(SpannedSet, AnnulerEndsTheSetAndTheExtraction) {
  ShelfDrive drive = Drive();
  drive.refused = {"insert 3"};
  EXPECT_EQ(Write(drive), ZipResult::Cancelled);
  EXPECT_TRUE(fs::is_empty(root_ / "A"));  // the unfinished volume is not left on the diskette

  fs::remove_all(root_ / "shelf");
  ShelfDrive fresh = Drive();
  ASSERT_EQ(Write(fresh), ZipResult::Ok);
  EXPECT_EQ(Extract(nullptr), ZipResult::CannotReadArchive);  // no drive to ask the other diskettes from
  fresh.refused = {"insert 2"};
  EXPECT_EQ(Extract(&fresh), ZipResult::Cancelled);
  EXPECT_EQ(fresh.asked.back(), "insert 2");
}

TEST_F(SpannedSet, ASetOnOneDisketteIsAPlainArchive) {
  ShelfDrive drive = Drive();
  std::ofstream(root_ / "A" / "OLD.TXT") << "erased";
  drive.room = 1 << 20;
  ASSERT_EQ(Write(drive), ZipResult::Ok);
  EXPECT_EQ(drive.asked, std::vector<std::string>{"erase 1"});
  EXPECT_FALSE(fs::exists(root_ / "A" / "OLD.TXT"));
  EXPECT_EQ(kvx::test::ReadWholeFile(drive.Volume(1)).substr(0, 4), "PK00");
  ASSERT_EQ(Extract(nullptr), ZipResult::Ok);
  EXPECT_EQ(kvx::test::ReadWholeFile(root_ / "out" / "BIG.BIN"), kvx::test::ReadWholeFile(root_ / "src" / "BIG.BIN"));
}

// A diskette already holding a volume of the set being written (put back, or never
// taken out when OK was pressed) is asked for again, never erased.
TEST_F(SpannedSet, ADisketteOfTheSetIsAskedForAgainNotErased) {
  ShelfDrive drive = Drive();
  drive.putInstead = {{3, 2}, {4, 3}};  // diskette 2 back when 3 is asked; OK without swapping when 4 is
  ASSERT_EQ(Write(drive), ZipResult::Ok);
  const uint32_t count = drive.Current();
  ASSERT_GE(count, 6u);
  std::vector<std::string> expected = {"insert 2", "insert 3", "insert 3", "insert 4", "insert 4"};
  for (const std::string& request : Inserts(5, count)) expected.push_back(request);
  ASSERT_EQ(drive.asked, expected);  // an erased volume would have the reader ask for it forever
  ASSERT_EQ(Extract(&drive), ZipResult::Ok);
  for (const SourceEntry& source : sources_)
    EXPECT_EQ(kvx::test::ReadWholeFile(root_ / "out" / source.name), kvx::test::ReadWholeFile(source.path)) << source.name;
}

// A source that fails part way or a volume that cannot be flushed fails the set, and the
// volume in the drive is removed so that nothing reads as a whole backup. No volume is
// read back, by either model: a set whose volumes reached their diskettes altered counts
// as written, and only a reader finds it damaged.
TEST_F(SpannedSet, ASetThatIsNotWholeFailsAndADamagedOneIsFoundByAReader) {
  const struct {
    const char* faults;
    LibraryModel model;
    ZipResult result;
  } cases[] = {
      {"read-fail-at=F30.BIN@500", LibraryModel::Plain, ZipResult::SourcesSkipped},
      {"flush-fail=1", LibraryModel::Plain, ZipResult::CannotWrite},
      {"flush-fail=1", LibraryModel::Careless, ZipResult::CannotWrite},
      {"write-corrupt-at=9000", LibraryModel::Plain, ZipResult::Ok},
      {"write-corrupt-at=9000", LibraryModel::Careless, ZipResult::Ok},
  };
  for (const auto& test : cases) {
    fs::remove_all(root_ / "shelf");
    fs::remove_all(root_ / "A");
    fs::create_directories(root_ / "A");
    ShelfDrive drive = Drive();
    WriteOptions options{9, 2, ParseZipFaults(test.faults)};
    options.model = test.model;
    EXPECT_EQ(WriteSpanned(ArchivePath(), sources_, options, quiet_, drive, 0x8300), test.result) << test.faults;
    if (test.result != ZipResult::Ok) {
      EXPECT_TRUE(fs::is_empty(root_ / "A")) << test.faults;
      continue;
    }
    EXPECT_GE(drive.Current(), 6u);
    EXPECT_EQ(Extract(&drive), ZipResult::CannotReadArchive) << test.faults;
  }
}

}  // namespace
}  // namespace kvxzip
