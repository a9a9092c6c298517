#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/uncached_file_system.h"

namespace kvx {
namespace {

constexpr size_t kSector = 4096;

std::string Why(const char* what) { return std::string(what) + " : " + std::strerror(errno); }

class PosixFile final : public UncachedFile::System {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override {
    close(fd_);
    std::free(buffer);
  }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  bool Prepare(std::string& error) {
    struct stat status {};
    if (fstat(fd_, &status) != 0) {
      error = Why("taille illisible");
      return false;
    }
    if (!S_ISREG(status.st_mode)) {
      error = "pas un fichier";
      return false;
    }
    size = static_cast<uint64_t>(status.st_size);
    sector = kSector;
    capacity = kUncachedBuffer;
    void* memory = nullptr;
    if (posix_memalign(&memory, sector, capacity) != 0) {
      error = "mémoire insuffisante";
      return false;
    }
    buffer = static_cast<char*>(memory);
    // What was written goes to the disk, then the cache lets go of the file's pages: the
    // reads that follow come from the disk.
    if (fsync(fd_) != 0) {
      error = Why("écriture sur le disque impossible");
      return false;
    }
    posix_fadvise(fd_, 0, 0, POSIX_FADV_DONTNEED);
    return true;
  }

  bool ReadSectors(uint64_t start, size_t length, size_t& got, std::string& error) override {
    got = 0;
    while (got < length) {
      const ssize_t read = pread(fd_, buffer + got, length - got, static_cast<off_t>(start + got));
      if (read == 0) return true;
      if (read > 0) {
        got += static_cast<size_t>(read);
      } else if (errno == EINVAL && DropDirect()) {
        continue;
      } else if (errno != EINTR) {
        error = Why("lecture impossible");
        return false;
      }
    }
    return true;
  }

 private:
  // A file system that opened the file for direct reads may still refuse them: the file
  // is then read through the cache, which the open emptied of it.
  bool DropDirect() {
    const int flags = fcntl(fd_, F_GETFL);
    return flags >= 0 && (flags & O_DIRECT) && fcntl(fd_, F_SETFL, flags & ~O_DIRECT) == 0;
  }

  int fd_;
};

}  // namespace

bool OpenUncached(const std::filesystem::path& path, std::unique_ptr<UncachedFile::System>& file,
                  std::string& error) {
  // Direct reads where the file system allows them (tmpfs does not).
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
  if (fd < 0 && errno == EINVAL) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = Why("ouverture impossible");
    return false;
  }
  auto opened = std::make_unique<PosixFile>(fd);
  if (!opened->Prepare(error)) return false;
  file = std::move(opened);
  return true;
}

}  // namespace kvx
