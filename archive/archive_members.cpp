#include "archive/archive_members.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <system_error>

#include "archive/zip_member_name.h"
#include "base/ascii_case.h"
#include "base/checked_size.h"
#include "base/cp1252.h"
#include "base/file_name_case.h"
#include "base/file_search.h"
#include "base/oem_code_page.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint16_t kZip64ExtraTag = 0x0001;
constexpr uint32_t kMax32 = 0xFFFFFFFF;
constexpr uint32_t kFolderAttribute = 0x10;
constexpr size_t kEndSize = 22;
constexpr size_t kLocatorSize = 20;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kCentralSize = 46;
constexpr size_t kLongestComment = 0xFFFF;
// A central directory larger than this is refused rather than read whole into memory: a
// million members with long names stay far below it.
constexpr uint64_t kLargestDirectory = uint64_t{256} << 20;
constexpr size_t kReadBackChunk = size_t{1} << 20;

uint64_t Little(std::string_view bytes, size_t at, int width) {
  uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

uint32_t CRC32(std::string_view bytes) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// The archive file, read at 64-bit offsets: a range outside the file, one this process
// cannot hold, or a read that comes back short is a failure, never a shorter string.
class ArchiveFile {
 public:
  explicit ArchiveFile(const std::string& path) : in_(NativePath(path), std::ios::binary | std::ios::ate) {
    if (in_) size_ = static_cast<uint64_t>(in_.tellg());
  }
  bool Open() const { return static_cast<bool>(in_); }
  uint64_t Size() const { return size_; }

  bool Read(uint64_t offset, uint64_t size, std::string& bytes, uint64_t limit = kLargestDirectory) {
    size_t length = 0;
    if (!RangeWithin(offset, size, size_) || !SizeInMemory(size, length, limit) ||
        offset > static_cast<uint64_t>(std::numeric_limits<std::streamoff>::max()))
      return false;
    bytes.assign(length, '\0');
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(bytes.data(), static_cast<std::streamsize>(length));
    return in_ && static_cast<uint64_t>(in_.gcount()) == size;
  }

  bool StartsCentralHeader(uint64_t offset) {
    std::string signature;
    return Read(offset, 4, signature) && Little(signature, 0, 4) == kCentralSignature;
  }

 private:
  std::ifstream in_;
  uint64_t size_ = 0;
};

struct Directory {
  uint64_t offset = 0;
  uint64_t size = 0;
  uint64_t entries = 0;
};

// The zip64 end record, when a locator lies just before the end record: where its
// locator says, or just before the locator (an archive written without the data now in
// front of it). False when a locator names no such record.
bool ReadZip64End(ArchiveFile& file, uint64_t endOffset, Directory& directory, uint64_t& recordsStart) {
  std::string locator, end64;
  if (endOffset < kLocatorSize || !file.Read(endOffset - kLocatorSize, kLocatorSize, locator) ||
      Little(locator, 0, 4) != kZip64LocatorSignature)
    return true;
  const uint64_t locatorOffset = endOffset - kLocatorSize;
  for (const uint64_t at : {Little(locator, 8, 8), locatorOffset - std::min<uint64_t>(locatorOffset, kZip64EndSize)}) {
    if (!RangeWithin(at, kZip64EndSize, locatorOffset) || !file.Read(at, kZip64EndSize, end64) ||
        Little(end64, 0, 4) != kZip64EndSignature)
      continue;
    directory = {Little(end64, 48, 8), Little(end64, 40, 8), Little(end64, 32, 8)};
    recordsStart = at;
    return true;
  }
  return false;
}

// The central directory's place from the end records. False when they are damaged;
// `found` empty when there are none or the directory lies on another diskette. Data in
// front of an archive written without it (a self-extracting program) shifts the offsets:
// the directory is then taken to end where the end records begin.
bool FindDirectory(ArchiveFile& file, std::optional<Directory>& found) {
  const uint64_t tailSize = std::min<uint64_t>(file.Size(), kEndSize + kLongestComment);
  std::string tail;
  if (tailSize < kEndSize) return true;
  if (!file.Read(file.Size() - tailSize, tailSize, tail)) return false;
  for (size_t at = tail.size() - kEndSize + 1; at-- > 0;) {
    if (Little(tail, at, 4) != kEndSignature || at + kEndSize + Little(tail, at + 20, 2) > tail.size()) continue;
    if (Little(tail, at + 4, 2) != Little(tail, at + 6, 2) || Little(tail, at + 8, 2) != Little(tail, at + 10, 2))
      return true;  // a set whose directory does not lie whole on this diskette
    const uint64_t endOffset = file.Size() - tailSize + at;
    Directory directory{Little(tail, at + 16, 4), Little(tail, at + 12, 4), Little(tail, at + 10, 2)};
    uint64_t recordsStart = endOffset;
    if (!ReadZip64End(file, endOffset, directory, recordsStart)) return false;
    if (directory.entries > 0 && !file.StartsCentralHeader(directory.offset) && recordsStart >= directory.size &&
        recordsStart - directory.size > directory.offset && file.StartsCentralHeader(recordsStart - directory.size))
      directory.offset = recordsStart - directory.size;
    if (!RangeWithin(directory.offset, directory.size, recordsStart)) return false;
    found = directory;
    return true;
  }
  return true;
}

// The 64-bit values of the zip64 extra field, for those the record gives as 0xFFFFFFFF
// (in the order size, compressed size, offset). False when the field lacks one.
bool ApplyZip64Extra(std::string_view extra, bool sizeWide, bool compressedWide, bool offsetWide, uint64_t& size) {
  for (size_t at = 0; at + 4 <= extra.size();) {
    const size_t length = Little(extra, at + 2, 2);
    if (at + 4 + length > extra.size()) break;
    if (Little(extra, at, 2) == kZip64ExtraTag) {
      const size_t needed = 8 * (size_t{sizeWide} + compressedWide + offsetWide);
      if (length < needed) return false;
      if (sizeWide) size = Little(extra, at + 4, 8);
      return true;
    }
    at += 4 + length;
  }
  return !sizeWide && !compressedWide && !offsetWide;
}

bool IsReservedDeviceName(const std::string& part) {
  static const std::set<std::string> kDevices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  const std::string stem = ASCIIUpper(part.substr(0, part.find('.')));
  const std::string trimmed = stem.substr(0, stem.find_last_not_of(' ') + 1);
  if (kDevices.count(trimmed)) return true;
  return trimmed.size() == 4 && (trimmed.rfind("COM", 0) == 0 || trimmed.rfind("LPT", 0) == 0) &&
         ((trimmed[3] >= '1' && trimmed[3] <= '9') || trimmed[3] == '\xB9' || trimmed[3] == '\xB2' ||
          trimmed[3] == '\xB3');
}

bool HasRefusedCharacter(const std::string& part) {
  return std::any_of(part.begin(), part.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos;
  });
}

