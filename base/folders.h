// The process's current folder and its own executable, as Windows-1252 paths on
// Windows (native paths elsewhere).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace kvx {

std::string CurrentFolder();
bool SetCurrentFolder(std::string_view folder);

// True when a file or folder of that name exists.
bool FileExists(std::string_view path);

// Creates that file empty, only when nothing of its name exists yet (never taking over
// another process's file); false otherwise.
bool CreateNewFile(const std::filesystem::path& path);

// The running process's id, unique among the processes running.
uint32_t CurrentProcessId();

// Full path of the running program's executable.
std::string ProgramPath();
// Its folder, with a trailing separator.
std::string ProgramFolder();
// The Windows folder, with a trailing separator; empty outside Windows.
std::string WindowsFolder();

// Takes the current folder off the search path of every library loaded from now on:
// only the program's folder and the system folder are searched. Called first thing at
// start-up, so that a library lying in the folder the program was started from is
// never taken for one of ours.
void KeepCurrentFolderOffLibrarySearch();

// Makes the folder current again when it goes out of scope.
class CurrentFolderGuard {
 public:
  CurrentFolderGuard() : saved_(CurrentFolder()) {}
  ~CurrentFolderGuard() { SetCurrentFolder(saved_); }
  CurrentFolderGuard(const CurrentFolderGuard&) = delete;
  CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;
  const std::string& Saved() const { return saved_; }

 private:
  std::string saved_;
};

}  // namespace kvx
