#include "archive/zip_directory.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <type_traits>

#include "archive/zip_member_name.h"
#include "base/checked_size.h"
#include "base/cp1252.h"
#include "base/oem_code_page.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr size_t kCentralSize = 46, kEndSize = 22, kLocatorSize = 20, kZip64EndSize = 56;
constexpr size_t kLongestComment = 0xFFFF;
constexpr uint16_t kZip64Tag = 0x0001;
constexpr uint32_t kFull32 = 0xFFFFFFFF;
constexpr uint32_t kFull16 = 0xFFFF;
// Writers' systems ("version made by", upper byte) by where they keep a folder's mark in
// the external attributes: the MS-DOS attributes in the low byte, or a Unix mode in the
// upper 16 bits (whose low byte may hold anything).
constexpr uint8_t kHostMSDOS = 0, kHostNTFS = 10, kHostVFAT = 14;
constexpr uint32_t kFolderAttribute = 0x10;
constexpr uint32_t kUnixFileType = 0170000, kUnixFolder = 0040000;

constexpr const char* kDamaged = "répertoire central endommagé";
constexpr const char* kWrongCount = "nombre de fichiers du répertoire central incorrect";

// The end records' account of the central directory.
struct Directory {
  uint64_t offset = 0;
  uint64_t size = 0;
  uint64_t entries = 0;
  uint64_t entriesOnDisk = 0;  // those whose central record lies on this volume
  uint64_t disk = 0;           // this volume's number in its set
  uint64_t directoryDisk = 0;  // the volume the directory begins on
  uint64_t leading = 0;        // bytes in front of the archive that its offsets leave out
};

// An offset past the data in front; one that would pass 64 bits stays outside any file.
uint64_t SaturatedSum(uint64_t a, uint64_t b) {
  constexpr uint64_t kTop = std::numeric_limits<uint64_t>::max();
  return a > kTop - b ? kTop : a + b;
}

uint32_t NameCRC(std::string_view bytes) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

bool StartsCentralHeader(ArchiveFile& file, uint64_t offset) {
  std::string signature;
  return file.Read(offset, 4, signature) && LittleEndian(signature, 0, 4) == kCentralSignature;
}

// The zip64 end record, when a locator lies just before the end record: where its
// locator says, or just before the locator (an archive written without the data now in
// front of it). recordsStart becomes where it begins.
bool ReadZip64End(ArchiveFile& file, uint64_t endOffset, Directory& directory, uint64_t& recordsStart,
                  std::string& error) {
  std::string locator, end64;
  if (endOffset < kLocatorSize || !file.Read(endOffset - kLocatorSize, kLocatorSize, locator) ||
      LittleEndian(locator, 0, 4) != kZip64LocatorSignature)
    return true;
  const uint64_t locatorOffset = endOffset - kLocatorSize;
  for (const uint64_t at :
       {LittleEndian(locator, 8, 8), locatorOffset - std::min<uint64_t>(locatorOffset, kZip64EndSize)}) {
    if (!RangeWithin(at, kZip64EndSize, locatorOffset) || !file.Read(at, kZip64EndSize, end64) ||
        LittleEndian(end64, 0, 4) != kZip64EndSignature)
      continue;
    directory = {LittleEndian(end64, 48, 8), LittleEndian(end64, 40, 8), LittleEndian(end64, 32, 8),
                 LittleEndian(end64, 24, 8), LittleEndian(end64, 16, 4), LittleEndian(end64, 20, 4)};
    recordsStart = at;
    return true;
  }
  error = "fin zip64 illisible";
  return false;
}

// Bytes in front of an archive written without them (a self-extracting program): the
// offsets count from the file's start when a central header lies where they say;
// otherwise the directory is taken to end where the end records begin, as unzip and
// 7-Zip take it.
uint64_t LeadingData(ArchiveFile& file, const Directory& directory, uint64_t recordsStart) {
  if (directory.entries == 0 || StartsCentralHeader(file, directory.offset) || recordsStart < directory.size)
    return 0;
  const uint64_t actual = recordsStart - directory.size;
  return actual > directory.offset && StartsCentralHeader(file, actual) ? actual - directory.offset : 0;
}

