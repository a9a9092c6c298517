// Directory search: the files of a folder that match a name pattern, with their
// attributes, 64-bit size and last-write time. Names are Windows-1252 on every system
// (on Linux, file names are UTF-8 on disk and converted both ways).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "base/date_time.h"

namespace kvx {

// Attribute bits as Windows reports them.
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrVolumeId = 0x08;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrAnyFile = 0x3F;

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

struct FileSearchRecord {
  std::string Name;           // long name
  std::u16string WideName;    // the long name as the system gives it, which Name may lack
  std::string AlternateName;  // 8.3 name; empty when the file system keeps none
  uint32_t Attributes = 0;
  uint64_t Size = 0;
  FileTimeUtc LastWrite = 0;
};

// One search over one folder; the search handle is closed with the object.
class FileSearch {
 public:
  FileSearch();
  ~FileSearch();
  FileSearch(const FileSearch&) = delete;
  FileSearch& operator=(const FileSearch&) = delete;

  // Pattern: a path whose last part may hold the wildcards * and ? (matched without
  // regard to ASCII case; "*.*" matches every name). Hidden, system, volume and folder
  // entries are returned only when their bit is in the mask; "." and ".." come back
  // like any folder. False when nothing (more) matches.
  bool First(std::string_view pattern, uint32_t attributeMask, FileSearchRecord& record);
  bool Next(FileSearchRecord& record);

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// First match of a pattern, for callers that look up one file.
bool FindFile(std::string_view pattern, uint32_t attributeMask, FileSearchRecord& record);

// The filter the searches apply: false when the entry has a hidden, system, volume or
// folder bit that the mask does not hold.
bool MatchesAttributeMask(uint32_t attributes, uint32_t attributeMask);

// Whether the Windows-1252 long name spells the system's name whole.
bool NameSpelled(const FileSearchRecord& record);
// The name to build a path with: the long name, or where Windows-1252 lacks one of its
// characters, the 8.3 name (Win32) or the name with each such UTF-16 unit written as
// byte 81h and four hexadecimal digits, which NativePath reads back (POSIX).
std::string OpenableName(const FileSearchRecord& record);

// The name after the path's last "\" or "/" (all of it when it has none).
std::string FileNamePart(std::string_view path);

// A Windows-1252 path in the form the system's file functions take (on POSIX, "\" is
// read as the separator it is on Windows).
std::filesystem::path NativePath(std::string_view path);
// The form of an absolute path the system's file functions take at any length: on
// Windows the "\\?\" form, which passes MAX_PATH; elsewhere the path itself.
std::filesystem::path UnlimitedPath(const std::filesystem::path& path);
// The path with the system's own separators, still Windows-1252.
std::string SystemSeparators(std::string_view path);

}  // namespace kvx
