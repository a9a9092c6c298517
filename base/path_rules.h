// Paths read from a file others could have written (a restore's journal), judged before
// any of them is used: where they lead as the system resolves them, not as they read.
#pragma once

#include <filesystem>

namespace kvx {

// An absolute path without a "." or ".." part or a control character (on Windows also
// without wildcards, streams or a device form): one the rules below can judge.
bool IsPlainAbsolutePath(const std::filesystem::path& path);

// Whether path lies under folder (not folder itself), both plain, compared part by part
// as the system compares names: on Windows after its own normalisation (separators,
// trailing dots and spaces) and without regard to case.
bool PathUnder(const std::filesystem::path& path, const std::filesystem::path& folder);

// Whether a and b name the same entry, both plain, compared as PathUnder does; on Windows
// an entry that exists is taken in its long form, so that an 8.3 name meets its long one.
bool SamePath(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace kvx
