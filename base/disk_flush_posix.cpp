#include <fcntl.h>
#include <unistd.h>

#include <system_error>

#include "base/disk_flush.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

// Folders too: a renamed or new name lasts only once its folder's list is on the disk.
bool FlushEntry(const fs::path& path, bool folder) {
  const int fd = open(path.c_str(), (folder ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return false;
  const bool flushed = fsync(fd) == 0;
  close(fd);
  return flushed;
}

}  // namespace

bool FlushFileToDisk(const fs::path& file) { return FlushEntry(file, false); }

bool FlushTreeToDisk(const fs::path& folder) {
  std::error_code error;
  bool all = true;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const bool isFolder = it->is_directory(error);
    if (!isFolder && !it->is_regular_file(error)) continue;
    all = FlushEntry(it->path(), isFolder) && all;
  }
  return !error && FlushEntry(folder, true) && all;
}

}  // namespace kvx
