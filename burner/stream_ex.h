// 64-bit file streams: the engine reads source files of any size through them while
// it writes a track. The handle stream is the system's file API (Win32 or POSIX).
#pragma once

#include <cstdint>
#include <string>

namespace kvx {

// Seek origins.
inline constexpr uint16_t kSeekFromBeginning = 0;
inline constexpr uint16_t kSeekFromCurrent = 1;
inline constexpr uint16_t kSeekFromEnd = 2;

// Open modes: an access value combined with a sharing value, or kFileCreate.
inline constexpr uint16_t kFileCreate = 0xFFFF;  // create, or truncate an existing file
inline constexpr uint16_t kFileOpenRead = 0x0000;
inline constexpr uint16_t kFileOpenWrite = 0x0001;
inline constexpr uint16_t kFileOpenReadWrite = 0x0002;
inline constexpr uint16_t kFileShareExclusive = 0x0010;
inline constexpr uint16_t kFileShareDenyWrite = 0x0020;
inline constexpr uint16_t kFileShareDenyRead = 0x0030;
inline constexpr uint16_t kFileShareDenyNone = 0x0040;

class TStreamEx {
 public:
  virtual ~TStreamEx() = default;

  // False when the size could not be changed; a plain stream has nothing to change.
  virtual bool SetSize(int64_t newSize);
  // Bytes transferred; 0 on failure.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // New position from the beginning; -1 on failure.
  virtual int64_t Seek(int64_t offset, uint16_t origin) = 0;

  // Size through seeking to the end; the position is kept.
  int64_t GetSize();
};

// A stream over an open system file handle (a Win32 HANDLE or a POSIX descriptor).
class THandleStreamEx : public TStreamEx {
 public:
  using SystemHandle = intptr_t;
  static constexpr SystemHandle kInvalidHandle = -1;

  explicit THandleStreamEx(SystemHandle handle) : handle_(handle) {}

  bool SetSize(int64_t newSize) override;
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, uint16_t origin) override;

  // The handle the stream reads and writes; it stays the same for the stream's life.
  SystemHandle Handle() const { return handle_; }

 private:
  const SystemHandle handle_;
};

// A named file, opened or created with a mode; the handle is closed with the object.
class TFileStreamEx : public THandleStreamEx {
 public:
  // On failure the stream is not open and OpenError holds the engine's text.
  TFileStreamEx(const std::string& fileName, uint16_t mode);
  ~TFileStreamEx() override;
  TFileStreamEx(const TFileStreamEx&) = delete;
  TFileStreamEx& operator=(const TFileStreamEx&) = delete;

  bool IsOpen() const { return Handle() != kInvalidHandle; }
  const std::string& OpenError() const { return openError_; }

 private:
  std::string openError_;
};

// The texts of a file that cannot be opened, created, or read to its recorded size.
std::string FileOpenErrorText(const std::string& fileName);
std::string FileCreateErrorText(const std::string& fileName);
std::string FileReadErrorText(const std::string& fileName);

// Platform part: opens or creates the file (kInvalidHandle on failure) and closes it.
THandleStreamEx::SystemHandle OpenFileHandle(const std::string& fileName, uint16_t mode);
void CloseFileHandle(THandleStreamEx::SystemHandle handle);

}  // namespace kvx
