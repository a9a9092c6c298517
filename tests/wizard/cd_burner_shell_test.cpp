// TCDBurner on the shell's CD writing class, with the KVXCDBURN.DLL stand-in
// registered and unregistered in the test prefix (through its own entry points).
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/test_files.h"
#include "tests/wizard/shell_standin_win32.h"
#include "ui/form.h"
#include "wizard/cd_burner.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

class ShellCDBurner : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(standIn_.Loaded());
    root_ = fs::temp_directory_path() / "kvx_shellburn";
    fs::remove_all(root_);
    fs::create_directories(root_ / "disc");
    SetEnvironmentVariableA("KVXCDBURN_DRIVE", nullptr);
    SetEnvironmentVariableA("KVXCDBURN_DISC", (root_ / "disc").string().c_str());
    SetEnvironmentVariableA("KVXCDBURN_LOG", (root_ / "calls.log").string().c_str());
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  ShellStandIn standIn_;
  ui::Form form_{"Enregistrer"};
  fs::path root_;
};

TEST_F(ShellCDBurner, WithoutTheServiceTheComponentSaysWhy) {
  ASSERT_TRUE(standIn_.Unregister());
  TCDBurner burner(&form_, "CDBurner1");
  EXPECT_FALSE(burner.Equipped());
  const std::string prefix = "No XP Compatible CDR API present";
  ASSERT_EQ(burner.LastError().substr(0, prefix.size()), prefix);
  EXPECT_GT(burner.LastError().size(), prefix.size()) << "the system's error text follows";
}

TEST_F(ShellCDBurner, ServiceWithoutRecorder) {
  ASSERT_TRUE(standIn_.Register());
  TCDBurner burner(&form_, "CDBurner1");
  EXPECT_FALSE(burner.Equipped());
  EXPECT_EQ(burner.LastError(), "No CD Burner was found");
  EXPECT_EQ(test::ReadWholeFile(root_ / "calls.log"), "HasRecordableDrive\r\n");
}

TEST_F(ShellCDBurner, BurnReachesTheDiscThroughTheStagingArea) {
  ASSERT_TRUE(standIn_.Register());
  SetEnvironmentVariableA("KVXCDBURN_DRIVE", "E:\\");
  std::ofstream(root_ / "SauveKVX.zip", std::ios::binary) << "PK archive";
  TCDBurner burner(&form_, "CDBurner1");
  ASSERT_TRUE(burner.Equipped()) << burner.LastError();
  EXPECT_EQ(burner.BurnerDrive(), "E:\\");
  EXPECT_EQ(burner.BurnArea().substr(burner.BurnArea().size() - 11), "\\Burn\\Burn\\");
  ASSERT_TRUE(burner.ClearFiles()) << burner.LastError();
  ASSERT_TRUE(burner.AddFile((root_ / "SauveKVX.zip").string()));
  int result = 99;
  burner.OnBurnDone = [&](int32_t value) { result = value; };
  burner.StartBurn();
  ASSERT_TRUE(ui::PumpUntil([&] { return result != 99; }, std::chrono::seconds(30)));
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(burner.BurnThreadFinished()->Wait(20000));
  EXPECT_EQ(test::ReadWholeFile(root_ / "disc" / "SauveKVX.zip"), "PK archive");
  EXPECT_EQ(test::ReadWholeFile(root_ / "calls.log"),
            "HasRecordableDrive\r\nGetRecorderDriveLetter 4\r\nBurn no-window\r\n");
}

}  // namespace
}  // namespace kvx
