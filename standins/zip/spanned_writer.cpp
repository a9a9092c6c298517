#include "standins/zip/spanned_writer.h"

#include <zlib.h>

#include <algorithm>
#include <optional>

#include "standins/zip/file_system.h"
#include "standins/zip/zip_format.h"

namespace kvxzip {
namespace {

// The volumes of the set written so far, each known by the size and CRC-32 of the bytes
// written to it, as a library knows its diskettes: a diskette holding one of them is
// recognised when it comes back, without reading any volume back.
class WrittenVolumes {
 public:
  void Add(uint64_t size, uint32_t crc) { volumes_.push_back({size, crc}); }

  // True when the file holds one of the volumes already written.
  bool HoldsOne(const std::string& path) const {
    const PathInfo info = StatPath(path);
    if (!info.exists || info.isFolder) return false;
    const auto sameSize = [&](const Fingerprint& volume) { return volume.size == info.size; };
    if (std::none_of(volumes_.begin(), volumes_.end(), sameSize)) return false;
    const std::optional<Fingerprint> now = FingerprintOf(path);
    return now && std::find(volumes_.begin(), volumes_.end(), *now) != volumes_.end();
  }

 private:
  struct Fingerprint {
    uint64_t size = 0;
    uint32_t crc = 0;
    bool operator==(const Fingerprint&) const = default;
  };

  static std::optional<Fingerprint> FingerprintOf(const std::string& path) {
    File in;
    if (!in.Open(path, File::Mode::Read)) return std::nullopt;
    std::vector<uint8_t> buffer(256 * 1024);
    Fingerprint taken;
    for (size_t got; (got = in.Read(buffer.data(), buffer.size())) > 0;) {
      taken.crc = static_cast<uint32_t>(crc32(taken.crc, buffer.data(), static_cast<uInt>(got)));
      taken.size += got;
    }
    if (in.ReadFailed()) return std::nullopt;
    return taken;
  }

  std::vector<Fingerprint> volumes_;
};

// The volumes of a spanned set, one open at a time, on the diskette in the drive.
class SpannedOutput final : public ArchiveOutput {
 public:
  SpannedOutput(const std::string& path, DisketteDrive& drive, uint16_t multiVolumeWord, const WriteOptions& options)
      : path_(path),
        drive_(drive),
        word_(multiVolumeWord),
        corruptAt_(options.faults.writeCorruptAt),
        flushFail_(options.faults.flushFail) {}

  bool Start() { return OpenVolume(false) && Write(&kDataDescriptorSignature, sizeof kDataDescriptorSignature); }

  bool Write(const void* data, size_t size) override {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
      if (position_ >= room_ && !NextVolume()) return false;
      const size_t part = static_cast<size_t>(std::min<uint64_t>(size, room_ - position_));
      if (!file_.Write(bytes, part)) return false;
      crc_ = static_cast<uint32_t>(crc32(crc_, bytes, static_cast<uInt>(part)));
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
  ZipResult Finish() {
    if (volume_ == 0 && !(file_.Seek(0) && file_.Write(&kSingleVolumeMarker, sizeof kSingleVolumeMarker)))
      return ZipResult::CannotWrite;
    return CloseVolume() ? ZipResult::Ok : ZipResult::CannotWrite;
  }

  void Abandon() {
    file_.Close();
    RemoveFile(path_);
  }

 private:
  uint64_t VolumeStart() const { return volume_ == 0 ? sizeof kDataDescriptorSignature : 0; }

  // On the medium before the diskette may be taken out.
  bool CloseVolume() {
    if (flushFail_) file_.FailFlush();
    const bool flushed = file_.Flush();
    return file_.Close() && flushed;
  }

  // The volume written is remembered by what was written to it, which tells its
  // diskette if it comes back.
  bool NextVolume() {
    if (!CloseVolume()) return false;
    written_.Add(position_, crc_);
    ++volume_;
    return OpenVolume(true);
  }

  // Asks for the diskette until one with room is in the drive that holds no volume of
  // this set, empties it when told to and the person agrees, and opens the volume on it.
  bool OpenVolume(bool ask) {
    const uint32_t number = volume_ + 1;
    for (;; ask = true) {
      if (ask && !drive_.Ask(DisketteQuestion::Insert, number)) return Cancel();
      if (!drive_.Room()) continue;
      if (volume_ > 0 && written_.HoldsOne(path_)) continue;  // put back, or never taken out
      if ((word_ & kMultiVolumeWipe) && drive_.HasContent(word_)) {
        if (!drive_.Ask(DisketteQuestion::Erase, number)) return Cancel();
        if (!drive_.Empty(word_)) return false;
      }
      RemoveFile(path_);  // an earlier archive of that name is replaced
      const std::optional<uint64_t> room = drive_.Room();
      if (!room || *room < kSmallestVolume) continue;
      room_ = *room;
      position_ = 0;
      crc_ = 0;
      if (!file_.Open(path_, File::Mode::Write)) return false;
      if (corruptAt_) file_.CorruptByteAt(*corruptAt_);
      return true;
    }
  }

  bool Cancel() {
    cancelled_ = true;
    return false;
  }

  const std::string path_;
  DisketteDrive& drive_;
  const uint16_t word_;
  const std::optional<uint64_t> corruptAt_;
  const bool flushFail_;
  File file_;
  WrittenVolumes written_;
  uint32_t volume_ = 0;
  uint64_t position_ = 0;
  uint32_t crc_ = 0;  // of the bytes written to the current volume
  uint64_t room_ = 0;
  bool cancelled_ = false;
};

}  // namespace

// Only a set whose every source was read whole and whose every volume reached its
// diskette counts as written; nothing is read back.
ZipResult WriteSpanned(const std::string& archivePath, const std::vector<SourceEntry>& entries,
                       const WriteOptions& options, WriteObserver& observer, DisketteDrive& drive,
                       uint16_t multiVolumeWord) {
  if (entries.empty()) return ZipResult::NothingToDo;
  SpannedOutput output(archivePath, drive, multiVolumeWord, options);
  ZipResult result = output.Start() ? WriteArchiveTo(output, entries, options, observer) : output.Failure();
  if (result == ZipResult::Ok) result = output.Finish();
  if (result == ZipResult::Ok) return result;
  output.Abandon();
  return result;
}

}  // namespace kvxzip
