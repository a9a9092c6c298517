#include <windows.h>

#include <system_error>

#include "base/disk_flush.h"
#include "base/long_path.h"

namespace kvx {

namespace fs = std::filesystem;

namespace {

bool FlushOpenable(const fs::path& file) {
  HANDLE handle =
      CreateFileW(LongPathForm(file.wstring()).c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool flushed = FlushFileBuffers(handle) != 0;
  CloseHandle(handle);
  return flushed;
}

}  // namespace

// FlushFileBuffers wants a handle that may write; the file's data is not touched. A
// read-only file loses that attribute for the length of the call.
bool FlushFileToDisk(const fs::path& file) {
  const std::wstring path = LongPathForm(file.wstring());
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (!(attributes & FILE_ATTRIBUTE_READONLY)) return FlushOpenable(path);
  if (!SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) return false;
  const bool flushed = FlushOpenable(path);
  return SetFileAttributesW(path.c_str(), attributes) && flushed;
}

// NTFS logs its names itself: only the files' data needs flushing. The walk goes in the
// long form so that files past MAX_PATH are reached too.
bool FlushTreeToDisk(const fs::path& folder) {
  std::error_code error;
  bool all = true;
  for (fs::recursive_directory_iterator it(LongPathForm(folder.wstring()), error), end; !error && it != end;
       it.increment(error))
    if (it->is_regular_file(error)) all = FlushFileToDisk(it->path()) && all;
  return !error && all;
}

}  // namespace kvx
