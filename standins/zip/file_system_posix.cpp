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


std::FILE* OpenStream(const std::string& path, bool write) { return std::fopen(path.c_str(), write ? "wb" : "rb"); }

}  // namespace kvxzip
