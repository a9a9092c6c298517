// Removing a file or a folder tree for good, as a restore's clean-up needs: an entry
// marked read-only is made writable first, a link (symbolic link, junction) goes as a
// link and what it points at stays, and a failure is told rather than skipped.
#pragma once

#include <filesystem>
#include <string>

namespace kvx {

// True when nothing is left at path (nothing there to begin with included). On false,
// error names the first entry that could not be removed and the system's reason; the
// removal goes on past it, so that as little as possible is left.
bool RemoveTreeNoFollow(const std::filesystem::path& path, std::string& error);

}  // namespace kvx
