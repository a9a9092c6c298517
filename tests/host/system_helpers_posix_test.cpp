// The system helpers on POSIX, with copies of the native KVXTOOL.EXE standing for the
// programs they start and the host commands recorded.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "base/folders.h"
#include "host/host_bridge.h"
#include "host/system_helpers.h"
#include "host/windows_version.h"
#include "tests/host/recording_runtime.h"
#include "tests/support/test_files.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A copy of KVXTOOL.EXE under another name beside the test program, found by bare name.
void ToolCopy(const std::string& name) {
  fs::copy_file(ProgramFolder() + "KVXTOOL.EXE", ProgramFolder() + name, fs::copy_options::overwrite_existing);
}

int Ticks() {
  int ticks = 0;
  for (const std::string& call : kvxtest::Runtime().calls) ticks += call == "CMD MULTITACHE,-2";
  return ticks;
}

class PosixSystemHelpers : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kvxsys" + std::to_string(getpid()));
    fs::create_directories(root_);
    setenv("KVXTOOL_LOG", (root_ / "tools.log").c_str(), 1);
    unsetenv("KVXTOOL_SLEEP_MS");
    unsetenv("KVXTOOL_FAIL");
    kvxtest::Runtime() = {};
  }
  void TearDown() override {
    host_.End();
    fs::remove_all(root_);
  }
  std::string Root(const std::string& relative) const { return (root_ / relative).string(); }

  fs::path root_;
  HostBridge host_;
};

// The shell's CD writing service exists from XP on; elevation is skipped on 2000 and XP
// only.
TEST(WindowsVersions, XPOrLaterAndElevationAreDecidedByTheNumbers) {
  struct Case {
    WindowsVersion version;
    bool xpOrLater, elevationSkipped;
  };
  const Case cases[] = {
      {{true, 5, 1, 2600}, true, true},     // XP
      {{true, 5, 0, 2195}, false, true},    // 2000
      {{true, 5, 2, 3790}, true, false},    // Server 2003, XP x64
      {{true, 6, 0, 6000}, true, false},    // Vista
      {{true, 10, 0, 19045}, true, false},  // build numbers keep growing
      {{true, 4, 0, 2600}, false, false},   // NT 4, whatever the build says
      {{false, 5, 1, 3000}, false, false},  // not the NT platform
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsWindowsXPOrLater(c.version), c.xpOrLater) << c.version.major << "." << c.version.minor;
    EXPECT_EQ(IsWindows2000OrXP(c.version), c.elevationSkipped) << c.version.major << "." << c.version.minor;
  }
  EXPECT_FALSE(IsWindowsXPOrLater());  // no Windows runs here
}

TEST_F(PosixSystemHelpers, ProgramsGetTheirArgumentsSplitAndTheirExitCodeCounts) {
  ToolCopy("CONVTEST.EXE");
  const CurrentFolderGuard keep;
  ASSERT_TRUE(SetCurrentFolder(root_.string()));
  EXPECT_TRUE(RunAndWaitForSuccess(host_, "CONVTEST.EXE", "-error /WDD=\"GELDOR.WDD\" /DIR=\"a b\\\"  MAJ"));
  setenv("KVXTOOL_FAIL", "autre.exe;convtest.exe", 1);
  EXPECT_TRUE(RunAndWait(host_, "CONVTEST.EXE", "second"));
  EXPECT_FALSE(RunAndWaitForSuccess(host_, "CONVTEST.EXE", "third"));
  EXPECT_FALSE(RunAndWait(host_, "ABSENT.EXE", ""));
  EXPECT_FALSE(RunAndWaitForSuccess(host_, Root("ABSENT.EXE"), ""));
  EXPECT_EQ(test::ReadWholeFile(root_ / "tools.log"), "CONVTEST.EXE\t-error /WDD=GELDOR.WDD \"/DIR=a b\\\" MAJ\t" + root_.string() +
                                               "\r\nCONVTEST.EXE\tsecond\t" + root_.string() +
                                               "\r\nCONVTEST.EXE\tthird\t" + root_.string() + "\r\n");
}

