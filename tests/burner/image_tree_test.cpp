// The image tree: lookups, capacities, name rules, duplicates, AddFile's paths.
#include <filesystem>
#include <fstream>

#include "tests/burner/layout_fixture.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

TEST_F(LayoutTest, FreshTreeHasTheRootOnly) {
  ASSERT_EQ(layout.Directories.size(), 1u);
  EXPECT_TRUE(layout.Entries.empty());
  EXPECT_EQ(Root()->Path, "\\");
  EXPECT_EQ(Root()->ShortName, "CD_ROOT");
  EXPECT_EQ(Root()->LongName, "CD Root Directory");
  EXPECT_EQ(Root()->Parent, Root());
  EXPECT_EQ(layout.FindDirectory(""), Root());
  EXPECT_EQ(layout.FindDirectory("\\"), Root());
}

TEST_F(LayoutTest, FoldersByPath) {
  TISODirectory* sub = layout.ForceDirectories("\\Données\\Sub dir");
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(sub->Path, "\\DONN\xE9" "ES\\SUB DIR");
  EXPECT_EQ(sub->ShortName, "SUB_DIR");
  EXPECT_EQ(sub->Parent->ShortName, "DONN_ES");
  EXPECT_EQ(sub->Level, 3);
  EXPECT_EQ(layout.FindDirectory("\\donn\xE9" "es\\sub dir\\"), sub);
  EXPECT_EQ(layout.FindDirectory("donn\xE9" "es\\sub dir"), nullptr);  // paths start with "\"
  EXPECT_EQ(layout.CreateDirectory(sub->Parent, "\\SUB DIR\\", kAttrDirectory), sub);
  EXPECT_EQ(layout.ForceDirectories("\\A\\B\\"), nullptr);  // trailing "\": made, not returned
  EXPECT_NE(layout.FindDirectory("\\A\\B"), nullptr);
  EXPECT_EQ(ShortNameOf("a very long folder{name}"), "A_VERY_L");
  EXPECT_EQ(layout.Entries.size(), 4u);
}

TEST_F(LayoutTest, CapacitiesAreReportedAndNothingHalfMade) {
  layout.ResetImage(2, 2);
  ASSERT_NE(layout.CreateDirectory(Root(), "one", kAttrDirectory), nullptr);
  EXPECT_EQ(layout.CreateDirectory(Root(), "two", kAttrDirectory), nullptr);
  ASSERT_EQ(disc.Messages.size(), 1u);
  EXPECT_EQ(disc.Messages[0], std::make_pair(std::string(">>> MAXIMUM DIRECTORIES CAN BE 2"), 3));
  EXPECT_TRUE(Add(Root(), "a.txt", 1));
  EXPECT_FALSE(Add(Root(), "b.txt", 1));
  EXPECT_EQ(disc.Messages.back(), std::make_pair(std::string("MAXIMUM FILES CAN BE 2"), 3));

  layout.ResetImage(1, 5);  // room for a folder but not for its entry
  EXPECT_EQ(layout.CreateDirectory(Root(), "x", kAttrDirectory) != nullptr, true);
  EXPECT_EQ(layout.CreateDirectory(Root(), "y", kAttrDirectory), nullptr);
  EXPECT_EQ(layout.Directories.size(), 2u);
}

TEST_F(LayoutTest, DuplicateNamesAreIgnoredOrReplaced) {
  ASSERT_TRUE(Add(Root(), "Data.zip", 10));
  EXPECT_FALSE(Add(Root(), "DATA.ZIP", 20));
  EXPECT_EQ(layout.Entries.size(), 1u);
  ASSERT_TRUE(Add(Root(), "other", 1));
  EXPECT_EQ(layout.FindEntry(Root(), "OTHER"), layout.Entries[1].get());  // "." added before comparing

  layout.ReplaceFile = true;
  ASSERT_TRUE(layout.AddSearchEntry(Root(), File("DATA.ZIP", 20), "/new/DATA.ZIP"));
  ASSERT_EQ(layout.Entries.size(), 2u);
  const TISOEntry& replaced = *layout.Entries[0];
  EXPECT_EQ(replaced.LongName, "DATA.ZIP");
  EXPECT_EQ(replaced.ISOSize, 20);
  EXPECT_EQ(replaced.SourcePath, "/new/DATA.ZIP");
  EXPECT_EQ(Root()->FirstEntry, &replaced);

  // A file never takes the place of a folder of the same name.
  ASSERT_NE(layout.CreateDirectory(Root(), "dir.d", kAttrDirectory), nullptr);
  EXPECT_FALSE(Add(Root(), "DIR.D", 1));
  EXPECT_NE(layout.Entries[2]->Directory, nullptr);
}

