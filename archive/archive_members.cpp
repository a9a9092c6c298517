#include "archive/archive_members.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <system_error>

#include "base/ascii_case.h"
#include "base/cp1252.h"
#include "base/file_name_case.h"
#include "base/file_search.h"
#include "base/uncached_file.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

constexpr size_t kReadBackChunk = size_t{1} << 20;

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

// The member's name for a message, in Windows-1252.
std::string Shown(const std::string& name) { return UTF8ToCP1252(name); }

// The file's size and CRC-32, read back whole from the disk; false when it cannot be read.
bool ReadBack(const fs::path& path, uint64_t& size, uint32_t& crc) {
  UncachedFile file;
  std::string why;  // the caller tells the file that could not be read
  if (!file.Open(path, why)) return false;
  std::string chunk(kReadBackChunk, '\0');
  uLong sum = crc32(0, Z_NULL, 0);
  size = file.Size();
  for (uint64_t offset = 0; offset < size;) {
    const auto got = static_cast<size_t>(std::min<uint64_t>(size - offset, chunk.size()));
    if (!file.Read(offset, chunk.data(), got, why)) return false;
    sum = crc32(sum, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(got));
    offset += got;
  }
  crc = static_cast<uint32_t>(sum);
  return true;
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
