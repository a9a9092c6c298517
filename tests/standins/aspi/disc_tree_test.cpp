// The drive folder's tree read from hand-made sessions: what outside tools never write
// (names that would leave the folder, a directory that holds itself, multi-extent files).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "standins/aspi/disc_tree.h"
#include "tests/support/test_files.h"

namespace kvx::aspi {
namespace {

constexpr uint32_t kSector = 2048;

class Disc {
 public:
  SectorReader Reader() const {
    return [this](uint32_t lba, uint8_t* data, uint32_t blocks) {
      for (uint32_t i = 0; i < blocks; ++i) {
        const auto found = sectors_.find(lba + i);
        if (found == sectors_.end()) std::memset(data + i * kSector, 0, kSector);
        else std::memcpy(data + i * kSector, found->second.data(), kSector);
      }
    };
  }
  std::vector<uint8_t>& Sector(uint32_t lba) {
    auto& sector = sectors_[lba];
    sector.resize(kSector);
    return sector;
  }
  // A volume descriptor at 16 + index whose root directory is at rootLBA.
  void Descriptor(uint32_t index, uint8_t type, uint32_t rootLBA, bool joliet = false) {
    std::vector<uint8_t>& d = Sector(16 + index);
    d[0] = type;
    std::memcpy(&d[1], "CD001", 5);
    if (joliet) std::memcpy(&d[88], "%/E", 3);
    Put32(&d[156 + 2], rootLBA);
    Put32(&d[156 + 10], kSector);
  }
  void Terminator(uint32_t index) {
    std::vector<uint8_t>& d = Sector(16 + index);
    d[0] = 255;
    std::memcpy(&d[1], "CD001", 5);
  }
  // Appends a directory record to the directory at lba.
  void Record(uint32_t lba, const std::string& name, uint32_t extent, uint32_t size, uint8_t flags) {
    std::vector<uint8_t>& dir = Sector(lba);
    size_t& at = used_[lba];
    const uint8_t length = static_cast<uint8_t>(33 + name.size() + (name.size() % 2 == 0 ? 1 : 0));
    dir[at] = length;
    Put32(&dir[at + 2], extent);
    Put32(&dir[at + 10], size);
    dir[at + 25] = flags;
    dir[at + 32] = static_cast<uint8_t>(name.size());
    std::memcpy(&dir[at + 33], name.data(), name.size());
    at += length;
  }
  void Dots(uint32_t lba) {
    Record(lba, std::string(1, '\0'), lba, kSector, 2);
    Record(lba, std::string(1, '\1'), lba, kSector, 2);
  }

 private:
  static void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
  }
  std::map<uint32_t, std::vector<uint8_t>> sectors_;
  std::map<uint32_t, size_t> used_;
};

std::string Joliet(const std::u16string& name) {
  std::string bytes;
  for (char16_t c : name) bytes += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
  return bytes;
}

TEST(DiscTree, ISONamesFoldersAndMultiExtentFiles) {
  Disc disc;
  disc.Descriptor(0, 1, 20);
  disc.Terminator(1);
  disc.Dots(20);
  disc.Record(20, "A.TXT;1", 30, 5, 0);
  disc.Record(20, "BIG.DAT;1", 31, 4096, 0x80);  // first part, more follow
  disc.Record(20, "BIG.DAT;1", 40, 100, 0);
  disc.Record(20, "SUB", 21, kSector, 2);
  disc.Dots(21);
  disc.Record(21, "README.;1", 32, 7, 0);
  std::vector<DiscEntry> entries;
  ASSERT_TRUE(ReadSessionTree(disc.Reader(), 0, entries));
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].path, u"A.TXT");
  EXPECT_EQ(entries[1].path, u"BIG.DAT");
  EXPECT_EQ(entries[1].extents, (std::vector<uint32_t>{31, 40}));
  EXPECT_EQ(entries[1].sizes, (std::vector<uint32_t>{4096, 100}));
  EXPECT_EQ(entries[2].path, u"SUB");
  EXPECT_TRUE(entries[2].folder);
  EXPECT_EQ(entries[3].path, u"SUB/README");
}

