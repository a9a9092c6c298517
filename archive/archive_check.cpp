#include "archive/archive_check.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <type_traits>

#include "archive/zip_member_name.h"
#include "base/ascii_case.h"
#include "base/checked_size.h"
#include "base/cp1252.h"
#include "base/oem_code_page.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr size_t kLocalSize = 30, kCentralSize = 46, kEndSize = 22, kLocatorSize = 20, kZip64EndSize = 56;
constexpr size_t kLongestComment = 0xFFFF;
constexpr uint16_t kZip64Tag = 0x0001;
constexpr uint16_t kEncrypted = 0x0001;
constexpr uint16_t kStored = 0, kDeflated = 8;
constexpr size_t kChunk = 64 * 1024;
// Larger than any central directory of a backup (a million members): a larger one is damage.
constexpr uint64_t kLongestDirectory = 256ull << 20;
#ifdef _WIN32
constexpr bool kNamesIgnoreCase = true;
#else
constexpr bool kNamesIgnoreCase = false;
#endif

uint64_t Little(std::string_view bytes, size_t at, size_t width) {
  uint64_t value = 0;
  for (size_t i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

class ArchiveFile {
 public:
  explicit ArchiveFile(const fs::path& path) : in_(path, std::ios::binary | std::ios::ate) {
    if (in_) size_ = static_cast<uint64_t>(in_.tellg());
  }
  bool IsOpen() const { return static_cast<bool>(in_); }
  uint64_t Size() const { return size_; }

  // Exactly size bytes at offset, or false.
  bool ReadAt(uint64_t offset, size_t size, std::string& bytes) {
    if (!RangeWithin(offset, size, size_)) return false;
    bytes.resize(size);
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(bytes.data(), static_cast<std::streamsize>(size));
    return static_cast<size_t>(in_.gcount()) == size;
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

bool ReadZip64End(ArchiveFile& file, uint64_t endOffset, Directory& directory, std::string& error) {
  std::string locator, end64;
  if (endOffset < kLocatorSize || !file.ReadAt(endOffset - kLocatorSize, kLocatorSize, locator) ||
      Little(locator, 0, 4) != kZip64LocatorSignature) {
    error = "fin zip64 introuvable";
    return false;
  }
  if (!file.ReadAt(Little(locator, 8, 8), kZip64EndSize, end64) || Little(end64, 0, 4) != kZip64EndSignature) {
    error = "fin zip64 illisible";
    return false;
  }
  directory = {Little(end64, 48, 8), Little(end64, 40, 8), Little(end64, 32, 8)};
  return true;
}

// The end record, searched backwards past a comment; its zip64 form where a field is full.
bool FindDirectory(ArchiveFile& file, Directory& directory, std::string& error) {
  const uint64_t tailSize = std::min<uint64_t>(file.Size(), kEndSize + kLongestComment);
  std::string tail;
  if (tailSize < kEndSize || !file.ReadAt(file.Size() - tailSize, static_cast<size_t>(tailSize), tail)) {
    error = "pas une archive zip";
    return false;
  }
  for (size_t at = tail.size() - kEndSize + 1; at-- > 0;) {
    if (Little(tail, at, 4) != kEndSignature) continue;
    directory = {Little(tail, at + 16, 4), Little(tail, at + 12, 4), Little(tail, at + 10, 2)};
    if (directory.offset == 0xFFFFFFFF || directory.size == 0xFFFFFFFF || directory.entries == 0xFFFF)
      return ReadZip64End(file, file.Size() - tailSize + at, directory, error);
    return true;
  }
  error = "fin d'archive introuvable";
  return false;
}

uint32_t NameCRC(std::string_view bytes) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// The zip64 extra field holds, in this order, the fields whose 32-bit form is full.
bool ApplyZip64(std::string_view extra, StoredMember& member) {
  for (size_t at = 0; at + 4 <= extra.size();) {
    const size_t size = Little(extra, at + 2, 2);
    if (at + 4 + size > extra.size()) return false;
    if (Little(extra, at, 2) == kZip64Tag) {
      size_t field = at + 4;
      const auto take = [&](auto& value, size_t width, uint64_t full) {
        if (value != full) return true;
        if (field + width > at + 4 + size) return false;
        value = static_cast<std::remove_reference_t<decltype(value)>>(Little(extra, field, width));
        field += width;
        return true;
      };
      return take(member.size, 8, 0xFFFFFFFF) && take(member.compressedSize, 8, 0xFFFFFFFF) &&
             take(member.localOffset, 8, 0xFFFFFFFF) && take(member.disk, 4, 0xFFFF);
    }
    at += 4 + size;
  }
  return member.size != 0xFFFFFFFF && member.compressedSize != 0xFFFFFFFF && member.localOffset != 0xFFFFFFFF;
}

bool ParseMembers(std::string_view bytes, uint64_t entries, std::vector<StoredMember>& members, std::string& error) {
  for (size_t at = 0; at < bytes.size();) {
    if (at + kCentralSize > bytes.size() || Little(bytes, at, 4) != kCentralSignature) {
      error = "répertoire central endommagé";
      return false;
    }
    const size_t nameLength = Little(bytes, at + 28, 2), extraLength = Little(bytes, at + 30, 2);
    const size_t variable = nameLength + extraLength + Little(bytes, at + 32, 2);
    if (variable > bytes.size() - at - kCentralSize) {
      error = "répertoire central endommagé";
      return false;
    }
    const std::string_view name = bytes.substr(at + kCentralSize, nameLength);
    const std::string_view extra = bytes.substr(at + kCentralSize + nameLength, extraLength);
    StoredMember member;
    member.flags = static_cast<uint16_t>(Little(bytes, at + 8, 2));
    member.method = static_cast<uint16_t>(Little(bytes, at + 10, 2));
    member.crc = static_cast<uint32_t>(Little(bytes, at + 16, 4));
    member.compressedSize = Little(bytes, at + 20, 4);
    member.size = Little(bytes, at + 24, 4);
    member.disk = static_cast<uint32_t>(Little(bytes, at + 34, 2));
    member.localOffset = Little(bytes, at + 42, 4);
    member.name = DecodeMemberName({name, member.flags, static_cast<uint8_t>(Little(bytes, at + 5, 1)), extra},
                                   NameCRC, OEMToUTF8);
    if (!ApplyZip64(extra, member)) {
      error = "champ zip64 de " + UTF8ToCP1252(member.name) + " endommagé";
      return false;
    }
    members.push_back(std::move(member));
    at += kCentralSize + variable;
  }
  if (members.size() != entries) {
    error = "nombre de fichiers du répertoire central incorrect";
    return false;
  }
  return true;
}

bool IsFolder(const StoredMember& member) { return !member.name.empty() && member.name.back() == '/'; }

std::string Key(std::string_view name) { return kNamesIgnoreCase ? ASCIIUpper(name) : std::string(name); }

// Inflates (or copies) the member's data from the file, asking for input only when
// inflate has none left: a chunk's last bytes may expand past one output buffer.
class MemberReader {
 public:
  MemberReader(ArchiveFile& file, const StoredMember& member) : file_(file), member_(member) {}

  // True when the data reads back whole with the central directory's size and CRC-32.
  bool Check(std::string& why) {
    uint64_t dataOffset = 0;
    if (!LocateData(dataOffset, why)) return false;
    const bool read = member_.method == kStored ? Copy(dataOffset, why) : Inflate(dataOffset, why);
    if (!read) return false;
    if (produced_ != member_.size) {
      why = std::to_string(produced_) + " octets lus au lieu de " + std::to_string(member_.size);
      return false;
    }
    if (crc_ != member_.crc) why = "CRC-32 différent";
    return crc_ == member_.crc;
  }

 private:
  bool LocateData(uint64_t& dataOffset, std::string& why) {
    if (member_.flags & kEncrypted) {
      why = "fichier chiffré";
      return false;
    }
    if (member_.method != kStored && member_.method != kDeflated) {
      why = "méthode de compression " + std::to_string(member_.method) + " inconnue";
      return false;
    }
    std::string header;
    if (!file_.ReadAt(member_.localOffset, kLocalSize, header) || Little(header, 0, 4) != kLocalSignature) {
      why = "en-tête local introuvable";
      return false;
    }
    dataOffset = member_.localOffset + kLocalSize + Little(header, 26, 2) + Little(header, 28, 2);
    if (!RangeWithin(dataOffset, member_.compressedSize, file_.Size())) {
      why = "données hors de l'archive";
      return false;
    }
    return true;
  }

  // The next chunk of the member's compressed data; false when none is left.
  bool NextInput(uint64_t& offset, uint64_t& left, std::string& chunk) {
    if (left == 0) return false;
    const size_t size = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
    if (!file_.ReadAt(offset, size, chunk)) return false;
    offset += size;
    left -= size;
    return true;
  }

  void Output(const unsigned char* bytes, size_t size) {
    crc_ = static_cast<uint32_t>(crc32(crc_, bytes, static_cast<uInt>(size)));
    produced_ += size;
  }

  bool Copy(uint64_t offset, std::string& why) {
    if (member_.compressedSize != member_.size) {
      why = "taille enregistrée différente de la taille stockée";
      return false;
    }
    std::string chunk;
    for (uint64_t left = member_.compressedSize; NextInput(offset, left, chunk);)
      Output(reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size());
    return true;
  }

  bool Inflate(uint64_t offset, std::string& why) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
      why = "décompression impossible";
      return false;
    }
    const bool ended = InflateAll(stream, offset);
    const bool allInput = stream.avail_in == 0 && left_ == 0;
    inflateEnd(&stream);
    if (!ended || !allInput) why = ended ? "données compressées plus longues que prévu" : "données compressées endommagées";
    return ended && allInput;
  }

  // Input is read only once inflate has used all it had and still had room for output:
  // with its output buffer full it may hold more to give from the input already read.
  bool InflateAll(z_stream& stream, uint64_t offset) {
    std::string chunk;
    std::array<unsigned char, kChunk> out;
    left_ = member_.compressedSize;
    for (bool needsInput = true;;) {
      if (stream.avail_in == 0 && needsInput) {
        if (!NextInput(offset, left_, chunk)) return false;
        stream.next_in = reinterpret_cast<Bytef*>(chunk.data());
        stream.avail_in = static_cast<uInt>(chunk.size());
      }
      stream.next_out = out.data();
      stream.avail_out = static_cast<uInt>(out.size());
      const int result = inflate(&stream, Z_NO_FLUSH);
      // Z_BUF_ERROR with input left and a whole output buffer free: no progress can come.
      if (result == Z_BUF_ERROR ? stream.avail_in != 0 : result != Z_OK && result != Z_STREAM_END) return false;
      Output(out.data(), out.size() - stream.avail_out);
      if (produced_ > member_.size) return false;  // no need to expand a bomb to its end
      if (result == Z_STREAM_END) return true;
      needsInput = stream.avail_out != 0;
    }
  }

  ArchiveFile& file_;
  const StoredMember& member_;
  uint64_t produced_ = 0;
  uint64_t left_ = 0;
  uint32_t crc_ = 0;
};

}  // namespace

std::optional<std::vector<StoredMember>> ReadCentralDirectory(const fs::path& archive, std::string& error) {
  ArchiveFile file(archive);
  if (!file.IsOpen()) {
    error = "archive introuvable";
    return std::nullopt;
  }
  Directory directory;
  if (!FindDirectory(file, directory, error)) return std::nullopt;
  size_t size = 0;
  std::string bytes;
  if (!SizeInMemory(directory.size, size, kLongestDirectory) || !file.ReadAt(directory.offset, size, bytes)) {
    error = "répertoire central hors de l'archive";
    return std::nullopt;
  }
  std::vector<StoredMember> members;
  if (!ParseMembers(bytes, directory.entries, members, error)) return std::nullopt;
  return members;
}

bool CheckExpectedMembers(const std::vector<StoredMember>& members, const std::vector<ExpectedMember>& expected,
                          std::vector<std::string>& problems) {
  std::map<std::string, const StoredMember*> byName;
  for (const StoredMember& member : members) byName.emplace(Key(member.name), &member);
  const size_t before = problems.size();
  for (const ExpectedMember& file : expected) {
    const auto found = byName.find(Key(file.name));
    if (found == byName.end()) {
      problems.push_back("Fichier absent de la sauvegarde : " + UTF8ToCP1252(file.name));
    } else if (found->second->size != file.size) {
      problems.push_back("Fichier incomplet dans la sauvegarde : " + UTF8ToCP1252(file.name) + " (" +
                         std::to_string(found->second->size) + " octets sur " + std::to_string(file.size) + ")");
    }
  }
  return problems.size() == before;
}

bool CheckArchive(const fs::path& archive, const std::string& shownName, const std::vector<ExpectedMember>& expected,
                  std::vector<std::string>& problems) {
  const std::string failure = "Impossible de lire le fichier : " + shownName + " (relecture ";
  std::string error;
  const std::optional<std::vector<StoredMember>> members = ReadCentralDirectory(archive, error);
  if (!members || members->empty()) {
    problems.push_back(failure + "impossible : " + (members ? "archive vide" : error) + ")");
    return false;
  }
  const size_t before = problems.size();
  ArchiveFile file(archive);
  for (const StoredMember& member : *members) {
    if (IsFolder(member)) continue;
    std::string why;
    if (member.disk != 0) why = "sur un autre volume";
    if (why.empty() && MemberReader(file, member).Check(why)) continue;
    problems.push_back(failure + "de " + UTF8ToCP1252(member.name) + " incorrecte : " + why + ")");
  }
  CheckExpectedMembers(*members, expected, problems);
  return problems.size() == before;
}

}  // namespace kvx
