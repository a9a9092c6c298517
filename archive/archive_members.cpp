#include "archive/archive_members.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <set>

#include "archive/zip_member_name.h"
#include "base/ascii_case.h"
#include "base/cp1252.h"
#include "base/file_search.h"
#include "base/oem_code_page.h"

namespace kvx {
namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr size_t kEndSize = 22;
constexpr size_t kCentralSize = 46;
constexpr size_t kLongestComment = 0xFFFF;

uint64_t Little(const std::string& bytes, size_t at, int width) {
  uint64_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

std::string ReadAt(std::ifstream& in, uint64_t offset, size_t size) {
  std::string bytes(size, '\0');
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

struct Directory {
  uint64_t offset = 0;
  uint64_t size = 0;
};

// The central directory's place, from the end record (or its zip64 form); nothing when it
// lies on another diskette than this file.
std::optional<Directory> FindDirectory(std::ifstream& in, uint64_t fileSize) {
  const uint64_t tailSize = std::min<uint64_t>(fileSize, kEndSize + kLongestComment);
  const std::string tail = ReadAt(in, fileSize - tailSize, static_cast<size_t>(tailSize));
  if (tail.size() < kEndSize) return std::nullopt;
  for (size_t at = tail.size() - kEndSize + 1; at-- > 0;) {
    if (Little(tail, at, 4) != kEndSignature) continue;
    const uint64_t thisDisk = Little(tail, at + 4, 2), directoryDisk = Little(tail, at + 6, 2);
    Directory directory{Little(tail, at + 16, 4), Little(tail, at + 12, 4)};
    const uint64_t endOffset = fileSize - tailSize + at;
    if (directory.offset == 0xFFFFFFFF && endOffset >= 20) {
      const std::string locator = ReadAt(in, endOffset - 20, 20);
      if (locator.size() < 20 || Little(locator, 0, 4) != kZip64LocatorSignature) return std::nullopt;
      const std::string end64 = ReadAt(in, Little(locator, 8, 8), 56);
      if (end64.size() < 56 || Little(end64, 0, 4) != kZip64EndSignature) return std::nullopt;
      if (Little(end64, 16, 4) != Little(end64, 20, 4)) return std::nullopt;
      return Directory{Little(end64, 48, 8), Little(end64, 40, 8)};
    }
    if (thisDisk != directoryDisk) return std::nullopt;
    return directory;
  }
  return std::nullopt;
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
  return parts;
}

uint32_t CRC32(std::string_view bytes) {
  uint32_t crc = 0xFFFFFFFF;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = crc >> 1 ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

// A member's name in UTF-8, read as the zip library reads it.
std::string MemberName(std::string_view bytes, uint16_t flags, uint8_t hostSystem, std::string_view extra) {
  return DecodeMemberName({bytes, flags, hostSystem, extra}, CRC32, OEMToUTF8);
}

// Whether Windows can hold this name; when not, why, as it follows the name.
bool WindowsCanHold(const std::string& name, std::string& why) {
  for (const std::string& part : Parts(name)) {
    if (part == "." || part == "..") continue;  // the extraction resolves these
    if (IsReservedDeviceName(part))
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

// The name as Windows compares it: its parts, letter case ignored (ASCII and the
// accented Latin letters U+00E0 to U+00FE, the ones French names hold).
std::string Key(const std::string& name) {
  std::string key;
  for (const std::string& part : Parts(name)) {
    for (size_t i = 0; i < part.size(); ++i) {
      const auto byte = static_cast<unsigned char>(part[i]);
      const auto next = i + 1 < part.size() ? static_cast<unsigned char>(part[i + 1]) : 0;
      if (byte == 0xC3 && next >= 0xA0 && next <= 0xBE && next != 0xB7) {
        key += {'\xC3', static_cast<char>(next - 0x20)};
        ++i;
      } else {
        key += ASCIIUpperChar(part[i]);
      }
    }
    key += '/';
  }
  return key;
}

}  // namespace

std::optional<std::vector<std::string>> ReadMemberNames(const std::string& archive) {
  std::ifstream in(NativePath(archive), std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  const uint64_t fileSize = static_cast<uint64_t>(in.tellg());
  const std::optional<Directory> directory = FindDirectory(in, fileSize);
  if (!directory || directory->offset + directory->size > fileSize) return std::nullopt;
  const std::string bytes = ReadAt(in, directory->offset, static_cast<size_t>(directory->size));
  std::vector<std::string> names;
  for (size_t at = 0; at + kCentralSize <= bytes.size();) {
    if (Little(bytes, at, 4) != kCentralSignature) return std::nullopt;
    const size_t nameLength = Little(bytes, at + 28, 2);
    const size_t variable = nameLength + Little(bytes, at + 30, 2) + Little(bytes, at + 32, 2);
    if (at + kCentralSize + nameLength > bytes.size()) return std::nullopt;
    const std::string_view record = std::string_view(bytes).substr(at + kCentralSize);
    names.push_back(MemberName(record.substr(0, nameLength), static_cast<uint16_t>(Little(bytes, at + 8, 2)),
                               static_cast<uint8_t>(Little(bytes, at + 5, 1)),
                               record.substr(nameLength, Little(bytes, at + 30, 2))));
    at += kCentralSize + variable;
  }
  return names;
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

}  // namespace kvx
