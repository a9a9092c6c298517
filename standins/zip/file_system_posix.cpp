#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "standins/zip/file_system.h"
#include "standins/zip/zip_paths.h"

namespace kvxzip {
namespace {

uint32_t ToDOSTime(time_t when) {
  struct tm local {};
  localtime_r(&when, &local);
  if (local.tm_year < 80) return (1 << 5 | 1) << 16;  // 1980-01-01, the first DOS date
  const uint32_t date = static_cast<uint32_t>((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
  const uint32_t time = static_cast<uint32_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
  return date << 16 | time;
}

time_t FromDOSTime(uint32_t dosTime) {
  struct tm local {};
  local.tm_year = static_cast<int>((dosTime >> 25) & 0x7F) + 80;
  local.tm_mon = static_cast<int>((dosTime >> 21) & 0x0F) - 1;
  local.tm_mday = static_cast<int>((dosTime >> 16) & 0x1F);
  local.tm_hour = static_cast<int>((dosTime >> 11) & 0x1F);
  local.tm_min = static_cast<int>((dosTime >> 5) & 0x3F);
  local.tm_sec = static_cast<int>(dosTime & 0x1F) * 2;
  local.tm_isdst = -1;
  return mktime(&local);
}

PathInfo InfoOf(const struct stat& st) {
  PathInfo info;
  info.exists = true;
  info.isFolder = S_ISDIR(st.st_mode);
  info.size = info.isFolder ? 0 : static_cast<uint64_t>(st.st_size);
  info.dosTime = ToDOSTime(st.st_mtime);
  return info;
}

// Code page 437, the OEM code page of an English MS-DOS: the characters of bytes 0x80 to 0xFF.
constexpr char16_t kCP437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void AppendUTF8(std::string& out, char16_t unit) {
  if (unit < 0x80) {
    out += static_cast<char>(unit);
  } else if (unit < 0x800) {
    out += static_cast<char>(0xC0 | unit >> 6);
    out += static_cast<char>(0x80 | (unit & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | unit >> 12);
    out += static_cast<char>(0x80 | (unit >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (unit & 0x3F));
  }
}

std::string CurrentFolder() {
  std::string buffer(4096, '\0');
  if (!getcwd(buffer.data(), buffer.size())) return "/";
  buffer.resize(buffer.find('\0'));
  return buffer;
}

}  // namespace

bool IsSeparator(char c) { return c == '/'; }
char Separator() { return '/'; }
bool NamesIgnoreCase() { return false; }

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return entries;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    entries.push_back({name, StatPath(JoinPath(folder, name))});
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return entries;
}

PathInfo StatPath(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return {};
  return InfoOf(st);
}

bool MakeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    const std::string prefix = path.substr(0, i);
    if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return StatPath(path).isFolder;
}

void SetModifiedTime(const std::string& path, uint32_t dosTime) {
  const time_t when = FromDOSTime(dosTime);
  const struct timeval times[2] = {{when, 0}, {when, 0}};
  utimes(path.c_str(), times);
}

std::string AbsolutePath(const std::string& path) {
  return NormalizePath(!path.empty() && path[0] == '/' ? path : CurrentFolder() + "/" + path);
}

std::string LongPath(const std::string& path) { return path; }

std::vector<std::string> CurrentFolderForms() { return {NormalizePath(CurrentFolder())}; }

// The folder's entry is on the medium too when the move returns.
bool MoveOver(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) return false;
  const size_t slash = to.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : to.substr(0, slash);
  const int handle = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (handle < 0) return true;
  fsync(handle);
  close(handle);
  return true;
}

bool RemoveFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

std::string MakeScratchFolder() {
  const char* temporary = std::getenv("TMPDIR");
  std::string pattern = std::string(temporary && *temporary ? temporary : "/tmp") + "/kvxzip-XXXXXX";
  return mkdtemp(pattern.data()) ? pattern : std::string();
}

bool RemoveFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

std::string SystemErrorText() { return std::strerror(errno); }

void SetSimulatedError(SimulatedError error) { errno = error == SimulatedError::FileInUse ? EBUSY : EIO; }

bool FlushToMedium(std::FILE* stream) { return fsync(fileno(stream)) == 0; }

std::string ToUTF8Name(const std::string& name) { return name; }
std::string FromUTF8Name(const std::string& utf8) { return utf8; }

std::string OEMNameToUTF8(std::string_view name) {
  std::string utf8;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    AppendUTF8(utf8, byte < 0x80 ? char16_t{byte} : kCP437High[byte - 0x80]);
  }
  return utf8;
}

std::FILE* OpenStream(const std::string& path, bool write) { return std::fopen(path.c_str(), write ? "wb" : "rb"); }

}  // namespace kvxzip
