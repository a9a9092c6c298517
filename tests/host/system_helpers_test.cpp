// The system helpers on the real Windows API (under wine), with KVXTOOL.EXE copies
// standing for the programs they start and the host stand-in in script mode.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>

#include "base/folders.h"
#include "host/host_bridge.h"
#include "host/param_files.h"
#include "host/system_helpers.h"
#include "tests/support/test_files.h"
#include "host/windows_version.h"

namespace kvx {
namespace {

std::string TempRoot() {
  static const std::string root = [] {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    const std::string folder = std::string(temp) + "KVXSYS" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
  }();
  return root;
}

// A copy of KVXTOOL.EXE under another name beside the test program, found by bare name.
std::string ToolCopy(const std::string& name) {
  const std::string path = ProgramFolder() + name;
  CopyFileA((ProgramFolder() + "KVXTOOL.EXE").c_str(), path.c_str(), FALSE);
  return path;
}

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class SystemHelpers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Host stand-in in script mode: every command goes to a transcript.
    test::WriteWholeFile(TempRoot() + "script.txt", "");
    SetEnvironmentVariableA("KVXHOST_SCRIPT", (TempRoot() + "script.txt").c_str());
    SetEnvironmentVariableA("KVXHOST_LOG", (TempRoot() + "host.log").c_str());
    SetEnvironmentVariableA("KVXTOOL_LOG", (TempRoot() + "tools.log").c_str());
  }
  void SetUp() override {
    DeleteFileA((TempRoot() + "host.log").c_str());
    DeleteFileA((TempRoot() + "tools.log").c_str());
    SetEnvironmentVariableA("KVXTOOL_SLEEP_MS", nullptr);
  }
  void TearDown() override { host_.End(); }
  std::string HostLog() { return test::ReadWholeFile(TempRoot() + "host.log"); }
  HostBridge host_;
};