// A tick for every wait of 200 ms and pause of 20 ms that the program outlasts: never more
// than the run's time allows, however slowly a loaded machine starts the program.
TEST_F(PosixSystemHelpers, TheHostHearsATickWhileAProgramRuns) {
  ToolCopy("SLOWTEST.EXE");
  const auto mostTicksIn = [](std::chrono::steady_clock::duration taken) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(taken).count() / 220) + 1;
  };
  setenv("KVXTOOL_SLEEP_MS", "700", 1);
  auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(RunAndWait(host_, "SLOWTEST.EXE", ""));
  EXPECT_GE(Ticks(), 2);
  EXPECT_LE(Ticks(), mostTicksIn(std::chrono::steady_clock::now() - started));
  kvxtest::Runtime() = {};
  unsetenv("KVXTOOL_SLEEP_MS");
  started = std::chrono::steady_clock::now();
  ASSERT_TRUE(RunAndWait(host_, "SLOWTEST.EXE", ""));
  EXPECT_LE(Ticks(), mostTicksIn(std::chrono::steady_clock::now() - started));
}

TEST_F(PosixSystemHelpers, EscapeEndsTheProgramByItsNameAndTheWaitReturns) {
  ToolCopy("STAYTEST.EXE");
  int asked = 0;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(RunAndWait(host_, "STAYTEST.EXE", "/STAY", [&] { return ++asked >= 2; }));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
  EXPECT_EQ(CountProcesses("STAYTEST.EXE"), 0);
}

// A converter that would succeed, ended by Esc before it is done: its run has failed.
TEST_F(PosixSystemHelpers, AProgramEndedByEscapeHasNotSucceeded) {
  // Named after this test program's process: Esc ends the first process of the name on
  // the whole machine.
  const std::string name = "ESC" + std::to_string(getpid()) + ".EXE";
  ToolCopy(name);
  setenv("KVXTOOL_SLEEP_MS", "1500", 1);
  for (const int escapeAtPoll : {0, 2}) {  // 0: never
    SCOPED_TRACE(escapeAtPoll);
    int polls = 0;
    EXPECT_EQ(RunAndWaitForSuccess(host_, name, "", [&] { return ++polls == escapeAtPoll; }), escapeAtPoll == 0);
    EXPECT_EQ(CountProcesses(name), 0);
  }
  fs::remove(ProgramFolder() + name);
}

TEST_F(PosixSystemHelpers, CountAndKillProcessesWithTheProjectFileRule) {
  ToolCopy("VOLTEST.EXE");
  const CurrentFolderGuard keep;
  ASSERT_TRUE(SetCurrentFolder(root_.string()));
  ASSERT_TRUE(Launch("VOLTEST.EXE", "/STAY", false));
  ASSERT_TRUE(Launch("VOLTEST.EXE", "/STAY", true));
  for (int i = 0; i < 200 && CountProcesses("voltest.exe") < 2; ++i) std::this_thread::sleep_for(25ms);
  EXPECT_EQ(CountProcesses("voltest.exe"), 2);
  test::WriteWholeFileAndFolders(root_ / "VOLTEST.DPR", "project");
  EXPECT_EQ(CountProcesses("VOLTEST.EXE"), 1);
  fs::remove(root_ / "VOLTEST.DPR");
  EXPECT_TRUE(KillProcesses("VOLTEST.EXE", false));
  for (int i = 0; i < 200 && CountProcesses("VOLTEST.EXE") > 1; ++i) std::this_thread::sleep_for(25ms);
  EXPECT_EQ(CountProcesses("VOLTEST.EXE"), 1);
  EXPECT_TRUE(KillProcesses("VOLTEST.EXE", true));
  for (int i = 0; i < 200 && CountProcesses("VOLTEST.EXE") > 0; ++i) std::this_thread::sleep_for(25ms);
  EXPECT_EQ(CountProcesses("VOLTEST.EXE"), 0);
  EXPECT_FALSE(KillProcesses("VOLTEST.EXE", true));
}