TEST_F(LayoutTest, RenamedReplacementMovesInTheIndex) {
  layout.ReplaceFile = true;
  ASSERT_TRUE(Add(Root(), "a.txt", 1));
  layout.OnAddFile = [](const std::string&, std::string& longName, std::string& shortName, TDateTime&, uint32_t,
                        int64_t, bool&) {
    longName = "b.txt";
    shortName = "B.TXT";
  };
  ASSERT_TRUE(Add(Root(), "a.txt", 2));
  EXPECT_EQ(layout.FindEntry(Root(), "a.txt"), nullptr);
  EXPECT_EQ(layout.FindEntry(Root(), "B.txt"), layout.Entries[0].get());
  EXPECT_EQ(layout.Entries.size(), 1u);
}

TEST_F(LayoutTest, LongNamesAndTheAddFileHandler) {
  EXPECT_TRUE(Add(Root(), std::string(200, 'n') + ".txt", 1));  // shortened on the disc, never refused

  int calls = 0;
  layout.OnAddFile = [&](const std::string& fullPath, std::string& longName, std::string& shortName,
                         TDateTime& dateTime, uint32_t attr, int64_t fileSize, bool& skip) {
    ++calls;
    EXPECT_EQ(fullPath, "/src/" + std::string(200, 'x') + ".bin");
    EXPECT_FALSE(skip);
    EXPECT_EQ(fileSize, 5ll << 32);
    EXPECT_EQ(attr, kAttrArchive);
    longName = "short.bin";
    shortName = "SHORT.BIN";
    dateTime = EncodeDateTime({2020, 5, 6, 7, 8, 9, 0});
  };
  ASSERT_TRUE(Add(Root(), std::string(200, 'x') + ".bin", 5ull << 32));
  EXPECT_EQ(calls, 1);
  const TISOEntry& entry = *layout.Entries.back();
  EXPECT_EQ(entry.LongName, "short.bin");
  EXPECT_EQ(DecodeDateTime(entry.DateTime), (CivilTime{2020, 5, 6, 7, 8, 9, 0}));
  EXPECT_EQ(entry.ISOSize, 5ll << 32);
  EXPECT_EQ(entry.WideName, u"short.bin");  // the handler's name is the one recorded
  layout.OnAddFile = [](const std::string&, std::string&, std::string&, TDateTime&, uint32_t, int64_t, bool& skip) {
    skip = true;
  };
  EXPECT_FALSE(Add(Root(), "skipped.txt", 1));
}

TEST_F(LayoutTest, ShortNamesOfFilesComeFromTheAlternateNameOrTheLongName) {
  FileSearchRecord record = File("Long file name.text", 1);
  record.AlternateName = "LONGFI~1.TEX";
  ASSERT_TRUE(layout.AddSearchEntry(Root(), record, "/x"));
  ASSERT_TRUE(Add(Root(), "caf\xE9 cr\xE8me", 1));
  EXPECT_EQ(layout.Entries[0]->ShortName, "LONGFI_1.TEX");  // "~" is no d-character
  EXPECT_EQ(layout.Entries[1]->ShortName, "CAF__CR_.");
  EXPECT_EQ(layout.Entries[1]->LongName, "caf\xE9 cr\xE8me.");
  // Folders found on disk come in through CreateDirectory only.
  EXPECT_FALSE(layout.AddSearchEntry(Root(), File("folder", 0, kAttrDirectory), "/folder"));
}

class AddFileTest : public LayoutTest {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kvx_addfile_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(dir_);
    std::ofstream(dir_ / "f.txt") << "abc";
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

TEST_F(AddFileTest, ResultsAndMessages) {
  EXPECT_EQ(layout.AddFile("\\", Path("f.txt"), false), AddFileResult::Found);
  EXPECT_EQ(layout.Entries[0]->SourcePath, Path("f.txt"));
  EXPECT_EQ(layout.Entries[0]->ISOSize, 3);
  EXPECT_EQ(layout.AddFile("\\", Path("f.txt"), false), AddFileResult::Found);  // found, not added again
  EXPECT_EQ(layout.Entries.size(), 1u);
  EXPECT_EQ(layout.AddFile("\\", Path("missing.txt"), false), AddFileResult::SourceMissing);
  EXPECT_TRUE(disc.Messages.empty());
  EXPECT_EQ(layout.AddFile("\\NOWHERE", Path("f.txt"), false), AddFileResult::UnknownDestination);
  EXPECT_EQ(disc.Messages.back(), std::make_pair(std::string("INVALID DESTINATION PATH"), 4));
}

TEST_F(AddFileTest, KeepSourcePathRebuildsTheFolders) {
  EXPECT_EQ(layout.AddFile("", "C:\\KVX\\FIC01\\missing.dat", true), AddFileResult::SourceMissing);
  EXPECT_NE(layout.FindDirectory("\\KVX\\FIC01"), nullptr);
  EXPECT_EQ(layout.AddFile("", "\\\\server\\share\\Backups\\missing.dat", true), AddFileResult::SourceMissing);
  EXPECT_NE(layout.FindDirectory("\\BACKUPS"), nullptr);
  EXPECT_EQ(layout.FindDirectory("\\SERVER"), nullptr);
}

}  // namespace
}  // namespace kvx
