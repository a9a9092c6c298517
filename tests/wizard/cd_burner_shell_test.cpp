// TCDBurner on the shell's CD writing class, with the KVXCDBURN.DLL stand-in
// registered and unregistered in the test prefix (through its own entry points).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/test_files.h"
#include "tests/wizard/shell_standin_win32.h"
#include "ui/form.h"
#include "wizard/cd_burner.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

// The stand-in's disc is the folder behind the recorder's drive E:, mapped for the run,
// from which the component reads the burned files back.
class ShellCDBurner : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(standIn_.Loaded());
    const char* drive = std::getenv("KVX_DRIVE_E");
    ASSERT_NE(drive, nullptr) << "the folder behind E:";
    disc_ = std::string("Z:") + drive;
    root_ = fs::temp_directory_path() / "kvx_shellburn";
    fs::remove_all(root_);
    fs::remove_all(disc_);
    fs::create_directories(root_);
    fs::create_directories(disc_);
    SetEnvironmentVariableA("KVXCDBURN_DRIVE", nullptr);
    SetEnvironmentVariableA("KVXCDBURN_DISC", disc_.string().c_str());
    SetEnvironmentVariableA("KVXCDBURN_LOG", (root_ / "calls.log").string().c_str());
    SetEnvironmentVariableA("KVXCDBURN_FAULTS", nullptr);
  }
  void TearDown() override {
    SetEnvironmentVariableA("KVXCDBURN_FAULTS", nullptr);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
    fs::remove_all(disc_, ignored);
  }

  // Burns the file at path through the service with the faults given; OnBurnDone's value.
  int32_t Burn(TCDBurner& burner, const fs::path& path, const char* faults) {
    SetEnvironmentVariableA("KVXCDBURN_FAULTS", faults);
    EXPECT_TRUE(burner.ClearFiles()) << burner.LastError();
    EXPECT_TRUE(burner.AddFile(path.string()));
    int32_t result = 99;
    burner.OnBurnDone = [&](int32_t value) { result = value; };
    burner.StartBurn();
    EXPECT_TRUE(ui::PumpUntil([&] { return result != 99; }, std::chrono::seconds(30)));
    EXPECT_TRUE(burner.BurnThreadFinished()->Wait(20000));
    return result;
  }

  ShellStandIn standIn_;
  ui::Form form_{"Enregistrer"};
  fs::path root_;
  fs::path disc_;
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
  EXPECT_EQ(Burn(burner, root_ / "SauveKVX.zip", nullptr), 0) << burner.LastError();
  EXPECT_EQ(test::ReadWholeFile(disc_ / "SauveKVX.zip"), "PK archive");
  EXPECT_EQ(test::ReadWholeFile("E:\\SauveKVX.zip"), "PK archive");
  EXPECT_EQ(test::ReadWholeFile(root_ / "calls.log"),
            "HasRecordableDrive\r\nGetRecorderDriveLetter 4\r\nBurn no-window\r\n");
}

// The service says it burned, but a file reached the disc damaged or not at all: the
// read-back through E: finds it, and the burn fails with the file's name.
TEST_F(ShellCDBurner, AFileTheDiscDoesNotGiveBackAsStagedFailsTheBurn) {
  ASSERT_TRUE(standIn_.Register());
  SetEnvironmentVariableA("KVXCDBURN_DRIVE", "E:\\");
  std::ofstream(root_ / "SauveKVX.zip", std::ios::binary) << std::string(100000, 'k');
  struct Case {
    const char* faults;
    const char* error;
  };
  const Case cases[] = {
      {"damage=sauvekvx.zip", "E:\\SauveKVX.zip on the disc differs from the file staged"},
      {"lose=SauveKVX.zip", "Could not read E:\\SauveKVX.zip back from the disc"},
  };
  TCDBurner burner(&form_, "CDBurner1");
  ASSERT_TRUE(burner.Equipped()) << burner.LastError();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults);
    fs::remove_all(disc_);
    fs::create_directories(disc_);
    EXPECT_EQ(Burn(burner, root_ / "SauveKVX.zip", c.faults), -1);
    EXPECT_EQ(burner.LastError(), c.error);
  }
}

}  // namespace
}  // namespace kvx