// Whether the directory the end records describe lies whole in this file, before them.
// A set's last diskette holds it when it begins there; all the members are then its own.
bool PlaceDirectory(ArchiveFile& file, uint64_t recordsStart, Directory& directory, DirectoryPlace& place,
                    std::string& error) {
  if (directory.directoryDisk != directory.disk) {
    place = DirectoryPlace::OtherDiskette;
    return true;
  }
  if (directory.entriesOnDisk != directory.entries) {
    error = kWrongCount;
    return false;
  }
  if (directory.disk == 0) directory.leading = LeadingData(file, directory, recordsStart);
  directory.offset += directory.leading;
  if (!RangeWithin(directory.offset, directory.size, recordsStart)) {
    error = "répertoire central hors de l'archive";
    return false;
  }
  place = DirectoryPlace::Here;
  return true;
}

// The end record, searched backwards past a comment; its zip64 form where a locator
// precedes it.
bool FindDirectory(ArchiveFile& file, Directory& directory, DirectoryPlace& place, std::string& error) {
  place = DirectoryPlace::NoEndRecord;
  const uint64_t tailSize = std::min<uint64_t>(file.Size(), kEndSize + kLongestComment);
  std::string tail;
  if (tailSize < kEndSize) return true;
  if (!file.Read(file.Size() - tailSize, tailSize, tail)) {
    error = "fin d'archive illisible";
    return false;
  }
  for (size_t at = tail.size() - kEndSize + 1; at-- > 0;) {
    if (LittleEndian(tail, at, 4) != kEndSignature || at + kEndSize + LittleEndian(tail, at + 20, 2) > tail.size())
      continue;
    const uint64_t endOffset = file.Size() - tailSize + at;
    directory = {LittleEndian(tail, at + 16, 4), LittleEndian(tail, at + 12, 4), LittleEndian(tail, at + 10, 2),
                 LittleEndian(tail, at + 8, 2),  LittleEndian(tail, at + 4, 2),  LittleEndian(tail, at + 6, 2)};
    uint64_t recordsStart = endOffset;
    return ReadZip64End(file, endOffset, directory, recordsStart, error) &&
           PlaceDirectory(file, recordsStart, directory, place, error);
  }
  return true;
}

// A trailing separator marks a folder whoever wrote it; the attributes only as the
// writer's system keeps them. Other systems' attributes are not read.
bool IsFolder(std::string_view name, uint8_t host, uint32_t attributes) {
  if (!name.empty() && (name.back() == '/' || name.back() == '\\')) return true;
  switch (host) {
    case kHostMSDOS:
    case kHostNTFS:
    case kHostVFAT: return (attributes & kFolderAttribute) != 0;
    case kZipHostUnix: return (attributes >> 16 & kUnixFileType) == kUnixFolder;
    default: return false;
  }
}

// The zip64 extra field holds, in this order, the values whose 32-bit (16-bit for the
// disk) field is full. Extra fields that run past their end are left unread when none
// of them is needed: some writers pad them.
bool ApplyZip64(std::string_view extra, ArchiveMember& member) {
  const bool wide = member.size == kFull32 || member.compressedSize == kFull32 || member.localOffset == kFull32 ||
                    member.disk == kFull16;
  for (size_t at = 0; at + 4 <= extra.size();) {
    const size_t size = static_cast<size_t>(LittleEndian(extra, at + 2, 2));  // 16 bits
    if (at + 4 + size > extra.size()) break;
    if (LittleEndian(extra, at, 2) == kZip64Tag) {
      const std::string_view field = extra.substr(at + 4, size);
      size_t used = 0;
      const auto take = [&](auto& value, size_t width, uint64_t full) {
        if (value != full) return true;
        if (used + width > field.size()) return false;
        value = static_cast<std::remove_reference_t<decltype(value)>>(LittleEndian(field, used, width));
        used += width;
        return true;
      };
      return take(member.size, 8, kFull32) && take(member.compressedSize, 8, kFull32) &&
             take(member.localOffset, 8, kFull32) && take(member.disk, 4, kFull16);
    }
    at += 4 + size;
  }
  return !wide;
}

