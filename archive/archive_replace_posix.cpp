#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "archive/archive_replace.h"

namespace kvx {

// rename replaces the name in one step; the folder's list of names reaches the disk with
// the folder's fsync.
bool ReplaceArchive(const std::filesystem::path& written, const std::filesystem::path& target, std::string& error) {
  if (std::rename(written.c_str(), target.c_str()) != 0) {
    error = std::generic_category().message(errno);
    return false;
  }
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool flushed = fd >= 0 && fsync(fd) == 0;
  if (!flushed) error = std::generic_category().message(errno);
  if (fd >= 0) close(fd);
  return flushed;
}

}  // namespace kvx
