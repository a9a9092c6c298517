// The toolbox's own reading of a zip archive's central directory, whatever the zip
// library does: the backup's read-back and the restore's checks both take their members
// from here, so that they agree with each other and with the library on what an archive
// holds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/uncached_file.h"

namespace kvx {

// A central directory larger than this is refused rather than read whole into memory: a
// million members with long names stay far below it.
inline constexpr uint64_t kLargestDirectory = uint64_t{256} << 20;

// The little-endian number of width bytes at `at` (which the caller knows to be inside).
inline uint64_t LittleEndian(std::string_view bytes, size_t at, size_t width) {
  uint64_t value = 0;
  for (size_t i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

struct ArchiveMember {
  // In UTF-8, as the zip library reads it ("/" between folders): marked UTF-8, from a
  // Unicode Path field, UTF-8 written on Unix, the others in the OEM code page.
  std::string name;
  uint64_t size = 0;  // uncompressed
  uint64_t compressedSize = 0;
  uint64_t localOffset = 0;  // from the file's start, data in front of the archive counted
  uint32_t crc = 0;
  uint32_t disk = 0;  // the volume its local header lies on
  uint16_t method = 0;
  uint16_t flags = 0;
  // A trailing separator, whoever wrote it; otherwise the folder mark of the writer's
  // system: the MS-DOS attribute (MS-DOS, NTFS, VFAT) or the Unix file type.
  bool folder = false;
};

// Where an archive file's central directory lies, for this file.
enum class DirectoryPlace {
  Here,
  Unopened,       // the file cannot be opened
  NoEndRecord,    // not a zip archive, or a diskette of a set other than the last
  OtherDiskette,  // the set's last diskette, whose directory begins on an earlier one
};

struct ArchiveDirectory {
  DirectoryPlace place = DirectoryPlace::Unopened;
  std::vector<ArchiveMember> members;  // only when it is here
  bool IsHere() const { return place == DirectoryPlace::Here; }
};

// Reads the archive's central directory, zip64 records and data in front of the archive
// (a self-extracting program) taken. False with why when the file holds one that is
// damaged: records or sizes outside the file or beyond what this process can hold, an end
// record whose count of members is not the directory's, a read that comes back short.
bool ReadArchiveDirectory(const std::filesystem::path& archive, ArchiveDirectory& directory, std::string& error);

// The archive file, read at 64-bit offsets from the medium (what was just written is read
// back from the disk, not from the system's cache): a range outside the file, one this
// process cannot hold, or a read that comes back short is a failure, never a shorter string.
class ArchiveFile {
 public:
  explicit ArchiveFile(const std::filesystem::path& path);
  bool IsOpen() const { return file_.IsOpen(); }
  uint64_t Size() const { return file_.Size(); }

  // Exactly size bytes at offset, size being at most limit; false otherwise.
  bool Read(uint64_t offset, uint64_t size, std::string& bytes, uint64_t limit = kLargestDirectory);

 private:
  UncachedFile file_;
};

}  // namespace kvx
