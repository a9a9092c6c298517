#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/instance_lock.h"

namespace kvx {

InstanceLock::~InstanceLock() { Release(); }

// flock belongs to the open file: a second open, even in this process, finds it taken,
// and the system drops it when the process ends.
bool InstanceLock::Acquire(std::string_view folder, std::string& error) {
  Release();
  std::error_code ignored;
  const std::string path = (std::filesystem::temp_directory_path(ignored) / (InstanceLockName(folder) + ".lock")).string();
  const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (descriptor < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
    const int why = errno;
    close(descriptor);
    if (why == EWOULDBLOCK) return false;
    error = path + ": " + std::strerror(why);
    return false;
  }
  descriptor_ = descriptor;
  held_ = true;
  return true;
}

void InstanceLock::Release() {
  if (descriptor_ >= 0) close(descriptor_);
  descriptor_ = -1;
  held_ = false;
}

}  // namespace kvx