// The name's parts. The "./" that tar-style tools (bsdtar, the tar of Windows 10) put
// before every name leaves it where it is: that one is dropped, any other "." is a part.
std::vector<std::string> Parts(const std::string& name) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : name) {
    if (c == '/' || c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  if (!parts.empty() && parts[0] == ".") parts.erase(parts.begin());
  return parts;
}

// A member's name in UTF-8, read as the zip library reads it.
std::string MemberName(std::string_view bytes, uint16_t flags, uint8_t hostSystem, std::string_view extra) {
  return DecodeMemberName({bytes, flags, hostSystem, extra}, CRC32, OEMToUTF8);
}

// A leading separator (a root, or a network path), or a drive letter.
bool IsRooted(const std::string& name) {
  if (name.empty()) return false;
  const char first = ASCIIUpperChar(name[0]);
  return first == '/' || first == '\\' || (name.size() >= 2 && name[1] == ':' && first >= 'A' && first <= 'Z');
}

// Whether a restore keeps this name where the archive puts it; when not, why, as it
// follows the name. Parts that lead out of the folder or stay in place are refused here,
// whatever the zip library would make of them.
bool WindowsCanHold(const std::string& name, std::string& why) {
  if (IsRooted(name)) {
    why = " (chemin absolu)";
    return false;
  }
  for (const std::string& part : Parts(name)) {
    if (part == "..")
      why = " (remonte hors du dossier)";
    else if (part.find_first_not_of(". ") == std::string::npos)
      why = " (nom fait de points ou d'espaces)";
    else if (IsReservedDeviceName(part))
      why = " (nom réservé)";
    else if (part.back() == '.' || part.back() == ' ')
      why = " (point ou espace final)";
    else if (HasRefusedCharacter(part))
      why = " (caractère interdit)";
    else
      continue;
    return false;
  }
  return true;
}

// The name as Windows compares it: its parts, letter case ignored as the file system ignores it.
std::string Key(const std::string& name) {
  std::string key;
  for (const std::string& part : Parts(name)) key += FileNameUpper(part) + '/';
  return key;
}

// The members of the directory's bytes; false when a record runs past them or lacks its
// 64-bit size.
bool ReadMembers(std::string_view bytes, const std::optional<Directory>& found, ArchiveDirectory& directory) {
  if (!found) return true;
  size_t at = 0;
  for (uint64_t i = 0; i < found->entries; ++i) {
    if (at + kCentralSize > bytes.size() || Little(bytes, at, 4) != kCentralSignature) return false;
    const size_t nameLength = Little(bytes, at + 28, 2), extraLength = Little(bytes, at + 30, 2);
    const size_t variable = nameLength + extraLength + Little(bytes, at + 32, 2);
    if (variable > bytes.size() - at - kCentralSize) return false;
    const std::string_view name = bytes.substr(at + kCentralSize, nameLength);
    const std::string_view extra = bytes.substr(at + kCentralSize + nameLength, extraLength);
    ArchiveMember member;
    member.name = MemberName(name, static_cast<uint16_t>(Little(bytes, at + 8, 2)),
                             static_cast<uint8_t>(Little(bytes, at + 5, 1)), extra);
    member.crc = static_cast<uint32_t>(Little(bytes, at + 16, 4));
    member.size = Little(bytes, at + 24, 4);
    member.folder = (!name.empty() && (name.back() == '/' || name.back() == '\\')) ||
                    (Little(bytes, at + 38, 4) & kFolderAttribute) != 0;
    if (!ApplyZip64Extra(extra, member.size == kMax32, Little(bytes, at + 20, 4) == kMax32,
                         Little(bytes, at + 42, 4) == kMax32, member.size))
      return false;
    directory.members.push_back(std::move(member));
    at += kCentralSize + variable;
  }
  directory.here = true;
  return true;
}

// The member's name for a message, in Windows-1252.
std::string Shown(const std::string& name) { return UTF8ToCP1252(name); }

// The file's size and CRC-32, read back whole; false when it cannot be read.
bool ReadBack(const fs::path& path, uint64_t& size, uint32_t& crc) {
  std::ifstream in(path, std::ios::binary);
  std::string chunk(kReadBackChunk, '\0');
  uLong sum = crc32(0, Z_NULL, 0);
  size = 0;
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto got = static_cast<size_t>(in.gcount());
    sum = crc32(sum, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(got));
    size += got;
  }
  crc = static_cast<uint32_t>(sum);
  return in.eof() && !in.bad();
}

