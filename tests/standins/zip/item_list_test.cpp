#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "standins/zip/item_list.h"

namespace kvxzip {
namespace {

namespace fs = std::filesystem;

// A data folder made for one test, which is also the current folder while it runs.
class DataFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kvx-items-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "IMAGES" / "OLD");
    for (const char* name : {"CLIENTS.FIC", "ARTICLES.FIC", "CLIENTS.NDX", "IMAGES/LOGO.BMP", "IMAGES/OLD/A.FIC",
                             "notes.txt"})
      std::ofstream(root_ / name) << name;
    saved_ = fs::current_path();
    fs::current_path(root_);
  }
  void TearDown() override {
    fs::current_path(saved_);
    fs::remove_all(root_);
  }
  static std::vector<std::string> MemberNames(const std::vector<SourceEntry>& sources) {
    std::vector<std::string> names;
    for (const SourceEntry& source : sources) names.push_back(source.name + (source.isFolder ? "/" : ""));
    return names;
  }
  fs::path root_, saved_;
};

using Names = std::vector<std::string>;

TEST_F(DataFolder, WildcardsFilesAndFoldersWithoutRecursion) {
  CollectOptions options;
  options.relativeToCurrent = true;
  const auto sources = CollectSources({"*.FIC", (root_ / "CLIENTS.NDX").string(), "IMAGES", "MISSING.MMO"}, options);
  EXPECT_EQ(MemberNames(sources), (Names{"ARTICLES.FIC", "CLIENTS.FIC", "CLIENTS.NDX", "IMAGES/", "IMAGES/LOGO.BMP"}));
  EXPECT_EQ(sources[1].size, 11u);
  EXPECT_EQ(sources[1].path, (root_ / "CLIENTS.FIC").string());
}

TEST_F(DataFolder, RecursionWalksFoldersAndWildcardsEverywhere) {
  CollectOptions options;
  options.relativeToCurrent = true;
  options.recurse = true;
  EXPECT_EQ(MemberNames(CollectSources({"*.FIC", "IMAGES", "CLIENTS.FIC"}, options)),
            (Names{"ARTICLES.FIC", "CLIENTS.FIC", "IMAGES/OLD/A.FIC", "IMAGES/", "IMAGES/LOGO.BMP", "IMAGES/OLD/"}));
  options.folderEntries = false;
  EXPECT_EQ(MemberNames(CollectSources({"IMAGES"}, options)), (Names{"IMAGES/LOGO.BMP", "IMAGES/OLD/A.FIC"}));
}

TEST_F(DataFolder, AbsoluteNamesDosifyAndExclusion) {
  CollectOptions options;
  options.dosify = true;
  options.excluded = {"ARTICLES.FIC"};
  const auto sources = CollectSources({"*.FIC", "notes.txt"}, options);
  const std::string prefix = root_.relative_path().string();
  EXPECT_EQ(MemberNames(sources), (Names{
      [&] { std::string p = prefix + "/CLIENTS.FIC"; for (char& c : p) c = static_cast<char>(toupper(c)); return p; }(),
      [&] { std::string p = prefix + "/NOTES.TXT"; for (char& c : p) c = static_cast<char>(toupper(c)); return p; }()}));
}

// Exclusion patterns match member names as the item wildcards match; a folder left out
// takes its whole tree with it, whatever its files are called.
TEST_F(DataFolder, ExcludedNamesLeaveMembersAndTheirFoldersOut) {
  struct Case {
    std::vector<std::string> patterns;
    Names kept;
  };
  const Case cases[] = {
      {{"IMAGES/"}, {"ARTICLES.FIC", "CLIENTS.FIC", "CLIENTS.NDX", "notes.txt"}},
      {{"*/OLD/", "*.NDX"}, {"ARTICLES.FIC", "CLIENTS.FIC", "IMAGES/", "IMAGES/LOGO.BMP", "notes.txt"}},
      {{"C*", "*.txt"}, {"ARTICLES.FIC", "IMAGES/", "IMAGES/LOGO.BMP", "IMAGES/OLD/", "IMAGES/OLD/A.FIC"}},
  };
  CollectOptions options;
  options.relativeToCurrent = true;
  options.recurse = true;
  for (const Case& c : cases) {
    options.excludedNames = c.patterns;
    Names names = MemberNames(CollectSources({root_.string()}, options));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.kept) << c.patterns[0];
  }
}

}  // namespace
}  // namespace kvxzip
