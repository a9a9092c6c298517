// What an archive would put where, read from its central directory before anything is
// extracted: the names its members take on Windows, and the ones Windows cannot hold.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kvx {

// The member names in UTF-8, as the zip library reads them ("/" between folders): marked
// UTF-8, from a Unicode Path field, UTF-8 written on Unix, the others taken as
// Windows-1252 (a code page only changes how they are shown here). Nothing when the central
// directory cannot be read from this file (not an archive, or one diskette of a set
// whose directory starts on another).
std::optional<std::vector<std::string>> ReadMemberNames(const std::string& archive);

// The names Windows cannot hold, each with why, in the archive's order: a part that is a
// reserved device name (NUL, CON, COM1...), that ends with a dot or a blank, or that holds
// a character Windows refuses; and two members that meet in one name once letter case is
// ignored. The names are given in Windows-1252, to be shown.
std::vector<std::string> NamesWindowsCannotHold(const std::vector<std::string>& names);

// The distinct first parts of the names (their root entries) in Windows-1252, in the archive's order.
std::vector<std::string> RootEntries(const std::vector<std::string>& names);

}  // namespace kvx
