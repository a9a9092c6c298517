#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>

#include "base/file_search.h"
#include "base/wildcard.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

class FileSearchTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kvx_search_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "Sub");
    Write("a.zip", 3);
    Write("B.ZIP", 5);
    Write("notes.txt", 7);
    Write("caf\xE9.txt", 1);
  }
  void TearDown() override { fs::remove_all(root_); }

  void Write(const std::string& cp1252Name, size_t size) {
    std::ofstream(root_ / NativePath(cp1252Name), std::ios::binary) << std::string(size, 'x');
  }
  std::string Pattern(const std::string& last) const {
    return root_.string() + kPathSeparator + last;
  }
  std::set<std::string> Names(const std::string& last, uint32_t mask) {
    std::set<std::string> names;
    FileSearch search;
    FileSearchRecord record;
    for (bool found = search.First(Pattern(last), mask, record); found; found = search.Next(record))
      names.insert(record.Name);
    return names;
  }

  fs::path root_;
};

TEST_F(FileSearchTest, PatternMatchesNamesWithoutRegardToCase) {
  EXPECT_EQ(Names("*.zip", kAttrAnyFile), (std::set<std::string>{"a.zip", "B.ZIP"}));
  EXPECT_EQ(Names("?.Zip", kAttrAnyFile), (std::set<std::string>{"a.zip", "B.ZIP"}));
  EXPECT_TRUE(Names("*.doc", kAttrAnyFile).empty());
}

TEST_F(FileSearchTest, FoldersAreFoundOnlyWhenTheMaskAsksForThem) {
  EXPECT_EQ(Names("*", 0), (std::set<std::string>{"a.zip", "B.ZIP", "notes.txt", "caf\xE9.txt"}));
  const std::set<std::string> all = Names("*.*", kAttrAnyFile);
  EXPECT_TRUE(all.count("Sub"));
  EXPECT_TRUE(all.count("."));
  EXPECT_EQ(all.size(), 7u);
}

TEST_F(FileSearchTest, RecordCarriesSizeAttributesTimeAndWindows1252Name) {
  using namespace std::chrono;
  fs::last_write_time(root_ / NativePath("caf\xE9.txt"),
                      file_clock::from_sys(sys_days{2021y / 6 / 1} + 10h + 20min + 30s));
  FileSearchRecord record;
  ASSERT_TRUE(FindFile(Pattern("caf\xE9.txt"), kAttrAnyFile, record));
  EXPECT_EQ(record.Name, "caf\xE9.txt");
  EXPECT_EQ(record.Size, 1u);
  EXPECT_TRUE(record.Attributes & kAttrArchive);
  EXPECT_FALSE(record.Attributes & kAttrDirectory);
  EXPECT_EQ(record.LastWrite, FileTimeOfCivil({2021, 6, 1, 10, 20, 30, 0}));

  ASSERT_TRUE(FindFile(Pattern("Sub"), kAttrAnyFile, record));
  EXPECT_TRUE(record.Attributes & kAttrDirectory);
  EXPECT_FALSE(FindFile(Pattern("Sub"), 0, record));
  EXPECT_FALSE(FindFile(Pattern("missing.txt"), kAttrAnyFile, record));
}

TEST_F(FileSearchTest, SizesAboveFourGigabytesComeWhole) {
  const fs::path big = root_ / "big.bin";
  std::ofstream(big, std::ios::binary).put('x');
  fs::resize_file(big, (5ull << 30) + 7);  // sparse
  FileSearchRecord record;
  ASSERT_TRUE(FindFile(Pattern("big.bin"), kAttrAnyFile, record));
  EXPECT_EQ(record.Size, (5ull << 30) + 7);
}

TEST(FileNamePart, AfterTheLastSeparatorOfEitherKind) {
  EXPECT_EQ(FileNamePart("c:\\SauveKVX.zip"), "SauveKVX.zip");
  EXPECT_EQ(FileNamePart("Z:\\tmp/KVX/VOLMERA.EXE"), "VOLMERA.EXE");
  EXPECT_EQ(FileNamePart("PARAM.DTA"), "PARAM.DTA");
  EXPECT_EQ(FileNamePart("C:\\SAUVES\\"), "");
}

TEST(Wildcard, WindowsRules) {
  struct Case {
    const char* pattern;
    const char* name;
    bool ignoreCase;
    bool matches;
  };
  const Case cases[] = {
      {"*.*", "README", false, true},
      {"*.FIC", "CLIENTS.FIC", false, true},
      {"*.FIC", "CLIENTS.FIC.BAK", false, false},
      {"*.fic", "CLIENTS.FIC", true, true},
      {"*.fic", "CLIENTS.FIC", false, false},
      {"Sauve*.zip", "SAUVEKVX.ZIP", true, true},
      {"C?IENT*.*", "CLIENTS.NDX", false, true},
      {"*a*b", "xxaxxab", true, true},
      {"*a*b", "xxaxxa", true, false},
      {"*a*b*", "xxaxxbxx", false, true},
      {"*a*b", "xxaxxbxx", false, false},
      {"?", "", true, false},
      {"\xE9*", "\xE9t\xE9", true, true},
      {"\xE9*", "\xC9t\xE9", true, false},  // only ASCII letters fold
  };
  for (const Case& c : cases)
    EXPECT_EQ(MatchesWildcard(c.pattern, c.name, c.ignoreCase), c.matches) << c.pattern << " " << c.name;
}

TEST(AttributeMask, HiddenSystemAndFoldersNeedTheirBit) {
  EXPECT_TRUE(MatchesAttributeMask(kAttrArchive | kAttrReadOnly, 0));
  EXPECT_FALSE(MatchesAttributeMask(kAttrArchive | kAttrHidden, 0));
  EXPECT_TRUE(MatchesAttributeMask(kAttrArchive | kAttrHidden, kAttrHidden));
  EXPECT_FALSE(MatchesAttributeMask(kAttrDirectory | kAttrHidden, kAttrDirectory));
}

}  // namespace
}  // namespace kvx
