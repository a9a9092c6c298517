// Archives laid out byte by byte, as other writers make them or as damage leaves them:
// what the reader takes (each writer's folder marks, zip64 sizes in a local header) and
// what it refuses whole (records that disagree, sizes this process cannot hold).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <zlib.h>

#include "archive/zip_records.h"
#include "standins/zip/zip_format.h"
#include "standins/zip/zip_reader.h"
#include "tests/support/test_files.h"

namespace kvxzip {
namespace {

namespace fs = std::filesystem;

constexpr uint16_t kMadeByNTFS = 10 << 8 | 20;
constexpr uint16_t kMadeByMSDOS = 0 << 8 | 20;
constexpr uint16_t kMadeByVFAT = 14 << 8 | 20;
constexpr uint16_t kMadeByUnix = 3 << 8 | 30;
constexpr uint32_t kUnixFolderMode = 0040755u << 16;
constexpr uint32_t kUnixFileMode = 0100644u << 16;

template <typename T>
void Append(std::string& out, const T& record) {
  out.append(reinterpret_cast<const char*>(&record), sizeof record);
}

struct Entry {
  std::string name;
  std::string data;
  uint16_t madeBy = kMadeByNTFS;
  uint32_t attributes = kAttributeArchive;
  bool zip64Local = false;  // sizes 0xFFFFFFFF in the local header, the real ones in its zip64 field
};

// A file laid out as head, then (sparse, zeros that cost no disk) tail at tailAt.
struct Layout {
  std::string head;
  uint64_t tailAt = 0;
  std::string tail;
};

// Stored members and their central directory, the records ending it not yet written.
struct Members {
  std::string bytes;
  uint64_t centralOffset = 0;
  uint64_t centralSize = 0;
};

Members StoredMembers(const std::vector<Entry>& entries) {
  Members out;
  std::string central;
  for (const Entry& entry : entries) {
    const auto crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(entry.data.data()), static_cast<uInt>(entry.data.size())));
    const auto size = static_cast<uint32_t>(entry.data.size());
    const auto nameLength = static_cast<uint16_t>(entry.name.size());
    const uint32_t localSize = entry.zip64Local ? kMax32 : size;
    const uint16_t extraLength = entry.zip64Local ? sizeof(Zip64LocalExtra) : 0;
    CentralHeader header{};
    header.signature = kCentralHeaderSignature;
    header.versionMadeBy = entry.madeBy;
    header.versionNeeded = 20;
    header.dosTime = 0x5A210000;
    header.crc = crc;
    header.compressedSize = header.size = size;
    header.nameLength = nameLength;
    header.externalAttributes = entry.attributes;
    header.localHeaderOffset = static_cast<uint32_t>(out.bytes.size());
    Append(out.bytes, LocalHeader{kLocalHeaderSignature, 20, 0, kMethodStored, 0x5A210000, crc, localSize, localSize,
                                  nameLength, extraLength});
    out.bytes += entry.name;
    if (entry.zip64Local) Append(out.bytes, Zip64LocalExtra{kZip64ExtraTag, 16, size, size});
    out.bytes += entry.data;
    Append(central, header);
    central += entry.name;
  }
  out.centralOffset = out.bytes.size();
  out.centralSize = central.size();
  out.bytes += central;
  return out;
}

// A plain end record whose entry count is off by countError.
Layout Plain(const std::vector<Entry>& entries, int countError = 0) {
  Members members = StoredMembers(entries);
  const auto count = static_cast<uint16_t>(static_cast<int>(entries.size()) + countError);
  Append(members.bytes, EndRecord{kEndSignature, 0, 0, count, count, static_cast<uint32_t>(members.centralSize),
                                  static_cast<uint32_t>(members.centralOffset), 0});
  return {members.bytes, members.bytes.size(), ""};
}

