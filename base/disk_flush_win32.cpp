#include <windows.h>

#include <system_error>

#include "base/disk_flush.h"

namespace kvx {

namespace fs = std::filesystem;

// FlushFileBuffers wants a handle that may write; the file's data is not touched.
bool FlushFileToDisk(const fs::path& file) {
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool flushed = FlushFileBuffers(handle) != 0;
  CloseHandle(handle);
  return flushed;
}

// NTFS logs its names itself: only the files' data needs flushing.
bool FlushTreeToDisk(const fs::path& folder) {
  std::error_code error;
  bool all = true;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    if (it->is_regular_file(error)) all = FlushFileToDisk(it->path()) && all;
  return !error && all;
}

}  // namespace kvx
