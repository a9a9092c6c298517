// One toolbox at a time over one folder: a lock that a process takes on a folder and holds
// until it lets it go or ends, however it ends (the system releases it with the process).
// Windows: a named mutex; elsewhere: an advisory lock on a file of the temporary folder.
#pragma once

#include <string>
#include <string_view>

namespace kvx {

class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes the lock of the folder (its spelling and letter case aside); false when another
  // holder has it, or with the system's reason in error when it cannot be made.
  bool Acquire(std::string_view folder, std::string& error);
  bool Held() const { return held_; }

 private:
  void Release();
  bool held_ = false;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int descriptor_ = -1;
#endif
};

// The name every holder of that folder's lock uses: the folder made absolute, its
// separators and letter case made one, hashed.
std::string InstanceLockName(std::string_view folder);

}  // namespace kvx
