// The uncached reader reads whole sectors at sector offsets and keeps only what was asked:
// whatever the offsets, lengths and file sizes, the bytes read are the file's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/uncached_file.h"
#include "tests/support/test_files.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kSector = 4096, kBuffer = uint64_t{2} << 20;

// Bytes that tell their offset apart, so that a read from the wrong place shows.
std::string Pattern(uint64_t size) {
  std::string bytes(size, '\0');
  for (uint64_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
  return bytes;
}

struct Range {
  uint64_t offset;
  uint64_t size;
};

struct Case {
  const char* name;
  uint64_t fileSize;
  std::vector<Range> reads;  // in this order, on one open file
};

class UncachedFileTest : public testing::Test {
 protected:
  void SetUp() override {
    file_ = fs::temp_directory_path() / ("kvx-uncached-" + std::to_string(getpid()) + ".bin");
  }
  void TearDown() override { fs::remove(file_); }

  fs::path file_;
};

TEST_F(UncachedFileTest, ReadsGiveExactlyTheFilesBytes) {
  const std::vector<Case> cases = {
      {"empty", 0, {{0, 0}}},
      {"shorter than a sector", 100, {{0, 100}, {37, 63}, {99, 1}, {0, 1}}},
      {"exact sectors", 3 * kSector, {{0, 3 * kSector}, {kSector, kSector}, {3 * kSector - 1, 1}, {kSector - 1, 2}}},
      {"unaligned ranges", 5 * kSector + 123, {{4095, 4098}, {1, 5 * kSector + 122}, {5 * kSector, 123}, {17, 0}}},
      {"exact buffers", 2 * kBuffer, {{0, 2 * kBuffer}, {kBuffer - 3, 6}, {kBuffer, 1}}},
      {"past several buffers",
       2 * kBuffer + 2 * kSector + 17,
       {{kBuffer + 5, kBuffer + 2 * kSector + 12}, {3, 2 * kBuffer + 2 * kSector + 14}, {2 * kBuffer + kSector, kSector + 17}, {100, 65536}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = Pattern(c.fileSize);
    test::WriteWholeFile(file_, bytes);
    UncachedFile file;
    std::string error;
    ASSERT_TRUE(file.Open(file_, error)) << error;
    EXPECT_EQ(file.Size(), c.fileSize);
    for (const Range& range : c.reads) {
      std::string read(range.size, '\x5A');
      ASSERT_TRUE(file.Read(range.offset, read.data(), read.size(), error)) << range.offset << " " << error;
      EXPECT_TRUE(read == bytes.substr(range.offset, range.size)) << "at " << range.offset << ", " << range.size;
    }
  }
}

TEST_F(UncachedFileTest, RangesOutsideTheFileAndMissingFilesFail) {
  test::WriteWholeFile(file_, Pattern(kSector + 10));
  UncachedFile file;
  std::string error;
  ASSERT_TRUE(file.Open(file_, error)) << error;
  std::string read(kSector, '\0');
  for (const Range& range : {Range{kSector + 10, 1}, Range{11, kSector}, Range{~uint64_t{0}, 2}}) {
    error.clear();
    EXPECT_FALSE(file.Read(range.offset, read.data(), range.size, error)) << range.offset;
    EXPECT_FALSE(error.empty());
  }
  UncachedFile missing;
  error.clear();
  EXPECT_FALSE(missing.Open(file_.string() + ".missing", error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(missing.IsOpen());
}

}  // namespace
}  // namespace kvx
