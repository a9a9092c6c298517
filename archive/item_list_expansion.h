// The item list handed to the zip library: one entry, or the entries of a list file,
// each in its absolute long form, as the library's texts carry it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kvx {

// Longest item list handed to the library: 640,000 characters and the terminator.
inline constexpr size_t kItemListCapacity = 640001;

// Paths and list entries pass through a 256-byte staging buffer on their way to the library.
inline constexpr size_t kStagingMax = 255;

inline std::string Staged(std::string_view text) { return std::string(text.substr(0, kStagingMax)); }

// item: "@" + path of a list file (one entry per line; UTF-8 behind a byte order mark,
// else Windows-1252), or one entry (Windows-1252). list receives the blank-separated
// entries (a relative one taken in the current folder), each in double quotes, in the
// library's text (library_text.h). False with why, naming the path, when the list file
// cannot be read, an entry names nothing (a wildcard may match nothing), a folder it
// names (a pattern's folder) cannot be listed, an entry has no text for the library, or
// the list would not fit a buffer of `capacity` bytes (the library's unless told).
bool ExpandItems(std::string_view item, std::string& list, std::string& error, size_t capacity = kItemListCapacity);

}  // namespace kvx
