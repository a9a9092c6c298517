// The file a zip reader reads: one archive, or the volumes of a spanned set of which
// the drive holds one at a time. Positions are a volume and an offset in it; reading
// runs on from the end of one volume into the next, asking for each diskette in turn.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "standins/zip/diskette_drive.h"
#include "standins/zip/file_system.h"

namespace kvxzip {

class VolumeFile {
 public:
  // True when the file opened holds the volume asked for (a wrong diskette does not).
  using VolumeCheck = std::function<bool(uint32_t volume)>;

  // Opens the file in the drive; drive may be null (no other volume can be asked for).
  bool Open(const std::string& path, DisketteDrive* drive);
  // Makes the file in the drive the last volume of a set of lastVolume + 1.
  void SetLastVolume(uint32_t lastVolume, VolumeCheck check);

  uint64_t Size() const { return size_; }
  uint32_t LastVolume() const { return lastVolume_; }
  bool Spanned() const { return lastVolume_ > 0; }
  // True when the drive holds the first volume of a spanned set.
  bool HoldsFirstVolume();
  // Asks for the last diskette of the set; false when the person cancels.
  bool AskForLastVolume();
  // Reads from the volume in the drive, whichever it is.
  bool ReadHere(uint64_t position, void* buffer, size_t size);

  // Places the reading position, asking for the volume when another is in the drive.
  bool Seek(uint32_t volume, uint64_t offset);
  // Reads on from the position; fewer bytes at the end of the set, when a volume is
  // missing or when the person cancelled.
  size_t Read(void* buffer, size_t size);
  bool Cancelled() const { return cancelled_; }

 private:
  bool Reopen();
  bool Fetch(uint32_t volume);

  static constexpr uint32_t kNoVolume = UINT32_MAX;

  std::string path_;
  DisketteDrive* drive_ = nullptr;
  File file_;
  uint64_t size_ = 0;
  uint32_t lastVolume_ = 0;
  uint32_t current_ = 0;
  uint64_t offset_ = 0;
  VolumeCheck check_;
  bool cancelled_ = false;
};

}  // namespace kvxzip
