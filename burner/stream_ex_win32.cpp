// The handle stream over Win32 file handles; file names are Windows-1252.
#include <windows.h>

#include "base/file_search.h"
#include "burner/stream_ex.h"

namespace kvx {
namespace {

HANDLE Win32Handle(THandleStreamEx::SystemHandle handle) { return reinterpret_cast<HANDLE>(handle); }

DWORD AccessOf(uint16_t mode) {
  switch (mode & 0x0F) {
    case kFileOpenWrite: return GENERIC_WRITE;
    case kFileOpenReadWrite: return GENERIC_READ | GENERIC_WRITE;
    default: return GENERIC_READ;
  }
}

DWORD ShareOf(uint16_t mode) {
  switch (mode & 0xF0) {
    case kFileShareDenyWrite: return FILE_SHARE_READ;
    case kFileShareDenyRead: return FILE_SHARE_WRITE;
    case kFileShareDenyNone: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default: return 0;  // compatibility and exclusive
  }
}

}  // namespace

THandleStreamEx::SystemHandle OpenFileHandle(const std::string& fileName, uint16_t mode) {
  // The names the directory search gives, whatever the system's code page, and paths
  // past MAX_PATH.
  const std::wstring name = NativePath(fileName).wstring();
  HANDLE handle;
  if (mode == kFileCreate)
    handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  else
    handle = CreateFileW(name.c_str(), AccessOf(mode), ShareOf(mode), nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return THandleStreamEx::kInvalidHandle;
  return reinterpret_cast<THandleStreamEx::SystemHandle>(handle);
}

void CloseFileHandle(THandleStreamEx::SystemHandle handle) { CloseHandle(Win32Handle(handle)); }

int32_t THandleStreamEx::Read(void* buffer, int32_t count) {
  DWORD done = 0;
  if (count <= 0 || !ReadFile(Win32Handle(Handle()), buffer, static_cast<DWORD>(count), &done, nullptr)) return 0;
  return static_cast<int32_t>(done);
}

int32_t THandleStreamEx::Write(const void* buffer, int32_t count) {
  DWORD done = 0;
  if (count <= 0 || !WriteFile(Win32Handle(Handle()), buffer, static_cast<DWORD>(count), &done, nullptr)) return 0;
  return static_cast<int32_t>(done);
}

int64_t THandleStreamEx::Seek(int64_t offset, uint16_t origin) {
  LARGE_INTEGER distance, position;
  distance.QuadPart = offset;
  const DWORD method = origin == kSeekFromCurrent ? FILE_CURRENT : origin == kSeekFromEnd ? FILE_END : FILE_BEGIN;
  if (!SetFilePointerEx(Win32Handle(Handle()), distance, &position, method)) return -1;
  return position.QuadPart;
}

bool THandleStreamEx::SetSize(int64_t newSize) {
  return Seek(newSize, kSeekFromBeginning) == newSize && SetEndOfFile(Win32Handle(Handle()));
}

}  // namespace kvx
