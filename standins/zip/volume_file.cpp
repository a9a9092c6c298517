#include "standins/zip/volume_file.h"

#include <algorithm>

#include "standins/zip/zip_format.h"

namespace kvxzip {

bool VolumeFile::Open(const std::string& path, DisketteDrive* drive) {
  path_ = path;
  drive_ = drive;
  return Reopen();
}

void VolumeFile::SetLastVolume(uint32_t lastVolume, VolumeCheck check) {
  lastVolume_ = lastVolume;
  current_ = lastVolume;
  check_ = std::move(check);
}

bool VolumeFile::Reopen() {
  file_.Close();
  if (!file_.Open(path_, File::Mode::Read)) return false;
  size_ = file_.Size();
  return true;
}

bool VolumeFile::HoldsFirstVolume() {
  uint32_t start = 0;
  return drive_ && ReadHere(0, &start, sizeof start) && start == kDataDescriptorSignature;
}

bool VolumeFile::AskForLastVolume() {
  file_.Close();
  if (!drive_->Ask(DisketteQuestion::Insert, kLastDiskette)) {
    cancelled_ = true;
    return false;
  }
  return Reopen();
}

// The bound is checked without adding: a position read from a damaged record may be near
// the top of the 64-bit range.
bool VolumeFile::ReadHere(uint64_t position, void* buffer, size_t size) {
  return size <= size_ && position <= size_ - size && file_.Seek(position) && file_.Read(buffer, size) == size;
}

// Asks for the volume until the drive holds it; a wrong diskette is asked for again.
bool VolumeFile::Fetch(uint32_t volume) {
  if (volume == current_) return true;
  if (volume > lastVolume_ || !drive_) return false;
  current_ = kNoVolume;
  while (true) {
    file_.Close();  // the diskette is taken out: nothing on it may stay open
    if (!drive_->Ask(DisketteQuestion::Insert, volume + 1)) {
      cancelled_ = true;
      return false;
    }
    if (Reopen() && check_(volume)) break;
  }
  current_ = volume;
  return true;
}

bool VolumeFile::Seek(uint32_t volume, uint64_t offset) {
  if (!Fetch(volume) || offset > size_ || !file_.Seek(offset)) return false;
  offset_ = offset;
  return true;
}

size_t VolumeFile::Read(void* buffer, size_t size) {
  auto* bytes = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < size) {
    if (offset_ >= size_ && !Seek(current_ + 1, 0)) break;
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(size - done, size_ - offset_));
    const size_t got = file_.Read(bytes + done, wanted);
    offset_ += got;
    done += got;
    if (got < wanted) break;
  }
  return done;
}

}  // namespace kvxzip
