#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "base/file_search.h"
#include "base/folder_scan.h"
#include "base/folders.h"
#include "base/tree_removal.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

TEST(FolderScan, NamesAndKindsWithoutTheDotEntries) {
  const fs::path root = fs::temp_directory_path() / "kvx_folder_scan";
  fs::remove_all(root);
  fs::create_directories(root / "Sub");
  std::ofstream(root / "a.zip") << "x";
  std::ofstream(root / NativePath("caf\xE9.txt")) << "x";

  std::map<std::string, bool> seen;
  EXPECT_TRUE(ScanFolder(root.string(), [&](const FolderEntry& entry) {
    seen[entry.name] = entry.isFolder;
    return true;
  }));
  EXPECT_EQ(seen, (std::map<std::string, bool>{{"Sub", true}, {"a.zip", false}, {"caf\xE9.txt", false}}));

  int visits = 0;
  ScanFolder(root.string() + kPathSeparator, [&](const FolderEntry&) { return ++visits < 2; });
  EXPECT_EQ(visits, 2);  // stopped when asked

  EXPECT_FALSE(ScanFolder((root / "missing").string(), [](const FolderEntry&) { return true; }));
  fs::remove_all(root);
}

// Past MAX_PATH (260 characters) a path reaches the Win32 calls only in its long form:
// a deep folder must not come back empty, nor its file be missing.
TEST(FolderScan, EntriesPastTheShortPathLimitAreListed) {
  const fs::path root = fs::temp_directory_path() / "kvx_folder_scan_deep";
  std::string error;
  ASSERT_TRUE(RemoveTreeNoFollow(root, error)) << error;  // std::filesystem stops at MAX_PATH on Windows
  std::vector<std::string> folders{root.string()};
  while (folders.back().size() <= 300) folders.push_back(folders.back() + kPathSeparator + std::string(60, 'd'));
  for (const std::string& folder : folders) ASSERT_TRUE(fs::create_directory(NativePath(folder))) << folder.size();
  const std::string file = folders.back() + kPathSeparator + "fin.txt";
  std::ofstream(NativePath(file)) << "x";
  ASSERT_GT(file.size(), 300u);

  for (size_t level = 0; level < folders.size(); ++level) {
    std::vector<std::string> names;
    EXPECT_TRUE(ScanFolder(folders[level], [&](const FolderEntry& entry) {
      names.push_back(entry.name);
      return true;
    }));
    const std::string below = level + 1 < folders.size() ? FileNamePart(folders[level + 1]) : "fin.txt";
    EXPECT_EQ(names, std::vector<std::string>{below}) << folders[level].size();
  }
  FileSearchRecord record;
  ASSERT_TRUE(FileSearch().First(folders.back() + kPathSeparator + "*.txt", kAttrAnyFile, record));
  EXPECT_EQ(record.Name, "fin.txt");
  EXPECT_EQ(record.Size, 1u);
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(folders.back() + kPathSeparator + "absent.txt"));
  EXPECT_TRUE(RemoveTreeNoFollow(root, error)) << error;
}

}  // namespace
}  // namespace kvx
