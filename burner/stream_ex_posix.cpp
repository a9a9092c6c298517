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

THandleStreamEx::SystemHandle OpenFileHandle(const std::string& FileName, uint16_t Mode) {
  const int fd = open(NativePath(FileName).c_str(), OpenFlags(Mode) | O_CLOEXEC, 0666);
  if (fd < 0) return THandleStreamEx::kInvalidHandle;
  struct stat st {};
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {  // Windows refuses to open a folder as a file
    close(fd);
    return THandleStreamEx::kInvalidHandle;
  }
  if ((Mode & 0x0F) == kFileOpenRead && Mode != kFileCreate) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

void CloseFileHandle(THandleStreamEx::SystemHandle Handle) { close(Descriptor(Handle)); }

int32_t THandleStreamEx::Read(void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  // A read may deliver less than asked before the end of the file; keep going.
  int32_t done = 0;
  while (done < Count) {
    const ssize_t n = read(Descriptor(Handle), static_cast<char*>(Buffer) + done, static_cast<size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t THandleStreamEx::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  int32_t done = 0;
  while (done < Count) {
    const ssize_t n = write(Descriptor(Handle), static_cast<const char*>(Buffer) + done, static_cast<size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int64_t THandleStreamEx::Seek(int64_t Offset, uint16_t Origin) {
  const int whence = Origin == kSeekFromCurrent ? SEEK_CUR : Origin == kSeekFromEnd ? SEEK_END : SEEK_SET;
  return lseek(Descriptor(Handle), static_cast<off_t>(Offset), whence);
}

bool THandleStreamEx::SetSize(int64_t NewSize) {
  return Seek(NewSize, kSeekFromBeginning) == NewSize && ftruncate(Descriptor(Handle), static_cast<off_t>(NewSize)) == 0;
}

}  // namespace kvx
