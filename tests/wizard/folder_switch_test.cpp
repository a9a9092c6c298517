// The switch of a restore prepared aside: a rename failing at any step leaves the data
// folder exactly as it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "archive/folder_switch.h"
#include "tests/support/test_files.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;  // relative path -> content ("/" for a folder)

void Make(const fs::path& root, const Tree& tree) {
  fs::create_directories(root);
  for (const auto& [name, content] : tree) {
    if (content == "/") {
      fs::create_directories(root / name);
    } else {
      fs::create_directories((root / name).parent_path());
      std::ofstream(root / name, std::ios::binary) << content;
    }
  }
}

const Tree kData = {{"CLIENTS.FIC", "old clients"}, {"IMAGES", "/"}, {"IMAGES/LOGO.BMP", "old logo"},
                    {"NOTES.TXT", "kept"}, {"PARAM.DTA", "old param"}, {"VIDE", "/"}};
const Tree kIncoming = {{"CLIENTS.FIC", "new clients"}, {"IMAGES", "/"}, {"IMAGES/LOGO.BMP", "new logo"},
                        {"IMAGES/NEW.BMP", "added"}, {"PARAM.DTA", "new param"}, {"VIDE", "a file now"},
                        {"ZZ", "/"}, {"ZZ/LAST.FIC", "last"}};

class FolderSwitchTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kvx-switch-" + std::to_string(getpid()));
    fs::remove_all(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  SwitchOutcome Run(const RenameStep& rename) {
    fs::remove_all(root_);
    Make(root_ / "DATA", kData);
    Make(root_ / "NEW", kIncoming);
    return SwitchFolders(root_ / "NEW", root_ / "DATA", root_ / "OLD", rename);
  }

  fs::path root_;
};

TEST_F(FolderSwitchTest, TheIncomingEntriesReplaceTheirNamesakesAndTheRestStays) {
  int renames = 0;
  ASSERT_EQ(Run([&](const fs::path& from, const fs::path& to) { return ++renames, RenameEntry(from, to); }),
            SwitchOutcome::Switched);
  Tree expected = kIncoming;
  expected["NOTES.TXT"] = "kept";
  EXPECT_EQ(test::ReadTree(root_ / "DATA"), expected);
  EXPECT_EQ(test::ReadTree(root_ / "OLD"), (Tree{{"CLIENTS.FIC", "old clients"}, {"IMAGES", "/"}, {"IMAGES/LOGO.BMP", "old logo"},
                                      {"PARAM.DTA", "old param"}, {"VIDE", "/"}}));
  EXPECT_EQ(renames, 10);  // four entries aside, six in (ZZ as one folder)
}

TEST_F(FolderSwitchTest, ARenameFailingAtAnyStepPutsEveryOriginalBack) {
  for (int failing = 1; failing <= 10; ++failing) {
    SCOPED_TRACE(failing);
    int renames = 0;
    EXPECT_EQ(Run([&](const fs::path& from, const fs::path& to) { return ++renames != failing && RenameEntry(from, to); }),
              SwitchOutcome::Undone);
    EXPECT_EQ(test::ReadTree(root_ / "DATA"), kData);
    EXPECT_EQ(test::ReadTree(root_ / "NEW"), kIncoming);
  }
}

TEST_F(FolderSwitchTest, AnUndoThatFailsIsToldAndLosesNothing) {
  int renames = 0;
  // The sixth rename fails, and so does the first undo.
  EXPECT_EQ(Run([&](const fs::path& from, const fs::path& to) {
              ++renames;
              return renames != 6 && renames != 7 && RenameEntry(from, to);
            }),
            SwitchOutcome::Mixed);
  Tree all = test::ReadTree(root_ / "DATA");
  for (const auto& [name, content] : test::ReadTree(root_ / "NEW")) all["NEW:" + name] = content;
  for (const auto& [name, content] : test::ReadTree(root_ / "OLD")) all["OLD:" + name] = content;
  for (const char* original : {"old clients", "old logo", "kept", "old param"})
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [&](const auto& entry) { return entry.second == original; }), 1)
        << original;
}

}  // namespace
}  // namespace kvx
