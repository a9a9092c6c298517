#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <optional>
#include <vector>

#include "base/file_search.h"
#include "base/folders.h"
#include "base/win32_scope.h"
#include "host/host_rules.h"
#include "host/param_files.h"
#include "host/system_helpers.h"
#include "host/system_helpers_shared.h"
#include "host/windows_version.h"

namespace kvx {
namespace {

using win32::ScopedHandle;

win32::ScopedFind FindFirst(std::string_view pattern, WIN32_FIND_DATAA& data) {
  return win32::ScopedFind(FindFirstFileA(std::string(pattern).c_str(), &data));
}

// The started process and its first thread, owned; none when it could not be started.
struct ToolProcess {
  ScopedHandle process, thread;
};

ToolProcess CreateToolProcess(std::string_view program, std::string_view arguments) {
  std::string line = CommandLine(program, arguments);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) return {};
  return {ScopedHandle(started.hProcess), ScopedHandle(started.hThread)};
}

// Calls the visitor with each running process; it returns false to stop.
template <typename Visitor>
void ForEachProcess(Visitor visit) {
  const ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry))
    if (!visit(entry)) return;
}

std::string FullPath(std::string_view path) {
  char buffer[MAX_PATH * 2] = {};
  const DWORD length = GetFullPathNameA(std::string(path).c_str(), sizeof buffer, buffer, nullptr);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

// Short form of an existing path; empty when the path does not exist.
std::string ShortForm(std::string_view path) {
  char buffer[MAX_PATH * 2] = {};
  const DWORD length = GetShortPathNameA(std::string(path).c_str(), buffer, sizeof buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string WithoutTrailingBackslash(std::string text) {
  if (!text.empty() && text.back() == '\\') text.pop_back();
  return text;
}

// The exit code a terminated program is given. Not 0: the caller waiting for a converter
// reads 0 as "the data is converted", which a conversion cut short has not done.
constexpr UINT kTerminatedExitCode = 1;

}  // namespace

bool EscapeKeyDown() { return (GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0; }

std::optional<int64_t> RunToExit(HostBridge& host, std::string_view program, std::string_view arguments,
                                 const std::function<bool()>& escapePressed) {
  const ToolProcess tool = CreateToolProcess(program, arguments);
  if (!tool.process) return std::nullopt;
  WaitTicking(
      host, program,
      [&](int milliseconds) { return WaitForSingleObject(tool.process.get(), milliseconds) != WAIT_TIMEOUT; },
      escapePressed);
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(tool.process.get(), &exitCode)) return std::nullopt;
  return exitCode;
}

bool Launch(std::string_view program, std::string_view arguments, bool elevate) {
  if (elevate && !IsWindows2000OrXP(RunningWindowsVersion())) return LaunchElevated(0, program, arguments);
  return static_cast<bool>(CreateToolProcess(program, arguments).process);
}

bool LaunchElevated(intptr_t ownerWindow, std::string_view program, std::string_view arguments) {
  const std::string file(program), parameters(arguments);
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_FLAG_DDEWAIT;  // 500h
  info.hwnd = reinterpret_cast<HWND>(ownerWindow);
  info.lpVerb = "runas";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  return ShellExecuteExA(&info) != 0;
}

int CountProcesses(std::string_view executable) {
  const std::string wanted = ASCIIUpper(executable);
  int count = 0;
  ForEachProcess([&](const PROCESSENTRY32& entry) {
    if (ASCIIUpper(FileNamePart(entry.szExeFile)) == wanted) ++count;
    return true;
  });
  return CountedProcesses(executable, count);
}

bool KillProcesses(std::string_view executable, bool all) {
  const std::string wanted = ASCIIUpper(executable);
  bool killed = false;
  ForEachProcess([&](const PROCESSENTRY32& entry) {
    if (ASCIIUpper(entry.szExeFile) != wanted) return true;
    const ScopedHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
    if (process && TerminateProcess(process.get(), kTerminatedExitCode)) killed = true;
    return all;
  });
  return killed;
}

std::string ShortPath(std::string_view path) {
  if (path.find('\\') != std::string_view::npos) {
    const std::string shortForm = ShortForm(FullPath(path));
    return shortForm.empty() ? std::string(path) : shortForm;
  }
  std::string folder = CurrentFolder();
  if (const std::string shortFolder = ShortForm(folder); !shortFolder.empty()) folder = shortFolder;
  const std::string joined = WithoutTrailingBackslash(folder) + "\\" + std::string(path);
  const std::string shortForm = ShortForm(FullPath(joined));
  return shortForm.empty() ? joined : shortForm;
}

bool PathExists(std::string_view pattern) {
  WIN32_FIND_DATAA data;
  return static_cast<bool>(FindFirst(pattern, data));
}

bool CopyReplace(std::string_view source, std::string_view target, bool move) {
  const std::string from(source), to(target);
  if (GetFileAttributesA(to.c_str()) != INVALID_FILE_ATTRIBUTES) {
    SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(to.c_str());
  }
  bool ok = CopyFileA(from.c_str(), to.c_str(), TRUE) != 0;
  if (ok) SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (ok && move) ok = DeleteFileA(from.c_str()) != 0;
  return ok;
}

void DeleteMatching(std::string_view pattern) {
  const size_t slash = pattern.rfind('\\');
  const std::string folder(slash == std::string_view::npos ? std::string_view() : pattern.substr(0, slash + 1));
  WIN32_FIND_DATAA data;
  const win32::ScopedFind find = FindFirst(pattern, data);
  if (!find) return;
  do {
    const std::string name = data.cFileName;
    if (data.dwFileAttributes != FILE_ATTRIBUTE_DIRECTORY && data.dwFileAttributes != 0x08 /* volume label */ &&
        name != "." && name != "..")
      DeleteFileA((folder + name).c_str());
  } while (FindNextFileA(find.get(), &data));
}

bool CopyFolder(std::string_view source, std::string_view target) {
  // Each path is a list ended by an extra NUL.
  std::string from = FolderArgument(source) + '\0', to = FolderArgument(target) + '\0';
  SHFILEOPSTRUCTA operation{};
  operation.wFunc = FO_COPY;
  operation.pFrom = from.c_str();
  operation.pTo = to.c_str();
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;  // 214h
  return SHFileOperationA(&operation) == 0;
}

void RegisterHighDpi(std::string_view executablePath) {
  TParamDTA param;
  if (param.ReadComposant("DPIOK") == "1") return;
  char comspec[MAX_PATH] = {};
  GetEnvironmentVariableA("ComSpec", comspec, sizeof comspec);
  const std::string path(executablePath);
  const std::string parameters =
      "/C reg add \"HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers\" /v \"" + path +
      "\" /t REG_SZ /d \"~ HIGHDPIAWARE\" /f";
  const std::string folder = path.substr(0, path.find_last_of('\\') + 1);
  ShellExecuteA(nullptr, "open", comspec, parameters.c_str(), folder.c_str(), SW_HIDE);
}

}  // namespace kvx
