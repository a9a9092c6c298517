// The backup search over a real tree, natively and under wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "base/file_search.h"
#include "wizard/backup_search.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

class BackupSearch : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / "kvx_backup_search";
    fs::remove_all(root_);
    Touch("SauveKVX.zip");
    Touch("A/SauveKVX.zip");
    Touch("A/B/C/SauveKVX.zip");
    Touch("A/B/other.zip");
    Touch("RECYCLED/SauveKVX.zip");
    Touch("Recycled/X/SauveKVX.zip");
    Touch("D/recycled/SauveKVX.zip");
    Touch("D/RECYCLER/SauveKVX.zip");  // not a RECYCLED folder: searched
    fs::create_directories(root_ / "E" / "SauveKVX.zip");  // a folder of that name is no backup
  }
  void TearDown() override { fs::remove_all(root_); }

  void Touch(const std::string& relative) {
    const fs::path path = root_ / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "zip";
  }
  std::string Root() const { return root_.string(); }
  std::string Path(std::string relative) const {
    for (char& c : relative)
      if (c == '/') c = kPathSeparator;
    return Root() + kPathSeparator + relative;
  }

  std::set<std::string> Search(const std::string& folder, std::vector<std::string>* folders = nullptr) {
    std::set<std::string> found;
    SearchReport report;
    report.found = [&](const std::string& path) { found.insert(path); };
    report.enteringFolder = [&](const std::string& path) {
      if (folders) folders->push_back(path);
    };
    SearchBackups(folder, "SauveKVX.zip", report, [] { return false; });
    return found;
  }

  fs::path root_;
};

TEST_F(BackupSearch, FindsEveryBackupOutsideRecycleBins) {
  std::vector<std::string> folders;
  const std::set<std::string> found = Search(Root(), &folders);
  EXPECT_EQ(found, (std::set<std::string>{Path("SauveKVX.zip"), Path("A/SauveKVX.zip"), Path("A/B/C/SauveKVX.zip"),
                                          Path("D/RECYCLER/SauveKVX.zip")}));
  for (const std::string& folder : folders) EXPECT_EQ(folder.find("ecycled"), std::string::npos) << folder;
  EXPECT_NE(std::find(folders.begin(), folders.end(), Path("A/B/C")), folders.end());
}

TEST_F(BackupSearch, AFinalSeparatorChangesNothing) {
  EXPECT_EQ(Search(Root() + kPathSeparator), Search(Root()));
}

TEST_F(BackupSearch, StopsAtTheNextEntryOnceAsked) {
  bool stop = false;
  std::vector<std::string> folders;
  std::set<std::string> found;
  SearchReport report;
  report.found = [&](const std::string& path) { found.insert(path); };
  report.enteringFolder = [&](const std::string& path) {
    folders.push_back(path);
    stop = true;  // asked while the first subfolder is being entered
  };
  SearchBackups(Root(), "SauveKVX.zip", report, [&] { return stop; });
  EXPECT_EQ(folders.size(), 1u);
  // The root's own backup was found before the walk; the entered folder's was looked up too.
  EXPECT_LE(found.size(), 2u);
  EXPECT_TRUE(found.count(Path("SauveKVX.zip")));
}

TEST_F(BackupSearch, AMissingFolderFindsNothing) { EXPECT_TRUE(Search(Path("nowhere")).empty()); }

}  // namespace
}  // namespace kvx
