// The system helpers on POSIX: processes through posix_spawn and /proc, files through
// std::filesystem. Windows paths are taken in the system's form (NativePath).
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>
#include <vector>

#include "base/ascii_case.h"
#include "base/file_search.h"
#include "base/folders.h"
#include "base/quoted_words.h"
#include "host/system_helpers.h"
#include "host/system_helpers_shared.h"

extern char** environ;

namespace kvx {
namespace {

namespace fs = std::filesystem;

// A command line split the way a Windows program's runtime splits its own: blanks
// separate, double quotes group and are dropped.
std::vector<std::string> SplitArguments(std::string_view line) { return SplitQuotedWords(line, " \t"); }

// The program's file: a path is taken as given; a bare name is looked for beside this
// program, then in the current folder, as Windows does before its search path; empty when
// it is nowhere.
std::string ProgramFile(std::string_view program) {
  if (program.find_first_of("\\/") != std::string_view::npos) return NativePath(program).string();
  for (const std::string& folder : {ProgramFolder(), CurrentFolder() + "/"}) {
    const std::string candidate = NativePath(folder + std::string(program)).string();
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  // Then the search path, looked through here rather than by posix_spawnp: a spawn that
  // fails in the child is not always told to the parent (under an emulator such as
  // qemu-user it is not), so a program found nowhere must not be started at all.
  const char* path = std::getenv("PATH");
  for (std::string_view rest = path ? path : ""; !rest.empty();) {
    const size_t colon = rest.find(':');
    const std::string folder(rest.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + std::string(program);
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// Starts file with the given words as its arguments (the first is its own name).
std::optional<pid_t> SpawnWords(const std::string& file, std::vector<std::string> words) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (file.empty() || posix_spawn(&pid, file.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return std::nullopt;
  return pid;
}

std::optional<pid_t> Spawn(std::string_view program, std::string_view arguments) {
  std::vector<std::string> words = SplitArguments(arguments);
  words.insert(words.begin(), std::string(program));
  return SpawnWords(ProgramFile(program), std::move(words));
}

// The exit code once the process has ended within the time (128 + the signal that
// ended it, -1 when it is not ours to wait for any more); nothing while it runs.
std::optional<int> ExitWithin(pid_t pid, int milliseconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    int status = 0;
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (ended < 0) return -1;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// The executable's name of a process: the file it runs, else its first argument.
std::string ProcessName(const fs::path& entry) {
  std::error_code error;
  const fs::path exe = fs::read_symlink(entry / "exe", error);
  if (!error) return exe.filename().string();
  std::ifstream in(entry / "cmdline", std::ios::binary);
  std::string first;
  std::getline(in, first, '\0');
  return FileNamePart(first);
}

// Calls the visitor with each running process's id and name; it returns false to stop.
template <typename Visitor>
void ForEachProcess(Visitor visit) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (!visit(static_cast<pid_t>(std::stol(name)), ProcessName(entry.path()))) return;
  }
}

}  // namespace

// No keyboard state to ask without a console of our own: Esc is never down.
bool EscapeKeyDown() { return false; }

std::optional<int64_t> RunToExit(HostBridge& host, std::string_view program, std::string_view arguments,
                                 const std::function<bool()>& escapePressed) {
  const std::optional<pid_t> pid = Spawn(program, arguments);
  if (!pid) return std::nullopt;
  std::optional<int> exitCode;
  WaitTicking(
      host, program, [&](int milliseconds) { return (exitCode = ExitWithin(*pid, milliseconds)).has_value(); },
      escapePressed);
  return exitCode;
}

// There is no elevation to ask for: the program starts as this one runs, as on the
// Windows versions without it. A shell puts it in the background and ends at once, so
// the program is no child of ours and nothing has to stay behind to wait for it.
bool Launch(std::string_view program, std::string_view arguments, bool) {
  const std::string file = ProgramFile(program);
  if (file.empty() || access(file.c_str(), X_OK) != 0) return false;
  std::vector<std::string> words = SplitArguments(arguments);
  words.insert(words.begin(), {"sh", "-c", "exec \"$0\" \"$@\" </dev/null &", file});
  const std::optional<pid_t> shell = SpawnWords("/bin/sh", std::move(words));
  int status = 0;
  return shell && waitpid(*shell, &status, 0) == *shell && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool LaunchElevated(intptr_t, std::string_view program, std::string_view arguments) {
  return Launch(program, arguments, true);
}

int CountProcesses(std::string_view executable) {
  const std::string wanted = ASCIIUpper(executable);
  int count = 0;
  ForEachProcess([&](pid_t, const std::string& name) {
    if (ASCIIUpper(name) == wanted) ++count;
    return true;
  });
  return CountedProcesses(executable, count);
}

bool KillProcesses(std::string_view executable, bool all) {
  const std::string wanted = ASCIIUpper(executable);
  bool killed = false;
  ForEachProcess([&](pid_t pid, const std::string& name) {
    if (ASCIIUpper(name) != wanted) return true;
    // A process ended by a signal has no exit code of its own: ExitWithin reads it as
    // 128 + the signal, never 0, so its run is not taken for a success.
    if (kill(pid, SIGKILL) == 0) killed = true;
    return all;
  });
  return killed;
}

// No short names here: a path is its own short form; a bare name is taken in the current folder.
std::string ShortPath(std::string_view path) {
  if (path.find_first_of("\\/") != std::string_view::npos) return SystemSeparators(path);
  return CurrentFolder() + kPathSeparator + std::string(path);
}

bool PathExists(std::string_view pattern) {
  FileSearchRecord record;
  return FindFile(pattern, kAttrAnyFile, record);
}

bool CopyReplace(std::string_view source, std::string_view target, bool move) {
  const fs::path from = NativePath(source), to = NativePath(target);
  std::error_code error;
  if (fs::exists(fs::symlink_status(to, error))) {
    fs::permissions(to, fs::perms::owner_write, fs::perm_options::add, error);
    fs::remove(to, error);
  }
  bool ok = fs::copy_file(from, to, fs::copy_options::none, error);
  if (ok) fs::permissions(to, fs::perms::owner_write, fs::perm_options::add, error);
  if (ok && move) ok = fs::remove(from, error);
  return ok;
}

void DeleteMatching(std::string_view pattern) {
  const size_t slash = pattern.find_last_of("\\/");
  const std::string folder(slash == std::string_view::npos ? std::string_view() : pattern.substr(0, slash + 1));
  FileSearch search;
  FileSearchRecord entry;
  std::error_code error;
  for (bool found = search.First(pattern, kAttrAnyFile, entry); found; found = search.Next(entry))
    if (!(entry.Attributes & kAttrDirectory)) fs::remove(NativePath(folder + OpenableName(entry)), error);
}

// The shell's rule: a folder copied onto an existing folder goes inside it, else it
// becomes the target; files already there are replaced.
bool CopyFolder(std::string_view source, std::string_view target) {
  fs::path from = NativePath(FolderArgument(source)), to = NativePath(FolderArgument(target));
  if (!from.has_filename()) from = from.parent_path();
  std::error_code error;
  if (!fs::is_directory(from, error)) return false;
  if (fs::is_directory(to, error)) to /= from.filename();
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, error);
  return !error;
}

// Nothing to register: no compatibility layer scales programs here.
void RegisterHighDpi(std::string_view) {}

}  // namespace kvx
