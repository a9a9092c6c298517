// What the path rules ask of the system (path_rules_win32.cpp, path_rules_posix.cpp).
#pragma once

#include <filesystem>
#include <optional>

namespace kvx::path_rules {

// The path as the system resolves it (on Windows: GetFullPathNameW, then the long form
// of an existing entry when longNames), or nothing when the system would read it as
// something else than a plain path of its files.
std::optional<std::filesystem::path> SystemForm(const std::filesystem::path& path, bool longNames);

// Whether two names of one folder are the same name for the system.
bool SameName(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace kvx::path_rules
