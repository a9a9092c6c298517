// Writing what the system still holds in memory for a file or a folder tree to the
// disk, so that a power cut after the call finds it there.
#pragma once

#include <filesystem>

namespace kvx {

// True when the file's data reached the disk.
bool FlushFileToDisk(const std::filesystem::path& file);
// Every file under the folder (and, where the system keeps them apart, every folder's
// list of names); true when all of them reached the disk.
bool FlushTreeToDisk(const std::filesystem::path& folder);

}  // namespace kvx
