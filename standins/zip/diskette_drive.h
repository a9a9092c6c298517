// A removable drive as the spanned writer and reader use it: the room a diskette
// offers, the emptying of a diskette, and the questions put to the person between
// diskettes. The Windows drive asks with its own dialogs (or a command that stands in
// for them); native tests give a drive of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kvxzip {

// Bits of the multi-volume word.
inline constexpr uint16_t kMultiVolumeUse = 0x8000;
inline constexpr uint16_t kMultiVolumeWipe = 0x0100;
inline constexpr uint16_t kMultiVolumeSubfolders = 0x0200;
inline constexpr uint16_t kMultiVolumeSystemHidden = 0x0400;

enum class DisketteQuestion { Insert, Erase };
// The volume number that asks for the last diskette of a set, however many it has.
inline constexpr uint32_t kLastDiskette = 0;

class DisketteDrive {
 public:
  virtual ~DisketteDrive() = default;
  // Insert: put diskette `volume` (1 for the first) in the drive; Erase: the diskette's
  // content will be erased. True when the person answers OK.
  virtual bool Ask(DisketteQuestion question, uint32_t volume) = 0;
  // Bytes one volume may take on the diskette in the drive; nullopt when there is none.
  virtual std::optional<uint64_t> Room() = 0;
  // Whether emptying with these multi-volume bits would remove anything, and the emptying.
  virtual bool HasContent(uint16_t multiVolumeWord) = 0;
  virtual bool Empty(uint16_t multiVolumeWord) = 0;
};

// The drive holding path when it is a removable one; null otherwise.
std::unique_ptr<DisketteDrive> RemovableDriveOf(const std::string& path);

}  // namespace kvxzip
