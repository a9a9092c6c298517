#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "base/file_search.h"
#include "base/folder_scan.h"

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

}  // namespace
}  // namespace kvx