TEST_F(SystemHelpers, CopyReplaceOverwritesReadOnlyTargetAndGivesWritableCopy) {
  const std::string source = TempRoot() + "source.txt", target = TempRoot() + "target.txt";
  test::WriteWholeFile(source, "new");
  test::WriteWholeFile(target, "old");
  SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(CopyReplace(source, target, false));
  EXPECT_EQ(test::ReadWholeFile(target), "new");
  EXPECT_EQ(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(CopyReplace(source, target, true));
  EXPECT_FALSE(FileExists(source));
}

TEST_F(SystemHelpers, CopyReplaceOfMissingSourceStillDeletesTheTarget) {
  const std::string target = TempRoot() + "stale.txt";
  test::WriteWholeFile(target, "stale");
  EXPECT_FALSE(CopyReplace(TempRoot() + "missing.txt", target, false));
  EXPECT_FALSE(FileExists(target));
}

TEST_F(SystemHelpers, MoveOfALockedSourceFailsAfterTheCopy) {
  const std::string source = TempRoot() + "locked.txt", target = TempRoot() + "moved.txt";
  test::WriteWholeFile(source, "data");
  HANDLE lock = CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(CopyReplace(source, target, true));
  CloseHandle(lock);
  EXPECT_EQ(test::ReadWholeFile(target), "data");
  EXPECT_TRUE(FileExists(source));
}

TEST_F(SystemHelpers, DeleteMatchingRemovesFilesOnly) {
  const std::string folder = TempRoot() + "HSF\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "MO_DIR.BIN").c_str(), nullptr);
  test::WriteWholeFile(folder + "MO1.BIN", "1");
  test::WriteWholeFile(folder + "MO2.BIN", "2");
  test::WriteWholeFile(folder + "GELDOR.WDD", "w");
  SetFileAttributesA((folder + "MO2.BIN").c_str(), FILE_ATTRIBUTE_ARCHIVE);
  DeleteMatching(folder + "MO*.BIN");
  EXPECT_FALSE(FileExists(folder + "MO1.BIN"));
  EXPECT_FALSE(FileExists(folder + "MO2.BIN"));
  EXPECT_TRUE(FileExists(folder + "MO_DIR.BIN"));
  EXPECT_TRUE(FileExists(folder + "GELDOR.WDD"));
  EXPECT_TRUE(PathExists(folder + "*.WDD"));
  EXPECT_FALSE(PathExists(folder + "*.BIN\\X"));
}

TEST_F(SystemHelpers, ShortPathOfBareNamesLongNamesAndMissingPaths) {
  const std::string longFolder = TempRoot() + "Dossier de sauvegarde longue";
  CreateDirectoryA(longFolder.c_str(), nullptr);
  CurrentFolderGuard guard;
  SetCurrentFolder(longFolder);
  const std::string shortFolder = ShortPath(longFolder);
  EXPECT_NE(shortFolder.find('~'), std::string::npos) << shortFolder;
  EXPECT_EQ(ShortPath("ABSENT.ZIP"), shortFolder + "\\ABSENT.ZIP");
  EXPECT_EQ(ShortPath("Y:\\nowhere\\x.zip"), "Y:\\nowhere\\x.zip");
  test::WriteWholeFile(longFolder + "\\Fichier long.txt", "x");
  EXPECT_EQ(ShortPath("Fichier long.txt").find(shortFolder + "\\"), 0u);
  EXPECT_EQ(ShortPath("Fichier long.txt").find(' '), std::string::npos);
}

TEST_F(SystemHelpers, CopyFolderPutsTheFolderInsideAnExistingTarget) {
  const std::string source = TempRoot() + "TRAMES", target = TempRoot() + "FIC01";
  CreateDirectoryA(source.c_str(), nullptr);
  CreateDirectoryA(target.c_str(), nullptr);
  test::WriteWholeFile(source + "\\FACTURE.TRM", "trame");
  EXPECT_TRUE(CopyFolder("  " + source + "\\ ", target + "\\"));
  EXPECT_EQ(test::ReadWholeFile(target + "\\TRAMES\\FACTURE.TRM"), "trame");
}

TEST_F(SystemHelpers, RunAndWaitPassesTheCommandLineAndKeepsTheHostAlive) {
  ToolCopy("WAITTOOL.EXE");
  SetEnvironmentVariableA("KVXTOOL_SLEEP_MS", "700");
  CurrentFolderGuard guard;
  SetCurrentFolder(TempRoot());
  EXPECT_TRUE(RunAndWait(host_, "WAITTOOL.EXE", "REP=C:\\DATA", [] { return false; }));
  EXPECT_EQ(test::ReadWholeFile(TempRoot() + "tools.log"), "WAITTOOL.EXE\tREP=C:\\DATA\t" + TempRoot().substr(0, TempRoot().size() - 1) + "\r\n");
  EXPECT_GE(Count(HostLog(), "CMD MULTITACHE,-2\n"), 2);
}

TEST_F(SystemHelpers, RunAndWaitOfAMissingProgramFails) {
  EXPECT_FALSE(RunAndWait(host_, "NOSUCHTOOL.EXE", "", [] { return false; }));
  EXPECT_EQ(HostLog().find("MULTITACHE"), std::string::npos);
}

TEST_F(SystemHelpers, EscapeEndsAProgramGivenByBareName) {
  ToolCopy("ESCTOOL.EXE");
  int polls = 0;
  EXPECT_TRUE(RunAndWait(host_, "ESCTOOL.EXE", "/STAY", [&] { return ++polls == 3; }));
  EXPECT_EQ(polls, 3);
  EXPECT_EQ(CountProcesses("ESCTOOL.EXE"), 0);
}

// A converter that would succeed, ended by Esc before it is done: its run has failed.
TEST_F(SystemHelpers, AProgramEndedByEscapeHasNotSucceeded) {
  // Named after this test program's process: Esc ends the first process of the name.
  const std::string name = "ESC" + std::to_string(GetCurrentProcessId()) + ".EXE";
  const std::string path = ToolCopy(name);
  SetEnvironmentVariableA("KVXTOOL_SLEEP_MS", "1500");
  for (const int escapeAtPoll : {0, 2}) {  // 0: never
    SCOPED_TRACE(escapeAtPoll);
    int polls = 0;
    EXPECT_EQ(RunAndWaitForSuccess(host_, name, "", [&] { return ++polls == escapeAtPoll; }), escapeAtPoll == 0);
    EXPECT_EQ(CountProcesses(name), 0);
  }
  DeleteFileA(path.c_str());
}

TEST_F(SystemHelpers, EscapeDoesNotEndAProgramGivenWithItsFolder) {
  const std::string path = ToolCopy("PATHTOOL.EXE");
  SetEnvironmentVariableA("KVXTOOL_SLEEP_MS", "1200");
  int polls = 0;
  EXPECT_TRUE(RunAndWait(host_, path, "", [&] { return ++polls > 0; }));
  // Esc was down at every poll, yet the program ran to its own end.
  EXPECT_GE(polls, 4);
}

TEST_F(SystemHelpers, CountAndKillProcessesWithTheProjectFileRule) {
  const std::string tool = ToolCopy("VOLTEST.EXE");
  ASSERT_TRUE(Launch("VOLTEST.EXE", "/STAY", false));
  ASSERT_TRUE(Launch(tool, "/STAY", false));
  for (int i = 0; i < 100 && CountProcesses("voltest.exe") < 2; ++i) Sleep(50);
  EXPECT_EQ(CountProcesses("voltest.exe"), 2);
  CurrentFolderGuard guard;
  SetCurrentFolder(TempRoot());
  test::WriteWholeFile(TempRoot() + "VOLTEST.DPR", "project");
  EXPECT_EQ(CountProcesses("VOLTEST.EXE"), 1);
  DeleteFileA((TempRoot() + "VOLTEST.DPR").c_str());
  EXPECT_FALSE(KillProcesses(tool, true));  // a name with a folder never matches
  EXPECT_TRUE(KillProcesses("VolTest.exe", false));
  for (int i = 0; i < 100 && CountProcesses("VOLTEST.EXE") > 1; ++i) Sleep(50);
  EXPECT_EQ(CountProcesses("VOLTEST.EXE"), 1);
  EXPECT_TRUE(KillProcesses("VOLTEST.EXE", true));
  for (int i = 0; i < 100 && CountProcesses("VOLTEST.EXE") > 0; ++i) Sleep(50);
  EXPECT_EQ(CountProcesses("VOLTEST.EXE"), 0);
}

// wine reports an NT system of the XP line or later.
TEST_F(SystemHelpers, RunningWindowsVersionIsReadFromTheSystem) {
  const WindowsVersion version = RunningWindowsVersion();
  EXPECT_TRUE(version.nt);
  EXPECT_TRUE(IsWindowsXPOrLater(version)) << version.major << "." << version.minor << " build " << version.build;
}

TEST_F(SystemHelpers, ReadComposantReadsBesideTheProgramAndKeepsTheFolder) {
  const std::string fic01 = ProgramFolder() + "..\\FIC01";
  CreateDirectoryA(fic01.c_str(), nullptr);
  test::WriteWholeFile(fic01 + "\\PARAM.DTA", "[COMPOSANTS]\r\nDPIOK=1,,\r\n");
  CurrentFolderGuard guard;
  SetCurrentFolder(TempRoot());
  TParamDTA param;
  EXPECT_EQ(param.ReadComposant("DPIOK"), "1");
  EXPECT_EQ(param.ReadComposant("USER"), "");
  EXPECT_EQ(CurrentFolder() + "\\", TempRoot());
  DeleteFileA((fic01 + "\\PARAM.DTA").c_str());
  RemoveDirectoryA(fic01.c_str());
}

}  // namespace
}  // namespace kvx
