// What an archive would put where, read from its central directory by the toolbox itself
// (whatever the zip library does): the names its members take on Windows, the ones a
// restore refuses, and whether a folder holds exactly what the archive says.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kvx {

struct ArchiveMember {
  // In UTF-8, as the zip library reads it ("/" between folders): marked UTF-8, from a
  // Unicode Path field, UTF-8 written on Unix, the others taken as Windows-1252 (a code
  // page only changes how they are shown here).
  std::string name;
  uint64_t size = 0;  // uncompressed
  uint32_t crc = 0;
  bool folder = false;  // a trailing separator, or the MS-DOS folder attribute alone
};

struct ArchiveDirectory {
  // False when this file holds no central directory to read: not an archive, or one
  // diskette of a set whose directory lies on another.
  bool here = false;
  std::vector<ArchiveMember> members;
};

// Reads the archive's central directory. False with why when the file holds one that is
// damaged: records or sizes outside the file or beyond what this process can hold, a
// read that comes back short.
bool ReadArchiveDirectory(const std::string& archive, ArchiveDirectory& directory, std::string& error);

// The names a restore refuses, each with why, in the archive's order: a rooted name (a
// leading separator, a drive letter, a network path), a part "..", "." or made only of
// dots and blanks, a part that is a reserved device name (NUL, CON, COM1...), that ends
// with a dot or a blank, or that holds a character Windows refuses; and two members that
// meet in one name once letter case is ignored. The names are given in Windows-1252, to
// be shown.
std::vector<std::string> NamesWindowsCannotHold(const std::vector<std::string>& names);

// The distinct first parts of the names (their root entries) in Windows-1252, in the archive's order.
std::vector<std::string> RootEntries(const std::vector<std::string>& names);

// True when the folder holds what an extraction of the members gives: every file with
// its size and CRC-32 (read back), every folder, and no other file; letter case ignored
// as Windows ignores it. False with why, naming the member (or the file that is too much).
bool FolderHoldsMembers(const std::filesystem::path& folder, const std::vector<ArchiveMember>& members,
                        const std::string& archive, std::string& error);

}  // namespace kvx
