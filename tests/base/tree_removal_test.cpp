// The clean-up's tree removal: read-only entries go, links go as links (what they point
// at stays), and a failure is told with the entry it stopped at.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "base/tree_removal.h"
#include "tests/support/test_files.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

class TreeRemovalTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kvx-removal-" + std::to_string(getpid()));
    fs::remove_all(root_);
    test::WriteWholeFileAndFolders(root_ / "OUTSIDE" / "KEEP.TXT", "kept");
    test::WriteWholeFileAndFolders(root_ / "TREE" / "SUB" / "READONLY.FIC", "read-only");
    test::WriteWholeFileAndFolders(root_ / "TREE" / "PLAIN.FIC", "plain");
    fs::permissions(root_ / "TREE" / "SUB" / "READONLY.FIC", fs::perms::owner_write, fs::perm_options::remove);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(root_ / "TREE" / "SUB" / "READONLY.FIC", fs::perms::owner_write, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
  }

  fs::path root_;
};

// A folder link inside the tree (a symbolic link; see the Windows test for a junction).
TEST_F(TreeRemovalTest, ReadOnlyEntriesAndLinksGoAndWhatALinkNamesStays) {
  std::error_code linkError;
  fs::create_directory_symlink(root_ / "OUTSIDE", root_ / "TREE" / "SUB" / "LINK", linkError);
  fs::create_symlink(root_ / "OUTSIDE" / "KEEP.TXT", root_ / "TREE" / "FILELINK", linkError);
  std::string error;
  EXPECT_TRUE(RemoveTreeNoFollow(root_ / "TREE", error)) << error;
  EXPECT_EQ(error, "");
  EXPECT_FALSE(fs::exists(fs::symlink_status(root_ / "TREE")));
  EXPECT_EQ(test::ReadTree(root_ / "OUTSIDE"), (std::map<std::string, std::string>{{"KEEP.TXT", "kept"}}));
  if (linkError) std::printf("no symbolic links here (%s): read-only entries only\n", linkError.message().c_str());
  // Nothing there is nothing to remove.
  EXPECT_TRUE(RemoveTreeNoFollow(root_ / "TREE", error)) << error;
}

#ifndef _WIN32
// A path through a file: told with the path, not taken for a missing one.
TEST_F(TreeRemovalTest, AFailureIsToldWithItsPath) {
  std::string error;
  EXPECT_FALSE(RemoveTreeNoFollow(root_ / "TREE" / "PLAIN.FIC" / "X", error));
  EXPECT_EQ(error, (root_ / "TREE" / "PLAIN.FIC" / "X").string() + " : Not a directory");
}
#endif

}  // namespace
}  // namespace kvx
