// The central directory as the toolbox reads it, from archives laid out byte by byte as
// other writers make them or as damage leaves them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "archive/archive_check.h"
#include "archive/zip_directory.h"
#include "tests/support/test_files.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

constexpr uint16_t kMSDOS = 0, kUnix = 3, kNTFS = 10, kVFAT = 14, kDarwin = 19;
constexpr uint32_t kFolderAttribute = 0x10;
constexpr uint32_t kUnixFolder = 0040755u << 16, kUnixFile = 0100644u << 16;

void Put(std::string& out, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) out += static_cast<char>(i < 8 ? value >> (8 * i) & 0xFF : 0);
}

struct Entry {
  std::string name;
  uint16_t host = kNTFS;
  uint32_t attributes = 0x20;
};

// The end record's fields that a writer or damage may set apart from the members.
struct End {
  int countError = 0;        // added to the number of members, in both counts
  int countOnDiskError = 0;  // added to the count of this diskette's members only
  uint16_t disk = 0;
  uint16_t directoryDisk = 0;
};

// Empty stored members, their central directory and its end record.
std::string Archive(const std::vector<Entry>& entries, End end = {}) {
  std::string local, central;
  for (const Entry& entry : entries) {
    const size_t offset = local.size();
    Put(local, 0x04034b50, 4), Put(local, 20, 2), Put(local, 0, 20), Put(local, entry.name.size(), 2);
    Put(local, 0, 2), local += entry.name;
    Put(central, 0x02014b50, 4), Put(central, entry.host << 8 | 20, 2), Put(central, 20, 2), Put(central, 0, 20);
    Put(central, entry.name.size(), 2), Put(central, 0, 8), Put(central, entry.attributes, 4);
    Put(central, offset, 4), central += entry.name;
  }
  std::string record;
  const size_t count = entries.size() + end.countError;
  Put(record, 0x06054b50, 4), Put(record, end.disk, 2), Put(record, end.directoryDisk, 2);
  Put(record, count + end.countOnDiskError, 2), Put(record, count, 2), Put(record, central.size(), 4);
  Put(record, local.size(), 4), Put(record, 0, 2);
  return local + central + record;
}

class ZipDirectory : public testing::Test {
 protected:
  void SetUp() override {
    path_ = fs::temp_directory_path() / ("kvx-directory-" + std::to_string(getpid()) + ".zip");
  }
  void TearDown() override { fs::remove(path_); }

  fs::path path_;
};

// Every writer's folder mark is read as its system keeps it, and a directory whose end
// record counts other members than it holds is refused whole.
TEST_F(ZipDirectory, FolderMarksByWriterAndCountsThatDisagree) {
  const std::vector<Entry> three = {{"A.TXT"}, {"B.TXT"}, {"C.TXT"}};
  using Folders = std::vector<std::pair<std::string, bool>>;
  const Folders files = {{"A.TXT", false}, {"B.TXT", false}, {"C.TXT", false}};
  const struct {
    const char* what;
    std::string archive;
    bool read;
    DirectoryPlace place;
    Folders members;
  } cases[] = {
      {"folder marks by host",
       Archive({{"NTFSDIR", kNTFS, kFolderAttribute},
                {"DOSDIR", kMSDOS, kFolderAttribute},
                {"VFATDIR", kVFAT, kFolderAttribute},
                {"UNIXDIR", kUnix, kUnixFolder},
                {"SLASH/", kUnix, kUnixFile},
                {"BACKSLASH\\", kMSDOS, 0},
                {"UNIX.TXT", kUnix, kUnixFile | kFolderAttribute},
                {"MAC.TXT", kDarwin, kFolderAttribute}}),
       true,
       DirectoryPlace::Here,
       {{"NTFSDIR", true},
        {"DOSDIR", true},
        {"VFATDIR", true},
        {"UNIXDIR", true},
        {"SLASH/", true},
        {"BACKSLASH\\", true},
        {"UNIX.TXT", false},
        {"MAC.TXT", false}}},
      {"a count below the directory's", Archive(three, {-1}), false, DirectoryPlace::Unopened, {}},
      {"a count above the directory's", Archive(three, {+1}), false, DirectoryPlace::Unopened, {}},
      {"a count of this diskette's members apart from the whole", Archive(three, {0, -1}), false, DirectoryPlace::Unopened, {}},
      {"a set's last diskette holding the whole directory", Archive(three, {0, 0, 2, 2}), true, DirectoryPlace::Here, files},
      {"a set's last diskette, its directory begun on another", Archive(three, {0, -1, 2, 1}), true,
       DirectoryPlace::OtherDiskette, {}},
  };
  for (const auto& c : cases) {
    test::WriteWholeFile(path_, c.archive);
    ArchiveDirectory directory;
    std::string error;
    EXPECT_EQ(ReadArchiveDirectory(path_, directory, error), c.read) << c.what;
    EXPECT_EQ(directory.place, c.place) << c.what;
    Folders members;
    for (const ArchiveMember& member : directory.members) members.emplace_back(member.name, member.folder);
    EXPECT_EQ(members, c.members) << c.what;
  }
}

// An empty listed file that the archive marks as a folder would come back as a folder.
TEST_F(ZipDirectory, AListedFileMarkedAsAFolderIsMissingFromTheBackup) {
  test::WriteWholeFile(path_, Archive({{"VIDE.FIC", kNTFS, kFolderAttribute}, {"PLEIN.FIC"}}));
  std::vector<std::string> problems;
  EXPECT_FALSE(CheckArchive(path_, "SAUVE.ZIP", {{"VIDE.FIC", 0}, {"PLEIN.FIC", 0}}, problems));
  EXPECT_EQ(problems, std::vector<std::string>{"Fichier absent de la sauvegarde : VIDE.FIC"});
}

}  // namespace
}  // namespace kvx
