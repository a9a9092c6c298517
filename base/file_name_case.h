// Letter case as Windows ignores it in file names: each UTF-16 unit taken to its capital by
// the file system's table, not by a language's rules (İ, ı, ß, ſ, µ and ς stay as they are,
// as Windows' ordinal comparison keeps them apart from I, S, Μ and Σ). Two names meet on
// Windows when their capitals are the same. Natively, where there is no system to ask, a
// table of the same capitals for Latin (Windows-1252, Latin Extended-A), Greek and Cyrillic.
#pragma once

#include <string>
#include <string_view>

namespace kvx {

// The UTF-8 name with its letters in capitals as the file system compares them.
std::string FileNameUpper(std::string_view name);

}  // namespace kvx
