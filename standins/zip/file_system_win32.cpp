#include <windows.h>
#include <io.h>

#include <algorithm>

#include "base/long_path.h"
#include "base/win32_scope.h"
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

// Paths are UTF-8 here and UTF-16 for the system, so that every name Windows holds can be
// read and written, whatever the ANSI code page lacks.
std::wstring Wide(const std::string& text, UINT codePage = CP_UTF8) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// A path for the system's file calls: the long form, so that entries past MAX_PATH are reached.
std::wstring SystemPath(const std::string& utf8) { return kvx::LongPathForm(Wide(utf8)); }

// Characters the target code page lacks become its default character.
std::string Narrow(const std::wstring& wide, UINT codePage = CP_UTF8) {
  if (wide.empty()) return {};
  const int wideLength = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(codePage, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), wideLength, text.data(), length, nullptr, nullptr);
  return text;
}

// A path the system returns into a buffer: asked once for its length, then read.
template <typename Call>
std::string ReturnedPath(Call call) {
  std::wstring buffer(MAX_PATH, L'\0');
  DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length >= buffer.size()) {
    buffer.resize(length);
    length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
  }
  if (length == 0 || length >= buffer.size()) return {};
  buffer.resize(length);
  return Narrow(buffer);
}

std::string CurrentFolder() {
  return ReturnedPath([](wchar_t* buffer, DWORD size) { return GetCurrentDirectoryW(size, buffer); });
}

std::string PathForm(const std::string& path, DWORD(WINAPI* convert)(LPCWSTR, LPWSTR, DWORD)) {
  const std::wstring wide = Wide(path);
  return ReturnedPath([&](wchar_t* buffer, DWORD size) { return convert(wide.c_str(), buffer, size); });
}

}  // namespace

bool IsSeparator(char c) { return c == '/' || c == '\\'; }
char Separator() { return '\\'; }
bool NamesIgnoreCase() { return true; }

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAW data;
  const kvx::win32::ScopedFind find(FindFirstFileW(SystemPath(JoinPath(folder, "*")).c_str(), &data));
  if (!find) return entries;
  do {
    const std::string name = Narrow(data.cFileName);
    if (name == "." || name == "..") continue;
    entries.push_back({name, InfoOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime)});
  } while (FindNextFileW(find.get(), &data));
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return entries;
}

PathInfo StatPath(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &data)) return {};
  return InfoOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime);
}

bool MakeFolders(const std::string& path) {
  // Folders from the root down; those that exist (and the drive or share itself) just fail.
  for (size_t i = RootLength(path) + 1; i <= path.size(); ++i)
    if (i == path.size() || IsSeparator(path[i])) CreateDirectoryW(SystemPath(path.substr(0, i)).c_str(), nullptr);
  return StatPath(path).isFolder;
}

void SetModifiedTime(const std::string& path, uint32_t dosTime) {
  FILETIME local, utc;
  if (!DosDateTimeToFileTime(static_cast<WORD>(dosTime >> 16), static_cast<WORD>(dosTime), &local) ||
      !LocalFileTimeToFileTime(&local, &utc))
    return;
  const kvx::win32::ScopedHandle file(CreateFileW(SystemPath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (file) SetFileTime(file.get(), nullptr, nullptr, &utc);
}

std::string AbsolutePath(const std::string& path) {
  const std::wstring wide = Wide(path);
  const std::string full =
      ReturnedPath([&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(wide.c_str(), size, buffer, nullptr); });
  return full.empty() ? path : full;
}

std::string LongPath(const std::string& path) {
  const std::string whole = PathForm(path, GetLongPathNameW);
  if (!whole.empty()) return whole;
  const size_t cut = path.find_last_of("\\/");
  if (cut == std::string::npos || cut < RootLength(path)) return path;
  return LongPath(path.substr(0, cut)) + path.substr(cut);
}

std::vector<std::string> CurrentFolderForms() {
  const std::string current = CurrentFolder();
  std::vector<std::string> forms{current};
  for (const std::string& form : {PathForm(current, GetShortPathNameW), PathForm(current, GetLongPathNameW)})
    if (!form.empty()) forms.push_back(form);
  return forms;
}

// Write-through: the move is on the medium when it returns, so a power cut cannot leave
// the name pointing at nothing.
bool MoveOver(const std::string& from, const std::string& to) {
  return MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(SystemPath(path).c_str()) != 0; }

std::string ToUTF8Name(const std::string& name) { return Narrow(Wide(name, CP_ACP)); }
std::string FromUTF8Name(const std::string& utf8) { return Narrow(Wide(utf8), CP_ACP); }
std::FILE* OpenStream(const std::string& path, bool write) {
  return _wfopen(SystemPath(path).c_str(), write ? L"wb" : L"rb");
}

std::string MakeScratchFolder() {
  wchar_t folder[MAX_PATH], name[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, folder);
  if (length == 0 || length >= MAX_PATH || !GetTempFileNameW(folder, L"kvz", 0, name)) return {};
  // The unique file name becomes the folder's.
  DeleteFileW(name);
  return CreateDirectoryW(name, nullptr) ? Narrow(name) : std::string();
}

bool RemoveFolder(const std::string& path) { return RemoveDirectoryW(SystemPath(path).c_str()) != 0; }

std::string SystemErrorText() {
  const DWORD code = GetLastError();
  wchar_t text[512];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                512, nullptr);
  while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ')) --length;
  return length ? Narrow(std::wstring(text, length)) : "erreur " + std::to_string(code);
}

void SetSimulatedError(SimulatedError error) {
  SetLastError(error == SimulatedError::FileInUse ? ERROR_SHARING_VIOLATION : ERROR_READ_FAULT);
}

bool FlushToMedium(std::FILE* stream) {
  const intptr_t handle = _get_osfhandle(_fileno(stream));
  return handle != -1 && FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) != 0;
}

}  // namespace kvxzip
