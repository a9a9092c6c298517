// Path and member-name rules of the zip stand-ins: joining, lexical normalisation,
// wildcard matching, the name a file gets in an archive and the names an extraction
// refuses. Portable.
#pragma once

#include <string>
#include <string_view>

namespace kvxzip {

std::string JoinPath(const std::string& folder, const std::string& name);
// Resolves "." and ".." lexically; a ".." never climbs above the root.
std::string NormalizePath(const std::string& absolute);
// Length of the root of an absolute path: "/" , "C:\" or "\\server\share\".
size_t RootLength(std::string_view path);
// Folder part (without its final separator; the root keeps its own) and last component.
std::string ParentOf(const std::string& path);
std::string LastComponent(const std::string& path);

bool HasWildcard(std::string_view text);

// Name of a file in the archive: relative to one of the current folder's forms when it
// lies below it (relativeToCurrent; empty for the current folder itself), otherwise the
// path without its root; '/' separators.
std::string MemberNameFor(const std::string& absolute, bool relativeToCurrent);

// True when a member name stays inside the destination: not empty, no root, no drive
// letter or other ':' and no ".." component (nor "...", ".. " and the like, which
// Windows trims into "..").
bool IsSafeMemberName(std::string_view name);

}  // namespace kvxzip
