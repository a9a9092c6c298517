#include "standins/zip/spanned_writer.h"

#include <algorithm>

#include "standins/zip/file_system.h"
#include "standins/zip/zip_format.h"

namespace kvxzip {
namespace {

// The volumes of a spanned set, one open at a time, on the diskette in the drive.
class SpannedOutput final : public ArchiveOutput {
 public:
  SpannedOutput(const std::string& path, DisketteDrive& drive, uint16_t multiVolumeWord)
      : path_(path), drive_(drive), word_(multiVolumeWord) {}

  bool Start() { return OpenVolume(false) && Write(&kDataDescriptorSignature, sizeof kDataDescriptorSignature); }

  bool Write(const void* data, size_t size) override {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
      if (position_ >= room_ && !NextVolume()) return false;
      const size_t part = static_cast<size_t>(std::min<uint64_t>(size, room_ - position_));
      if (!file_.Write(bytes, part)) return false;
      position_ += part;
      bytes += part;
      size -= part;
    }
    return true;
  }

  bool KeepTogether(uint64_t size) override {
    if (position_ + size <= room_) return true;
    if (position_ == VolumeStart()) return false;  // larger than a whole diskette
    return NextVolume() && position_ + size <= room_;
  }

  uint64_t Position() const override { return position_; }
  uint32_t Volume() const override { return volume_; }
  bool CanPatch() const override { return false; }
  bool Patch(uint64_t, const void*, size_t) override { return false; }
  ZipResult Failure() const override { return cancelled_ ? ZipResult::Cancelled : ZipResult::CannotWrite; }

  // A set that ended on its first volume is marked as one plain archive.
  bool Finish() {
    if (volume_ == 0 && !(file_.Seek(0) && file_.Write(&kSingleVolumeMarker, sizeof kSingleVolumeMarker)))
      return false;
    return file_.Close();
  }

  void Abandon() {
    file_.Close();
    RemoveFile(path_);
  }

 private:
  uint64_t VolumeStart() const { return volume_ == 0 ? sizeof kDataDescriptorSignature : 0; }

  bool NextVolume() {
    if (!file_.Close()) return false;
    ++volume_;
    return OpenVolume(true);
  }

  // Asks for the diskette until one with room is in the drive, empties it when told to
  // and the person agrees, and opens the volume on it.
  bool OpenVolume(bool ask) {
    const uint32_t number = volume_ + 1;
    for (;; ask = true) {
      if (ask && !drive_.Ask(DisketteQuestion::Insert, number)) return Cancel();
      if (!drive_.Room()) continue;
      if ((word_ & kMultiVolumeWipe) && drive_.HasContent(word_)) {
        if (!drive_.Ask(DisketteQuestion::Erase, number)) return Cancel();
        if (!drive_.Empty(word_)) return false;
      }
      RemoveFile(path_);  // an earlier archive of that name is replaced
      const std::optional<uint64_t> room = drive_.Room();
      if (!room || *room < kSmallestVolume) continue;
      room_ = *room;
      position_ = 0;
      return file_.Open(path_, File::Mode::Write);
    }
  }

  bool Cancel() {
    cancelled_ = true;
    return false;
  }

  const std::string path_;
  DisketteDrive& drive_;
  const uint16_t word_;
  File file_;
  uint32_t volume_ = 0;
  uint64_t position_ = 0;
  uint64_t room_ = 0;
  bool cancelled_ = false;
};

}  // namespace

ZipResult WriteSpanned(const std::string& archivePath, const std::vector<SourceEntry>& entries,
                       const WriteOptions& options, WriteObserver& observer, DisketteDrive& drive,
                       uint16_t multiVolumeWord) {
  if (entries.empty()) return ZipResult::NothingToDo;
  SpannedOutput output(archivePath, drive, multiVolumeWord);
  ZipResult result = output.Start() ? WriteArchiveTo(output, entries, options, observer) : output.Failure();
  const bool complete = result == ZipResult::Ok || result == ZipResult::SourcesSkipped;
  if (complete && output.Finish()) return result;
  output.Abandon();
  return complete ? ZipResult::CannotWrite : result;
}

}  // namespace kvxzip
