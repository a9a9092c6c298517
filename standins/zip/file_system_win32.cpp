#include <windows.h>
#include <io.h>

#include <algorithm>

#include "standins/zip/file_system.h"
#include "standins/zip/zip_paths.h"

namespace kvxzip {
namespace {

uint32_t ToDOSTime(const FILETIME& utc) {
  FILETIME local;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time))
    return (1 << 5 | 1) << 16;  // 1980-01-01, the first DOS date
  return static_cast<uint32_t>(date) << 16 | time;
}

PathInfo InfoOf(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, const FILETIME& written) {
  PathInfo info;
  info.exists = true;
  info.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info.size = info.isFolder ? 0 : (static_cast<uint64_t>(sizeHigh) << 32 | sizeLow);
  info.dosTime = ToDOSTime(written);
  return info;
}

struct FindHandle {
  HANDLE handle;
  ~FindHandle() {
    if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
  }
};

struct FileHandle {
  HANDLE handle;
  ~FileHandle() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

std::string CurrentFolder() {
  char buffer[MAX_PATH * 4];
  const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string PathForm(const std::string& path, DWORD(WINAPI* convert)(LPCSTR, LPSTR, DWORD)) {
  char buffer[MAX_PATH * 4];
  const DWORD length = convert(path.c_str(), buffer, sizeof buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

// Through UTF-16; characters the target code page lacks become its default character.
std::string Recode(const std::string& text, UINT from, UINT to) {
  if (text.empty()) return text;
  const int wideLength = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), wide.data(), wideLength);
  const int length = WideCharToMultiByte(to, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(to, 0, wide.data(), wideLength, result.data(), length, nullptr, nullptr);
  return result;
}

}  // namespace

bool IsSeparator(char c) { return c == '/' || c == '\\'; }
char Separator() { return '\\'; }
bool NamesIgnoreCase() { return true; }

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAA data;
  FindHandle find{FindFirstFileA(JoinPath(folder, "*").c_str(), &data)};
  if (find.handle == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    entries.push_back({name, InfoOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime)});
  } while (FindNextFileA(find.handle, &data));
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return entries;
}

PathInfo StatPath(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return {};
  return InfoOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime);
}

bool MakeFolders(const std::string& path) {
  // Folders from the root down; those that exist (and the drive or share itself) just fail.
  for (size_t i = RootLength(path) + 1; i <= path.size(); ++i)
    if (i == path.size() || IsSeparator(path[i])) CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  return StatPath(path).isFolder;
}

void SetModifiedTime(const std::string& path, uint32_t dosTime) {
  FILETIME local, utc;
  if (!DosDateTimeToFileTime(static_cast<WORD>(dosTime >> 16), static_cast<WORD>(dosTime), &local) ||
      !LocalFileTimeToFileTime(&local, &utc))
    return;
  FileHandle file{CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
  if (file.handle != INVALID_HANDLE_VALUE) SetFileTime(file.handle, nullptr, nullptr, &utc);
}

std::string AbsolutePath(const std::string& path) {
  char buffer[MAX_PATH * 4];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : path;
}

std::string LongPath(const std::string& path) {
  const std::string whole = PathForm(path, GetLongPathNameA);
  if (!whole.empty()) return whole;
  const size_t cut = path.find_last_of("\\/");
  if (cut == std::string::npos || cut < RootLength(path)) return path;
  return LongPath(path.substr(0, cut)) + path.substr(cut);
}

std::vector<std::string> CurrentFolderForms() {
  const std::string current = CurrentFolder();
  std::vector<std::string> forms{current};
  for (const std::string& form : {PathForm(current, GetShortPathNameA), PathForm(current, GetLongPathNameA)})
    if (!form.empty()) forms.push_back(form);
  return forms;
}

// Write-through: the move is on the medium when it returns, so a power cut cannot leave
// the name pointing at nothing.
bool MoveOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED |
                                                   MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

std::string MakeScratchFolder() {
  char folder[MAX_PATH], name[MAX_PATH];
  const DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length >= sizeof folder || !GetTempFileNameA(folder, "kvz", 0, name)) return {};
  // The unique file name becomes the folder's.
  DeleteFileA(name);
  return CreateDirectoryA(name, nullptr) ? std::string(name) : std::string();
}

bool RemoveFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

std::string SystemErrorText() {
  const DWORD code = GetLastError();
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) --length;
  return length ? std::string(text, length) : "erreur " + std::to_string(code);
}

void SetSimulatedError(SimulatedError error) {
  SetLastError(error == SimulatedError::FileInUse ? ERROR_SHARING_VIOLATION : ERROR_READ_FAULT);
}

bool FlushToMedium(std::FILE* stream) {
  const intptr_t handle = _get_osfhandle(_fileno(stream));
  return handle != -1 && FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) != 0;
}

std::string ToUTF8Name(const std::string& name) { return Recode(name, CP_ACP, CP_UTF8); }
std::string FromUTF8Name(const std::string& utf8) { return Recode(utf8, CP_UTF8, CP_ACP); }

}  // namespace kvxzip