// The file the member was extracted to matches it; false with why.
bool FileMatches(const fs::path& path, const ArchiveMember& member, const std::string& archive, std::string& error) {
  const std::string file = "Le fichier " + Shown(member.name) + " extrait de " + archive;
  uint64_t size = 0;
  uint32_t crc = 0;
  if (!ReadBack(path, size, crc))
    error = file + " n'a pas pu être relu.";
  else if (size != member.size)
    error = file + " n'a pas la taille que l'archive lui donne.";
  else if (crc != member.crc)
    error = file + " ne correspond pas à son CRC-32 dans l'archive.";
  else
    return true;
  return false;
}

// The entry's path under the folder, as a member name ("/" between parts, UTF-8).
std::string RelativeName(const fs::path& entry, const fs::path& folder) {
  const std::u8string name = entry.lexically_relative(folder).generic_u8string();
  return std::string(name.begin(), name.end());
}

}  // namespace

bool ReadArchiveDirectory(const std::string& archive, ArchiveDirectory& directory, std::string& error) {
  directory = {};
  ArchiveFile file(archive);
  std::optional<Directory> found;
  std::string bytes;
  const bool read = file.Open() && FindDirectory(file, found) &&
                    (!found || file.Read(found->offset, found->size, bytes)) && ReadMembers(bytes, found, directory);
  if (!file.Open() || read) return true;
  directory = {};
  error = "Le répertoire de l'archive " + archive + " est endommagé.";
  return false;
}

