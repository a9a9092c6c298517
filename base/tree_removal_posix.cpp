#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/cp1252.h"
#include "base/tree_removal.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

// Keeps the first failure only: it is the one the person is told about.
bool Failed(const fs::path& path, int code, std::string& error) {
  if (error.empty()) error = UTF8ToCP1252(path.string()) + " : " + std::strerror(code);
  return false;
}

std::vector<std::string> NamesIn(const fs::path& folder, int& code) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    code = errno;
    return names;
  }
  while (const dirent* entry = readdir(dir))
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
  closedir(dir);
  code = 0;
  return names;
}

bool RemoveEntry(const fs::path& path, std::string& error) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT || Failed(path, errno, error);
  if (!S_ISDIR(st.st_mode))  // a symbolic link is unlinked, whatever it points at
    return unlink(path.c_str()) == 0 || Failed(path, errno, error);
  // A folder without write or search permission would keep its entries: POSIX's read-only.
  if ((st.st_mode & S_IRWXU) != S_IRWXU && chmod(path.c_str(), st.st_mode | S_IRWXU) != 0)
    return Failed(path, errno, error);
  int code = 0;
  bool all = true;
  for (const std::string& name : NamesIn(path, code)) all = RemoveEntry(path / name, error) && all;
  if (code != 0) return Failed(path, code, error);
  return (rmdir(path.c_str()) == 0 || Failed(path, errno, error)) && all;
}

}  // namespace

bool RemoveTreeNoFollow(const fs::path& path, std::string& error) {
  error.clear();
  return RemoveEntry(path, error);
}

}  // namespace kvx
