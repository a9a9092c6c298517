#include <windows.h>

#include <vector>

#include "base/disk_flush.h"
#include "base/long_path.h"
#include "base/uncached_file_system.h"
#include "base/win32_scope.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

// A sector size the volume's own divides: 4096, or the volume's when larger (VirtualAlloc
// aligns its blocks to 64 KiB, the largest kept).
constexpr DWORD kSmallestSector = 4096, kLargestSector = 64 * 1024;

size_t SectorSize(const fs::path& path) {
  std::vector<wchar_t> root(MAX_PATH + 1);
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (!GetVolumePathNameW(LongPathForm(path.wstring()).c_str(), root.data(), static_cast<DWORD>(root.size())) ||
      !GetDiskFreeSpaceW(root.data(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
    return kSmallestSector;
  const bool usable = bytesPerSector > kSmallestSector && bytesPerSector <= kLargestSector &&
                      (bytesPerSector & (bytesPerSector - 1)) == 0;
  return usable ? bytesPerSector : kSmallestSector;
}

std::string Why(const char* what) { return std::string(what) + " (erreur " + std::to_string(GetLastError()) + ")"; }

class Win32File final : public UncachedFile::System {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override {
    if (buffer) VirtualFree(buffer, 0, MEM_RELEASE);
  }
  Win32File(const Win32File&) = delete;
  Win32File& operator=(const Win32File&) = delete;

  bool Prepare(size_t sectorSize, std::string& error) {
    LARGE_INTEGER fileSize{};
    if (!GetFileSizeEx(handle_.get(), &fileSize)) {
      error = Why("taille illisible");
      return false;
    }
    size = static_cast<uint64_t>(fileSize.QuadPart);
    sector = sectorSize;
    capacity = kUncachedBuffer;
    buffer = static_cast<char*>(VirtualAlloc(nullptr, capacity, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!buffer) error = "mémoire insuffisante";
    return buffer != nullptr;
  }

  // One call: an unbuffered read comes back short only at the file's end.
  bool ReadSectors(uint64_t start, size_t length, size_t& got, std::string& error) override {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(start);
    at.OffsetHigh = static_cast<DWORD>(start >> 32);
    DWORD read = 0;
    got = 0;
    if (!ReadFile(handle_.get(), buffer, static_cast<DWORD>(length), &read, &at) &&
        GetLastError() != ERROR_HANDLE_EOF) {
      error = Why("lecture impossible");
      return false;
    }
    got = read;
    return true;
  }

 private:
  win32::Scoped<win32::KernelTraits> handle_;
};

HANDLE OpenFile(const fs::path& path, DWORD flags) {
  return CreateFileW(LongPathForm(path.wstring()).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | flags, nullptr);
}

}  // namespace

// Windows writes a file's cached changes to the disk before it reads the file unbuffered.
// A volume that refuses unbuffered opening (some network shares; wine's drives may) is
// read through the cache once the file is flushed: the disk then holds what the reads
// return, though they may not come from it.
bool OpenUncached(const fs::path& path, std::unique_ptr<UncachedFile::System>& file, std::string& error) {
  HANDLE handle = OpenFile(path, FILE_FLAG_NO_BUFFERING);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD refused = GetLastError();
    if (refused == ERROR_FILE_NOT_FOUND || refused == ERROR_PATH_NOT_FOUND || !FlushFileToDisk(path)) {
      SetLastError(refused);
      error = Why("ouverture impossible");
      return false;
    }
    handle = OpenFile(path, 0);
  }
  if (handle == INVALID_HANDLE_VALUE) {
    error = Why("ouverture impossible");
    return false;
  }
  auto opened = std::make_unique<Win32File>(handle);
  if (!opened->Prepare(SectorSize(path), error)) return false;
  file = std::move(opened);
  return true;
}

}  // namespace kvx
