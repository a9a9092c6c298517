#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "base/file_search.h"
#include "base/folders.h"

namespace kvx {

std::string CurrentFolder() {
  char buffer[PATH_MAX] = {};
  return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

bool SetCurrentFolder(std::string_view folder) { return chdir(SystemSeparators(folder).c_str()) == 0; }

bool FileExists(std::string_view path) {
  struct stat info;
  return stat(SystemSeparators(path).c_str(), &info) == 0;
}

bool CreateNewFile(const std::filesystem::path& path) {
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  return file >= 0 && close(file) == 0;
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

std::string ProgramPath() {
  char buffer[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

std::string ProgramFolder() {
  const std::string path = ProgramPath();
  return path.substr(0, path.find_last_of('/') + 1);
}

std::string WindowsFolder() { return {}; }

// The dynamic loader never searches the current folder here.
void KeepCurrentFolderOffLibrarySearch() {}

}  // namespace kvx
