#include "standins/zip/spanned_writer.h"

#include <zlib.h>

#include <algorithm>
#include <optional>

#include "standins/zip/file_system.h"
#include "standins/zip/zip_format.h"
#include "standins/zip/zip_reader.h"

namespace kvxzip {
namespace {

// What the set's volumes read back as, while each diskette was still in the drive: a
// copy of each in a scratch folder, and its size and CRC-32, by which a diskette
// holding one of them is recognised when it comes back.
class VolumeCopies {
 public:
  ~VolumeCopies() {
    if (folder_.empty()) return;
    for (uint32_t number = 1; number <= copies_.size(); ++number) RemoveFile(PathOf(number));
    RemoveFile(Drive());
    RemoveFolder(folder_);
  }

  // Reads the volume on the diskette in the drive into the copy of number `copies + 1`.
  bool Take(const std::string& volume) {
    if (folder_.empty() && (folder_ = MakeScratchFolder()).empty()) return false;
    const std::optional<Fingerprint> taken = Copy(volume, PathOf(static_cast<uint32_t>(copies_.size() + 1)));
    if (!taken) return false;
    copies_.push_back(*taken);
    return true;
  }

  // True when the file holds one of the volumes already written.
  bool HoldsOne(const std::string& path) const {
    const PathInfo info = StatPath(path);
    if (!info.exists || info.isFolder) return false;
    const auto sameSize = [&](const Fingerprint& copy) { return copy.size == info.size; };
    if (std::none_of(copies_.begin(), copies_.end(), sameSize)) return false;
    const std::optional<Fingerprint> now = Copy(path, "");
    return now && std::find(copies_.begin(), copies_.end(), *now) != copies_.end();
  }

  // Checks every member of the set from the copies, as a reader of the diskettes would.
  ZipResult Check(const std::string& archivePath, WriteObserver& observer) {
    CopyShelf shelf(*this);
    if (!MoveOver(PathOf(static_cast<uint32_t>(copies_.size())), Drive())) {
      observer.CheckFailed(archivePath, kCannotReadBack);
      return ZipResult::CannotReadArchive;
    }
    return CheckArchive(Drive(), archivePath, observer, &shelf);
  }

 private:
  struct Fingerprint {
    uint64_t size = 0;
    uint32_t crc = 0;
    bool operator==(const Fingerprint&) const = default;
  };

  // The copies as diskettes: the one asked for is moved to the drive's name.
  class CopyShelf final : public DisketteDrive {
   public:
    explicit CopyShelf(VolumeCopies& copies)
        : copies_(copies), current_(static_cast<uint32_t>(copies.copies_.size())) {}
    bool Ask(DisketteQuestion, uint32_t volume) override {
      if (volume == kLastDiskette) volume = static_cast<uint32_t>(copies_.copies_.size());
      if (volume == current_) return true;
      if (!MoveOver(copies_.Drive(), copies_.PathOf(current_)) || !MoveOver(copies_.PathOf(volume), copies_.Drive()))
        return false;
      current_ = volume;
      return true;
    }
    std::optional<uint64_t> Room() override { return std::nullopt; }
    bool HasContent(uint16_t) override { return false; }
    bool Empty(uint16_t) override { return false; }

   private:
    VolumeCopies& copies_;
    uint32_t current_;
  };

  std::string PathOf(uint32_t number) const { return folder_ + Separator() + std::to_string(number); }
  std::string Drive() const { return folder_ + Separator() + "SET.ZIP"; }

  // Reads the file whole, into `to` unless it is empty.
  static std::optional<Fingerprint> Copy(const std::string& from, const std::string& to) {
    File in, out;
    if (!in.Open(from, File::Mode::Read) || (!to.empty() && !out.Open(to, File::Mode::Write))) return std::nullopt;
    std::vector<uint8_t> buffer(256 * 1024);
    Fingerprint taken;
    for (size_t got; (got = in.Read(buffer.data(), buffer.size())) > 0;) {
      taken.crc = static_cast<uint32_t>(crc32(taken.crc, buffer.data(), static_cast<uInt>(got)));
      taken.size += got;
      if (!to.empty() && !out.Write(buffer.data(), got)) return std::nullopt;
    }
    if (in.ReadFailed() || !out.Close()) return std::nullopt;
    return taken;
  }

  std::string folder_;
  std::vector<Fingerprint> copies_;
};

// The volumes of a spanned set, one open at a time, on the diskette in the drive.
class SpannedOutput final : public ArchiveOutput {
 public:
  SpannedOutput(const std::string& path, DisketteDrive& drive, uint16_t multiVolumeWord, const WriteOptions& options)
      : path_(path),
        drive_(drive),
        word_(multiVolumeWord),
        check_(options.check && options.model == LibraryModel::Plain),
        corruptAt_(options.faults.writeCorruptAt),
        flushFail_(options.faults.flushFail) {}

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

  // A set that ended on its first volume is marked as one plain archive. The last
  // volume is checked before the set counts as written: a plain archive member by
  // member, a set of several from the copies read back diskette by diskette.
  ZipResult Finish(WriteObserver& observer) {
    if (volume_ == 0 && !(file_.Seek(0) && file_.Write(&kSingleVolumeMarker, sizeof kSingleVolumeMarker)))
      return ZipResult::CannotWrite;
    if (!CloseVolume()) return ZipResult::CannotWrite;
    if (!check_) return ZipResult::Ok;
    if (volume_ == 0) return CheckArchive(path_, path_, observer);
    if (!copies_.Take(path_)) {
      observer.CheckFailed(path_, kCannotReadBack);
      return ZipResult::CannotReadArchive;
    }
    return copies_.Check(path_, observer);
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

  // The volume written is read back while its diskette is still in the drive: the copy
  // is checked with the others at the end, and tells this diskette if it comes back.
  // Without the check (the careless model) nothing is read back.
  bool NextVolume() {
    if (!CloseVolume() || (check_ && !copies_.Take(path_))) return false;
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
      if (volume_ > 0 && copies_.HoldsOne(path_)) continue;  // put back, or never taken out
      if ((word_ & kMultiVolumeWipe) && drive_.HasContent(word_)) {
        if (!drive_.Ask(DisketteQuestion::Erase, number)) return Cancel();
        if (!drive_.Empty(word_)) return false;
      }
      RemoveFile(path_);  // an earlier archive of that name is replaced
      const std::optional<uint64_t> room = drive_.Room();
      if (!room || *room < kSmallestVolume) continue;
      room_ = *room;
      position_ = 0;
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
  const bool check_;
  const std::optional<uint64_t> corruptAt_;
  const bool flushFail_;
  File file_;
  VolumeCopies copies_;
  uint32_t volume_ = 0;
  uint64_t position_ = 0;
  uint64_t room_ = 0;
  bool cancelled_ = false;
};

}  // namespace

// Only a set whose every source was read whole and that reads back whole counts as written.
ZipResult WriteSpanned(const std::string& archivePath, const std::vector<SourceEntry>& entries,
                       const WriteOptions& options, WriteObserver& observer, DisketteDrive& drive,
                       uint16_t multiVolumeWord) {
  if (entries.empty()) return ZipResult::NothingToDo;
  SpannedOutput output(archivePath, drive, multiVolumeWord, options);
  ZipResult result = output.Start() ? WriteArchiveTo(output, entries, options, observer) : output.Failure();
  if (result == ZipResult::Ok) result = output.Finish(observer);
  if (result == ZipResult::Ok) return result;
  output.Abandon();
  return result;
}

}  // namespace kvxzip
