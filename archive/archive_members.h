// What an archive would put where, its members read from its central directory by the
// toolbox itself (whatever the zip library does): the names they take on Windows, the
// ones a restore refuses, and whether a folder holds exactly what the archive says.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "archive/zip_directory.h"

namespace kvx {

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