std::vector<std::string> NamesWindowsCannotHold(const std::vector<std::string>& names) {
  std::vector<std::string> refused;
  std::map<std::string, std::string> seen;  // key -> first name
  for (const std::string& name : names) {
    if (std::string why; !WindowsCanHold(name, why)) {
      refused.push_back(UTF8ToCP1252(name) + why);
      continue;
    }
    const auto [first, isNew] = seen.emplace(Key(name), name);
    if (!isNew && first->second != name)
      refused.push_back(UTF8ToCP1252(name) + " (même nom que " + UTF8ToCP1252(first->second) + ")");
  }
  return refused;
}

std::vector<std::string> RootEntries(const std::vector<std::string>& names) {
  std::vector<std::string> roots;
  for (const std::string& name : names) {
    const std::vector<std::string> parts = Parts(name);
    if (parts.empty()) continue;
    const std::string root = UTF8ToCP1252(parts[0]);
    if (std::find(roots.begin(), roots.end(), root) == roots.end()) roots.push_back(root);
  }
  return roots;
}

bool FolderHoldsMembers(const fs::path& folder, const std::vector<ArchiveMember>& members, const std::string& archive,
                        std::string& error) {
  std::map<std::string, const ArchiveMember*> expected;  // key -> the member extracted last under it
  for (const ArchiveMember& member : members)  // "./", the folder itself, has no key
    if (const std::string key = Key(member.name); !key.empty()) expected.insert_or_assign(key, &member);
  std::set<std::string> present;
  std::error_code failed;
  for (auto it = fs::recursive_directory_iterator(folder, failed); !failed && it != fs::recursive_directory_iterator();
       it.increment(failed)) {
    const std::string name = RelativeName(it->path(), folder);
    const auto member = expected.find(Key(name));
    const bool isFolder = !it->is_symlink(failed) && it->is_directory(failed);
    // A folder of a member's path; one where a file should be is told as that file missing.
    if (isFolder && (member == expected.end() || !member->second->folder)) continue;
    if (member == expected.end() || member->second->folder != isFolder) {
      error = "Le fichier " + Shown(name) + " extrait de " + archive + " n'est pas dans l'archive.";
      return false;
    }
    if (!isFolder && !FileMatches(it->path(), *member->second, archive, error)) return false;
    present.insert(member->first);
  }
  if (failed) {
    error = "Les fichiers extraits de " + archive + " n'ont pas pu être relus.";
    return false;
  }
  for (const auto& [key, member] : expected)
    if (!present.count(key)) {
      error = (member->folder ? "Le dossier " : "Le fichier ") + Shown(member->name) +
              " manque parmi les fichiers extraits de " + archive + ".";
      return false;
    }
  return true;
}

}  // namespace kvx
