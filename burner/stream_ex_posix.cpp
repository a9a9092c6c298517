// The handle stream over POSIX descriptors. Sharing modes have no POSIX counterpart
// and are ignored; the access part of the mode is honoured.
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/file_search.h"
#include "burner/stream_ex.h"

namespace kvx {
namespace {

int Descriptor(THandleStreamEx::SystemHandle handle) { return static_cast<int>(handle); }

int OpenFlags(uint16_t mode) {
  if (mode == kFileCreate) return O_RDWR | O_CREAT | O_TRUNC;
  switch (mode & 0x0F) {
    case kFileOpenWrite: return O_WRONLY;
    case kFileOpenReadWrite: return O_RDWR;
    default: return O_RDONLY;
  }
}

}  // namespace

THandleStreamEx::SystemHandle OpenFileHandle(const std::string& fileName, uint16_t mode) {
  const int fd = open(NativePath(fileName).c_str(), OpenFlags(mode) | O_CLOEXEC, 0666);
  if (fd < 0) return THandleStreamEx::kInvalidHandle;
  struct stat st {};
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {  // Windows refuses to open a folder as a file
    close(fd);
    return THandleStreamEx::kInvalidHandle;
  }
  if ((mode & 0x0F) == kFileOpenRead && mode != kFileCreate) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

void CloseFileHandle(THandleStreamEx::SystemHandle handle) { close(Descriptor(handle)); }

int32_t THandleStreamEx::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  // A read may deliver less than asked before the end of the file; keep going.
  int32_t done = 0;
  while (done < count) {
    const ssize_t n = read(Descriptor(Handle()), static_cast<char*>(buffer) + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t THandleStreamEx::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  int32_t done = 0;
  while (done < count) {
    const ssize_t n = write(Descriptor(Handle()), static_cast<const char*>(buffer) + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int64_t THandleStreamEx::Seek(int64_t offset, uint16_t origin) {
  const int whence = origin == kSeekFromCurrent ? SEEK_CUR : origin == kSeekFromEnd ? SEEK_END : SEEK_SET;
  return lseek(Descriptor(Handle()), static_cast<off_t>(offset), whence);
}

bool THandleStreamEx::SetSize(int64_t newSize) {
  return Seek(newSize, kSeekFromBeginning) == newSize && ftruncate(Descriptor(Handle()), static_cast<off_t>(newSize)) == 0;
}

}  // namespace kvx
