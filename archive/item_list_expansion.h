// The item list handed to the zip library: one entry, or the entries of a list file,
// each in its absolute long form.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kvx {

// Longest item list handed to the library: 640,000 characters and the terminator.
inline constexpr size_t kItemListCapacity = 640001;

// Paths and list entries pass through a 256-byte staging buffer on their way to the library.
inline constexpr size_t kStagingMax = 255;

inline std::string Staged(std::string_view text) { return std::string(text.substr(0, kStagingMax)); }

// item: "@" + path of a list file (one entry per line), or one entry. The blank-separated
// long forms of the entries (a relative one taken in the current folder), each in double
// quotes; nullopt when they would not fit a buffer of `capacity` bytes
// (the library's item list buffer unless told). A list file that cannot be read gives an
// empty list.
std::optional<std::string> ExpandItems(std::string_view item, size_t capacity = kItemListCapacity);

}  // namespace kvx
