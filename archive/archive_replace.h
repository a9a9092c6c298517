// Putting a new archive, already flushed to its medium, in place of the earlier one in
// one step that reaches the disk before it returns: a power cut leaves either archive
// whole under the target's name, never a mix of the two.
#pragma once

#include <filesystem>
#include <string>

namespace kvx {

// Moves written over target (same folder), replacing it; true once the move is on the
// medium, else false with the system's reason in error.
bool ReplaceArchive(const std::filesystem::path& written, const std::filesystem::path& target, std::string& error);

}  // namespace kvx