// Zip64 end records naming a directory of centralSize bytes from the first central header
// on; the file is made that long, the bytes after the real directory being zeros.
Layout Zip64Directory(const std::vector<Entry>& entries, uint64_t centralSize) {
  const Members members = StoredMembers(entries);
  const uint64_t endOffset = members.centralOffset + centralSize;
  std::string tail;
  Append(tail, Zip64EndRecord{kZip64EndSignature, sizeof(Zip64EndRecord) - 12, 45, 45, 0, 0, entries.size(),
                              entries.size(), centralSize, members.centralOffset});
  Append(tail, Zip64Locator{kZip64LocatorSignature, 0, endOffset, 1});
  Append(tail, EndRecord{kEndSignature, 0, 0, kMax16, kMax16, kMax32, kMax32, 0});
  return {members.bytes, endOffset, tail};
}

class Problems final : public ReadObserver {
 public:
  bool Progress(const std::string&, int) override { return true; }
  void Problem(int32_t id, const std::string&) override { ids.push_back(id); }
  std::vector<int32_t> ids;
};

class CraftedArchives : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kvx-crafted-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string Write(const Layout& layout) const {
    const fs::path path = root_ / "crafted.zip";
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(layout.head.data(), static_cast<std::streamsize>(layout.head.size()));
    file.seekp(static_cast<std::streamoff>(layout.tailAt));
    file.write(layout.tail.data(), static_cast<std::streamsize>(layout.tail.size()));
    return path.string();
  }

  fs::path root_;
};

TEST_F(CraftedArchives, EachWritersFolderMarksAreReadAndDisagreeingRecordsRefused) {
  const std::vector<Entry> three = {{"A.TXT", "first"}, {"B.TXT", "second"}, {"C.TXT", "third"}};
  const std::map<std::string, std::string> none;
  const struct {
    const char* what;
    Layout layout;
    ZipResult result;
    std::map<std::string, std::string> extracted;
  } cases[] = {
      {"folder marks by host",
       Plain({{"NTFSDIR", "", kMadeByNTFS, kAttributeFolder},
              {"DOSDIR", "", kMadeByMSDOS, kAttributeFolder},
              {"VFATDIR", "", kMadeByVFAT, kAttributeFolder},
              {"UNIXDIR", "", kMadeByUnix, kUnixFolderMode},
              {"SLASHDIR/", "", kMadeByUnix, kUnixFileMode},
              {"UNIX.TXT", "a Unix file", kMadeByUnix, kUnixFileMode | kAttributeFolder}}),
       ZipResult::Ok,
       {{"NTFSDIR", "/"},
        {"DOSDIR", "/"},
        {"VFATDIR", "/"},
        {"UNIXDIR", "/"},
        {"SLASHDIR", "/"},
        {"UNIX.TXT", "a Unix file"}}},
      {"zip64 sizes in a small member's local header",
       Plain({{"Z64.TXT", "small", kMadeByNTFS, kAttributeArchive, true}}),
       ZipResult::Ok,
       {{"Z64.TXT", "small"}}},
      {"an entry count below the directory's", Plain(three, -1), ZipResult::CannotReadArchive, none},
      {"an entry count above the directory's", Plain(three, +1), ZipResult::CannotReadArchive, none},
      {"a zip64 directory of 3 GiB", Zip64Directory(three, 3ull << 30), ZipResult::CannotReadArchive, none},
      // Cut to 32 bits, the size would be that of the one real header.
      {"a zip64 directory of 4 GiB and one header",
       Zip64Directory({{"A.TXT", "first"}}, (1ull << 32) + sizeof(CentralHeader) + 5), ZipResult::CannotReadArchive,
       none},
  };
  for (const auto& test : cases) {
    const std::string archive = Write(test.layout);
    Problems counting;
    uint64_t count = 0;
    EXPECT_EQ(CountMembers(archive, count, counting), test.result) << test.what;
    ExtractOptions options;
    options.destination = (root_ / "out").string();
    options.recurse = true;
    Problems extracting;
    EXPECT_EQ(ExtractMembers(archive, options, extracting), test.result) << test.what;
    EXPECT_EQ(kvx::test::ReadTree(root_ / "out"), test.extracted) << test.what;
    const std::vector<int32_t> problems =
        test.result == ZipResult::Ok ? std::vector<int32_t>{} : std::vector<int32_t>{kvx::kUnzipMsgCannotRead};
    EXPECT_EQ(counting.ids, problems) << test.what;
    EXPECT_EQ(extracting.ids, problems) << test.what;
    fs::remove_all(root_ / "out");
  }
}

}  // namespace
}  // namespace kvxzip
