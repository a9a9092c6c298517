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

THandleStreamEx::SystemHandle OpenFileHandle(const std::string& FileName, uint16_t Mode) {
  // The names the directory search gives, whatever the system's code page, and paths
  // past MAX_PATH.
  const std::wstring name = NativePath(FileName).wstring();
  HANDLE handle;
  if (Mode == kFileCreate)
    handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  else
    handle = CreateFileW(name.c_str(), AccessOf(Mode), ShareOf(Mode), nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return THandleStreamEx::kInvalidHandle;
  return reinterpret_cast<THandleStreamEx::SystemHandle>(handle);
}

void CloseFileHandle(THandleStreamEx::SystemHandle Handle) { CloseHandle(Win32Handle(Handle)); }

int32_t THandleStreamEx::Read(void* Buffer, int32_t Count) {
  DWORD done = 0;
  if (Count <= 0 || !ReadFile(Win32Handle(Handle), Buffer, static_cast<DWORD>(Count), &done, nullptr)) return 0;
  return static_cast<int32_t>(done);
}

int32_t THandleStreamEx::Write(const void* Buffer, int32_t Count) {
  DWORD done = 0;
  if (Count <= 0 || !WriteFile(Win32Handle(Handle), Buffer, static_cast<DWORD>(Count), &done, nullptr)) return 0;
  return static_cast<int32_t>(done);
}

int64_t THandleStreamEx::Seek(int64_t Offset, uint16_t Origin) {
  LARGE_INTEGER distance, position;
  distance.QuadPart = Offset;
  const DWORD method = Origin == kSeekFromCurrent ? FILE_CURRENT : Origin == kSeekFromEnd ? FILE_END : FILE_BEGIN;
  if (!SetFilePointerEx(Win32Handle(Handle), distance, &position, method)) return -1;
  return position.QuadPart;
}

bool THandleStreamEx::SetSize(int64_t NewSize) {
  return Seek(NewSize, kSeekFromBeginning) == NewSize && SetEndOfFile(Win32Handle(Handle));
}

}  // namespace kvx
