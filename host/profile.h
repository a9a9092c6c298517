// INI files through the platform's profile functions: section and key names compared
// without regard to letter case, the first line of a key wins. A file name without a
// folder lives in the Windows folder (on Windows).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kvx {

// Every "name=value" line of the section, in file order; empty when the file or the
// section is missing.
std::vector<std::string> ReadINISection(std::string_view file, std::string_view section);

std::string ReadINIString(std::string_view file, std::string_view section, std::string_view key,
                              std::string_view defaultValue);

bool WriteINIString(std::string_view file, std::string_view section, std::string_view key,
                        std::string_view value);

// The value of a key in "name=value" lines (the first match, name compared without
// regard to letter case), or empty.
std::string ValueOfName(const std::vector<std::string>& lines, std::string_view name);

}  // namespace kvx