TEST(DiscTree, JolietNamesWinAndUnsafeNamesAreLeftOut) {
  Disc disc;
  disc.Descriptor(0, 1, 20);
  disc.Descriptor(1, 2, 22, true);
  disc.Terminator(2);
  disc.Dots(20);
  disc.Record(20, "ISO.TXT;1", 30, 1, 0);
  disc.Dots(22);
  disc.Record(22, Joliet(u"Sauvegarde é.zip;1"), 30, 1, 0);
  for (const std::u16string bad : {u"..", u".", u"C:X", u"A\\B", u"A/B"}) disc.Record(22, Joliet(bad), 30, 1, 0);
  disc.Record(22, Joliet(u".."), 23, kSector, 2);  // a folder that would lead out, with content
  disc.Dots(23);
  disc.Record(23, Joliet(u"OUT.TXT"), 30, 1, 0);
  std::vector<DiscEntry> entries;
  ASSERT_TRUE(ReadSessionTree(disc.Reader(), 0, entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].path, u"Sauvegarde é.zip");
}

// NTFS keeps names holding a lone UTF-16 surrogate, so Joliet names may too: the drive's
// folder still gets the file, the lone surrogate read as U+FFFD; a pair stays one character.
TEST(DiscTree, LoneSurrogatesInJolietNamesStillGiveTheFiles) {
  Disc disc;
  disc.Descriptor(0, 2, 22, true);
  disc.Terminator(1);
  disc.Dots(22);
  std::memcpy(disc.Sector(30).data(), "data", 4);
  const std::u16string names[] = {u"A\xD800" u"B.TXT", u"C.TXT\xDC00", u"\xDBFF", u"D\xD83D\xDE00" u".TXT"};
  for (const std::u16string& name : names) disc.Record(22, Joliet(name), 30, 4, 0);
  disc.Record(22, Joliet(u"F\xDFFF"), 23, kSector, 2);
  disc.Dots(23);
  disc.Record(23, Joliet(u"IN.TXT"), 30, 4, 0);
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "kvx-disc-tree-surrogates";
  std::filesystem::remove_all(folder);
  bool exported = false;
  EXPECT_NO_THROW(exported = ExportSessionTree(disc.Reader(), 0, folder.string()));
  EXPECT_TRUE(exported);
  std::map<std::u16string, std::string> tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    tree[std::filesystem::relative(entry.path(), folder).generic_u16string()] =
        entry.is_directory() ? "/" : test::ReadWholeFile(entry.path());
  const std::map<std::u16string, std::string> expected = {
      {u"A\uFFFDB.TXT", "data"}, {u"C.TXT\uFFFD", "data"}, {u"\uFFFD", "data"}, {u"D\U0001F600.TXT", "data"},
      {u"F\uFFFD", "/"}, {u"F\uFFFD/IN.TXT", "data"}};
  EXPECT_EQ(tree, expected);
  std::filesystem::remove_all(folder);
}

TEST(DiscTree, NoVolumeAndADirectoryHoldingItself) {
  Disc empty;
  std::vector<DiscEntry> entries;
  EXPECT_FALSE(ReadSessionTree(empty.Reader(), 0, entries));

  Disc loop;  // a later session at 1000 whose folder LOOP is its own parent
  loop.Descriptor(1000, 1, 1020);
  loop.Dots(1020);
  loop.Record(1020, "LOOP", 1020, kSector, 2);
  ASSERT_TRUE(ReadSessionTree(loop.Reader(), 1000, entries));
  EXPECT_GT(entries.size(), 10u);  // ends at the depth limit
  EXPECT_LT(entries.size(), 100u);
}

}  // namespace
}  // namespace kvx::aspi
