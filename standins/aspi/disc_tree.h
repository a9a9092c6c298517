// The files of a disc as a drive shows them: the directory tree of the last session,
// read from its sectors (ISO 9660, with the Joliet names when the session has a Joliet
// descriptor), and laid out in a folder that stands for the drive.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kvx::aspi {

// Fills `blocks` sectors of 2048 bytes from `lba` on; unrecorded sectors read as zeros.
using SectorReader = std::function<void(uint32_t lba, uint8_t* data, uint32_t blocks)>;

struct DiscEntry {
  std::u16string path;  // '/' between levels, parents listed before their content
  bool folder = false;
  std::vector<uint32_t> extents;  // a file's parts in order (several for a multi-extent file)
  std::vector<uint32_t> sizes;
};

// The tree of the session whose volume descriptors start at sessionStart + 16. Names
// that could leave the drive's folder ("." or "..", holding '/', '\' or ':') are left
// out with everything below them. False when the session has no volume descriptor.
bool ReadSessionTree(const SectorReader& read, uint32_t sessionStart, std::vector<DiscEntry>& entries);

// Replaces the content of `folder` (created when missing) by the session's files; with
// no session (a blank disc) the folder is left empty. False when something cannot be
// written there.
bool ExportSessionTree(const SectorReader& read, std::optional<uint32_t> sessionStart, const std::string& folder);

}  // namespace kvx::aspi