// The central record at `at`, which then moves past it.
bool ReadMember(std::string_view bytes, size_t& at, ArchiveMember& member, std::string& error) {
  const std::string_view record = bytes.substr(at);
  if (record.size() < kCentralSize || LittleEndian(record, 0, 4) != kCentralSignature) {
    error = kDamaged;
    return false;
  }
  // 16-bit lengths: they fit whatever size_t is.
  const size_t nameLength = static_cast<size_t>(LittleEndian(record, 28, 2));
  const size_t extraLength = static_cast<size_t>(LittleEndian(record, 30, 2));
  const size_t variable = nameLength + extraLength + static_cast<size_t>(LittleEndian(record, 32, 2));
  if (variable > record.size() - kCentralSize) {
    error = kDamaged;
    return false;
  }
  const std::string_view name = record.substr(kCentralSize, nameLength);
  const std::string_view extra = record.substr(kCentralSize + nameLength, extraLength);
  const auto host = static_cast<uint8_t>(LittleEndian(record, 5, 1));
  member.flags = static_cast<uint16_t>(LittleEndian(record, 8, 2));
  member.method = static_cast<uint16_t>(LittleEndian(record, 10, 2));
  member.crc = static_cast<uint32_t>(LittleEndian(record, 16, 4));
  member.compressedSize = LittleEndian(record, 20, 4);
  member.size = LittleEndian(record, 24, 4);
  member.disk = static_cast<uint32_t>(LittleEndian(record, 34, 2));
  member.localOffset = LittleEndian(record, 42, 4);
  member.name = DecodeMemberName({name, member.flags, host, extra}, NameCRC, OEMToUTF8);
  member.folder = IsFolder(member.name, host, static_cast<uint32_t>(LittleEndian(record, 38, 4)));
  if (!ApplyZip64(extra, member)) {
    error = "champ zip64 de " + UTF8ToCP1252(member.name) + " endommagé";
    return false;
  }
  at += kCentralSize + variable;
  return true;
}

// The members of the directory's bytes: exactly as many records as the end record
// counts, filling the directory to its end.
bool ReadMembers(std::string_view bytes, const Directory& directory, std::vector<ArchiveMember>& members,
                 std::string& error) {
  size_t at = 0;
  while (members.size() < directory.entries && at < bytes.size()) {
    ArchiveMember member;
    if (!ReadMember(bytes, at, member, error)) return false;
    member.localOffset = SaturatedSum(member.localOffset, directory.leading);
    members.push_back(std::move(member));
  }
  if (members.size() == directory.entries && at == bytes.size()) return true;
  error = kWrongCount;
  return false;
}

}  // namespace

ArchiveFile::ArchiveFile(const fs::path& path) {
  std::string unopened;  // told as the archive missing, as the callers tell it
  file_.Open(path, unopened);
}

bool ArchiveFile::Read(uint64_t offset, uint64_t size, std::string& bytes, uint64_t limit) {
  size_t length = 0;
  std::string why;  // the callers tell which part of the archive could not be read
  if (!RangeWithin(offset, size, Size()) || !SizeInMemory(size, length, limit)) return false;
  bytes.assign(length, '\0');
  return file_.Read(offset, bytes.data(), length, why);
}

bool ReadArchiveDirectory(const fs::path& archive, ArchiveDirectory& directory, std::string& error) {
  directory = {};
  ArchiveFile file(archive);
  if (!file.IsOpen()) return true;
  Directory found;
  std::string bytes;
  if (!FindDirectory(file, found, directory.place, error)) {
    directory = {};
    return false;
  }
  if (!directory.IsHere()) return true;
  if (!file.Read(found.offset, found.size, bytes)) {
    error = "répertoire central hors de l'archive";
  } else if (ReadMembers(bytes, found, directory.members, error)) {
    return true;
  }
  directory = {};
  return false;
}

}  // namespace kvx
