#include <windows.h>

#include <string>

#include "base/instance_lock.h"

namespace kvx {

InstanceLock::~InstanceLock() { Release(); }

// A mutex of the whole machine (every session), so that two people's toolboxes on one
// machine meet too; the system closes it with the last process that holds it.
bool InstanceLock::Acquire(std::string_view folder, std::string& error) {
  Release();
  const std::string key = InstanceLockName(folder);  // ASCII
  const std::wstring name = L"Global\\" + std::wstring(key.begin(), key.end());
  HANDLE handle = CreateMutexW(nullptr, FALSE, name.c_str());
  if (!handle) {
    error = "CreateMutex: code " + std::to_string(GetLastError());
    return false;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(handle);
    return false;
  }
  handle_ = handle;
  held_ = true;
  return true;
}

void InstanceLock::Release() {
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
  held_ = false;
}

}  // namespace kvx
