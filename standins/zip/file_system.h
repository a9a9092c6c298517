// The file-system seam of the zip stand-ins: paths are UTF-8 strings (on Windows the
// calls take them in UTF-16, so that any name the system holds can be read and written;
// the entry points turn the ANSI texts of the parameter records into UTF-8 and back).
// One POSIX and one Win32 implementation; the format code above it is portable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace kvxzip {

struct PathInfo {
  bool exists = false;
  bool isFolder = false;
  uint64_t size = 0;
  uint32_t dosTime = 0;  // MS-DOS date in the high word, time in the low word, local time
};

struct FolderEntry {
  std::string name;
  PathInfo info;
};

// True when the platform treats c as a path separator ('/' always, '\' on Windows).
bool IsSeparator(char c);
// The separator the platform writes.
char Separator();
// True when file names compare without letter case (Windows).
bool NamesIgnoreCase();

// Entries of a folder other than "." and "..", sorted by name.
std::vector<FolderEntry> ListFolder(const std::string& folder);
PathInfo StatPath(const std::string& path);
// Creates the folder with every missing parent; true when it exists afterwards.
bool MakeFolders(const std::string& path);
void SetModifiedTime(const std::string& path, uint32_t dosTime);
// Absolute form of a path taken against the current folder ("." and ".." resolved).
std::string AbsolutePath(const std::string& path);
// The long spelling of an absolute path, Windows' 8.3 names of its existing part
// expanded, so that member names are the names a restore must bring back.
std::string LongPath(const std::string& path);
// The spellings of the current folder a path may start with (long and short forms on Windows).
std::vector<std::string> CurrentFolderForms();
// Moves from over to, replacing an existing file.
bool MoveOver(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
// A new empty folder of its own in the system's temporary folder; empty when none could be made.
std::string MakeScratchFolder();
// Removes an empty folder.
bool RemoveFolder(const std::string& path);
// The platform's own wording of its last error (errno, or GetLastError on Windows).
std::string SystemErrorText();
// Makes the platform's last error the one a real failure would leave, for the faults
// that tests inject: a file held by another program, or a device that stops reading.
enum class SimulatedError { FileInUse, DeviceError };
void SetSimulatedError(SimulatedError error);
// Writes what the system still holds of the stream to the medium.
bool FlushToMedium(std::FILE* stream);
// A text in the code page of the parameter records (ANSI on Windows) to UTF-8 and back;
// unchanged where that is UTF-8.
std::string ToUTF8Name(const std::string& name);
std::string FromUTF8Name(const std::string& utf8);
// fopen of a UTF-8 path; write truncates.
std::FILE* OpenStream(const std::string& path, bool write);

// An open file with 64-bit positions; closed by its destructor.
class File {
 public:
  enum class Mode { Read, Write };
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() { Close(); }

  bool Open(const std::string& path, Mode mode);
  bool IsOpen() const { return stream_ != nullptr; }
  // Fewer bytes than asked at the end of the file, or when reading failed (ReadFailed).
  size_t Read(void* buffer, size_t size);
  bool ReadFailed() const { return !readError_.empty(); }
  // The system's words for the failed read.
  const std::string& ReadError() const { return readError_; }
  bool Write(const void* buffer, size_t size);
  bool Seek(uint64_t position);
  uint64_t Size();
  // Closes; false when buffered data could not be written.
  bool Close();
  // Writes everything to the medium before a close that others rely on (the archive
  // about to replace an earlier one, the volume on a diskette about to be taken out).
  bool Flush();
  // Writes fail past this size, as on a full disk.
  void LimitSize(uint64_t bytes) { sizeLimit_ = bytes; }
  // The byte written at this position reaches the file altered.
  void CorruptByteAt(uint64_t position) { corruptAt_ = position; }
  // Reads fail past this position, as on a device that stops answering.
  void FailReadsPast(uint64_t position) { readLimit_ = position; }
  // Flush fails, as on a medium that does not take the data it was given.
  void FailFlush() { flushFails_ = true; }

 private:
  std::FILE* stream_ = nullptr;
  uint64_t sizeLimit_ = UINT64_MAX;
  uint64_t readLimit_ = UINT64_MAX;
  uint64_t corruptAt_ = UINT64_MAX;
  bool flushFails_ = false;
  std::string readError_;
};

}  // namespace kvxzip