TEST_F(PosixSystemHelpers, FilesCopiedReplacedAndDeletedByWindowsPaths) {
  test::WriteWholeFileAndFolders(root_ / "src" / "new.txt", "new");
  test::WriteWholeFileAndFolders(root_ / "dst" / "old.txt", "old");
  chmod((root_ / "dst" / "old.txt").c_str(), 0444);
  EXPECT_TRUE(CopyReplace(Root("src\\new.txt"), Root("dst\\old.txt"), false));
  EXPECT_EQ(test::ReadWholeFile(root_ / "dst" / "old.txt"), "new");
  EXPECT_NE(fs::status(root_ / "dst" / "old.txt").permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_TRUE(CopyReplace(Root("src\\new.txt"), Root("dst\\moved.txt"), true));
  EXPECT_FALSE(fs::exists(root_ / "src" / "new.txt"));
  EXPECT_FALSE(CopyReplace(Root("src\\new.txt"), Root("dst\\old.txt"), false));
  EXPECT_FALSE(fs::exists(root_ / "dst" / "old.txt"));  // the target goes first, as on Windows

  test::WriteWholeFileAndFolders(root_ / "del" / "A.TMP", "");
  test::WriteWholeFileAndFolders(root_ / "del" / ".b.tmp", "");
  test::WriteWholeFileAndFolders(root_ / "del" / "keep.txt", "");
  fs::create_directories(root_ / "del" / "DIR.TMP");
  EXPECT_TRUE(PathExists(Root("del\\*.tmp")));
  DeleteMatching(Root("del\\*.tmp"));
  EXPECT_FALSE(fs::exists(root_ / "del" / "A.TMP"));
  EXPECT_FALSE(fs::exists(root_ / "del" / ".b.tmp"));
  EXPECT_TRUE(fs::exists(root_ / "del" / "keep.txt"));
  EXPECT_TRUE(fs::is_directory(root_ / "del" / "DIR.TMP"));
  EXPECT_FALSE(PathExists(Root("del\\*.none")));
}

TEST_F(PosixSystemHelpers, CopyFolderFollowsTheShellsRule) {
  test::WriteWholeFileAndFolders(root_ / "TRAMES" / "FACTURE.TRM", "facture");
  test::WriteWholeFileAndFolders(root_ / "TRAMES" / "SUB" / "X.TRM", "x");
  fs::create_directories(root_ / "FIC01");
  struct Case {
    std::string source, target;
    fs::path landed;
  } const cases[] = {
      {" " + Root("TRAMES\\") + " ", Root("FIC01\\"), root_ / "FIC01" / "TRAMES"},  // inside an existing folder
      {Root("TRAMES"), Root("NOUVEAU"), root_ / "NOUVEAU"},                         // a new folder becomes the copy
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    EXPECT_TRUE(CopyFolder(c.source, c.target));
    EXPECT_EQ(test::ReadWholeFile(c.landed / "FACTURE.TRM"), "facture");
    EXPECT_EQ(test::ReadWholeFile(c.landed / "SUB" / "X.TRM"), "x");
  }
  test::WriteWholeFileAndFolders(root_ / "TRAMES" / "FACTURE.TRM", "changed");
  EXPECT_TRUE(CopyFolder(Root("TRAMES"), Root("FIC01")));  // copied again: replaced
  EXPECT_EQ(test::ReadWholeFile(root_ / "FIC01" / "TRAMES" / "FACTURE.TRM"), "changed");
  EXPECT_FALSE(CopyFolder(Root("ABSENT"), Root("FIC01")));
}

TEST_F(PosixSystemHelpers, ShortPathsAreThePathsInTheSystemsForm) {
  const CurrentFolderGuard keep;
  ASSERT_TRUE(SetCurrentFolder(root_.string()));
  EXPECT_EQ(ShortPath("PARAM.DTA"), root_.string() + "/PARAM.DTA");
  EXPECT_EQ(ShortPath("..\\TRAMES"), "../TRAMES");
  EXPECT_EQ(ShortPath("/a/b\\c"), "/a/b/c");
}

}  // namespace
}  // namespace kvx
