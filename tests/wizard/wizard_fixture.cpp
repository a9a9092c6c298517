#include "tests/wizard/wizard_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <sstream>

#include "base/cp1252.h"
#include "base/file_search.h"
#include "base/folders.h"
#include "host/host_bridge.h"
#include "host/param_files.h"
#include "tests/support/test_files.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
#include <windows.h>

// Unix paths handed in by CTest become names under wine's Z: drive.
std::string WindowsPathOf(const char* unixPath) {
  std::string path = std::string("Z:") + (unixPath ? unixPath : "");
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}
constexpr char kTempFolder[] = "Z:\\tmp\\";

#else
std::string WindowsPathOf(const char* path) { return path ? path : ""; }
constexpr char kTempFolder[] = "/tmp/";

#endif

// A new folder with an 8.3 name, so that its short path is itself.
fs::path ShortWorkFolder() {
  std::random_device seed;
  std::mt19937 random(seed());
  for (;;) {
    const fs::path folder = NativePath(kTempFolder + ("KVW" + std::to_string(10000 + random() % 90000)));
    if (fs::create_directory(folder)) return folder;
  }
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace

#ifdef _WIN32
void SetEnvironment(const std::string& name, const char* value) {
  _putenv_s(name.c_str(), value ? value : "");
  SetEnvironmentVariableA(name.c_str(), value);  // the stand-in DLLs read the process's block
}

std::string ToolArguments(const std::string& commandLine) { return commandLine; }
#else
// The stand-ins open what they are given as it is: the system's separators.
void SetEnvironment(const std::string& name, const char* value) {
  if (value) setenv(name.c_str(), SystemSeparators(value).c_str(), 1);
  else unsetenv(name.c_str());
}

std::string ToolArguments(const std::string& commandLine) {
  std::string arguments;
  for (const char c : SystemSeparators(commandLine))
    if (c != '"') arguments += c;
  return arguments;
}
#endif

// Windows keeps a bare profile name in its own folder; natively it is the current one,
// the installation's OUTILS folder.
std::string WizardTest::BackupListPath() const {
#ifdef _WIN32
  const char* windows = std::getenv("WINDIR");
  return std::string(windows ? windows : "C:\\windows") + "\\SauvegardeKVX.ini";
#else
  return AppPath("OUTILS\\SauvegardeKVX.ini");
#endif
}

void WizardTest::SetUp() {
  savedFolder_ = CurrentFolder();
  work_ = ShortWorkFolder();
  fs::copy(NativePath(WindowsPathOf(std::getenv("KVX_DEMO"))), work_ / "APP", fs::copy_options::recursive);
  // The copy's parameter file names the copy's data folder.
  WriteFieldValue(DataPath("PARAM.DTA"), "REPERTOIREF", AppPath("FIC01"));
  std::error_code ignored;
  fs::remove(NativePath(BackupListPath()), ignored);
  SetEnvironment("KVXHOST_SCRIPT", WorkPath("script.txt").c_str());
  SetEnvironment("KVXHOST_LOG", WorkPath("host.log").c_str());
  SetEnvironment("KVXTOOL_LOG", WorkPath("tools.log").c_str());
#ifndef _WIN32
  SetEnvironment("TMPDIR", WorkPath("").c_str());  // the staging archive of a CD backup lands there
#endif
  WriteFile(WorkPath("script.txt"), "");
  ASSERT_TRUE(SetCurrentFolder(AppPath("OUTILS")));
}

void WizardTest::TearDown() {
  host_.End();
#ifndef _WIN32
  SetEnvironment("TMPDIR", nullptr);
#endif
  SetCurrentFolder(savedFolder_);
  std::error_code ignored;
  fs::remove_all(work_, ignored);
  fs::remove(NativePath(BackupListPath()), ignored);
}

std::string WizardTest::WorkPath(const std::string& relative) const {
  return UTF16ToCP1252(work_.u16string()) + kPathSeparator + relative;
}

std::string WizardTest::AppPath(const std::string& relative) const {
  return WorkPath("APP" + std::string(1, kPathSeparator) + relative);
}

std::vector<std::string> WizardTest::HostTranscript() const { return Lines(ReadFile(WorkPath("host.log"))); }

std::vector<std::string> WizardTest::ToolLog() const { return Lines(ReadFile(WorkPath("tools.log"))); }

std::string WizardTest::ReadFile(const std::string& path) const { return test::ReadWholeFile(NativePath(path)); }

void WizardTest::WriteFile(const std::string& path, const std::string& bytes) const {
  test::WriteWholeFile(NativePath(path), bytes);
}

std::map<std::string, std::string> WizardTest::DataFiles() const {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(NativePath(AppPath("FIC01"))))
    if (entry.is_regular_file())
      files[UTF16ToCP1252(entry.path().filename().u16string())] = ReadFile(UTF16ToCP1252(entry.path().u16string()));
  return files;
}

void WizardTest::WriteBackupList(const std::string& content) const { WriteFile(BackupListPath(), content); }

std::string WizardTest::BackupListText() const { return ReadFile(BackupListPath()); }

bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& expected) {
  auto at = lines.begin();
  for (const std::string& wanted : expected) {
    at = std::find(at, lines.end(), wanted);
    if (at == lines.end()) return false;
    ++at;
  }
  return true;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace kvx
