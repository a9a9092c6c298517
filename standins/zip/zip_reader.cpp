#include "standins/zip/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>

#include "archive/zip_records.h"
#include "base/checked_size.h"
#include "base/wildcard.h"
#include "standins/zip/file_system.h"
#include "standins/zip/volume_file.h"
#include "standins/zip/zip_format.h"
#include "standins/zip/zip_names.h"
#include "standins/zip/zip_paths.h"

namespace kvxzip {
namespace {

using kvx::kUnzipMsgCannotExtract;
using kvx::kUnzipMsgCannotOpen;
using kvx::kUnzipMsgCannotRead;
using kvx::kUnzipMsgCannotWrite;

constexpr size_t kBufferSize = 256 * 1024;
constexpr size_t kEndSearch = sizeof(EndRecord) + 0xFFFF;  // the record and the longest comment
// The central directory is read whole: a larger one (over a million members) is refused
// rather than held in memory, which a 32-bit process could not do.
constexpr uint64_t kLargestCentralDirectory = 64 << 20;

// Writers' hosts ("version made by", upper byte) by where they keep a folder's mark in
// the external attributes: the MS-DOS attributes in the low byte, or a Unix mode in the
// upper 16 bits (whose low byte may hold anything).
constexpr uint8_t kHostMSDOS = 0;
constexpr uint8_t kHostUnix = 3;
constexpr uint8_t kHostNTFS = 10;
constexpr uint8_t kHostVFAT = 14;
constexpr uint32_t kUnixFileType = 0170000;
constexpr uint32_t kUnixFolder = 0040000;

struct Member {
  std::string name;  // UTF-8, as its writer meant the stored bytes ('/' or '\' separators)
  bool folder = false;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dosTime = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  uint64_t localOffset = 0;
  uint32_t volume = 0;
  uint32_t centralNameLength = 0;  // as the central record gives it: the local name should match
  bool IsFolder() const { return folder; }
};

template <typename T>
T Load(const uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

// Sizes read from the archive may add up past 64 bits: the sum stops at the top.
uint64_t SaturatedSum(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

bool EndsWithSeparator(std::string_view name) { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }

// A trailing separator marks a folder whoever wrote it; the attributes only as the
// writer's host keeps them. Other hosts' attributes are not read.
bool IsFolderEntry(std::string_view name, uint16_t versionMadeBy, uint32_t externalAttributes) {
  if (EndsWithSeparator(name)) return true;
  switch (versionMadeBy >> 8) {
    case kHostMSDOS:
    case kHostNTFS:
    case kHostVFAT: return (externalAttributes & kAttributeFolder) != 0;
    case kHostUnix: return (externalAttributes >> 16 & kUnixFileType) == kUnixFolder;
    default: return false;
  }
}

// The shortest data descriptor: CRC-32 and two 32-bit sizes, without the optional signature.
constexpr uint64_t kShortestDescriptor = 12;

// The bytes [start, end) of one volume that a member (or the central directory) takes.
struct Extent {
  uint32_t volume = 0;
  uint64_t start = 0;
  uint64_t end = 0;
  auto operator<=>(const Extent&) const = default;
};

// True when no two extents on the same volume share a byte. Once sorted, any overlap
// shows between neighbours.
bool Disjoint(std::vector<Extent>& extents) {
  std::sort(extents.begin(), extents.end());
  for (size_t i = 1; i < extents.size(); ++i)
    if (extents[i].volume == extents[i - 1].volume && extents[i].start < extents[i - 1].end) return false;
  return true;
}

struct CentralDirectory {
  uint64_t offset = 0;
  uint64_t size = 0;
  uint64_t entries = 0;
  uint64_t leading = 0;  // bytes before the archive that its offsets leave out
};

// Replaces the 32-bit fields set to 0xFFFFFFFF by the values of the zip64 extra field.
bool ApplyZip64Extra(const uint8_t* extra, size_t length, Member& member, bool sizeWide, bool compressedWide,
                     bool offsetWide) {
  for (size_t at = 0; at + 4 <= length;) {
    const uint16_t tag = Load<uint16_t>(extra + at);
    const uint16_t dataSize = Load<uint16_t>(extra + at + 2);
    if (at + 4 + dataSize > length) return false;
    if (tag == kZip64ExtraTag) {
      size_t field = at + 4;
      for (auto [wide, value] : {std::pair{sizeWide, &member.size}, {compressedWide, &member.compressedSize},
                                 {offsetWide, &member.localOffset}}) {
        if (!wide) continue;
        if (field + 8 > at + 4 + dataSize) return false;
        *value = Load<uint64_t>(extra + field);
        field += 8;
      }
      return true;
    }
    at += 4 + dataSize;
  }
  return !sizeWide && !compressedWide && !offsetWide;
}

class Archive {
 public:
  // The archive, or the last volume of a spanned set, is the file in the drive; with
  // the first volume there, the last diskette is asked for.
  ZipResult Open(const std::string& path, DisketteDrive* drive) {
    if (!file_.Open(path, drive)) return ZipResult::CannotOpenArchive;
    fileSize_ = file_.Size();
    std::optional<CentralDirectory> directory = FindCentralDirectory();
    while (!directory && file_.HoldsFirstVolume()) {
      if (!file_.AskForLastVolume()) return file_.Cancelled() ? ZipResult::Cancelled : ZipResult::CannotOpenArchive;
      fileSize_ = file_.Size();
      directory = FindCentralDirectory();
    }
    if (!directory) return ZipResult::CannotReadArchive;
    directory->offset += directory->leading;
    centralOffset_ = directory->offset;
    if (!ReadCentralDirectory(*directory)) return ZipResult::CannotReadArchive;
    return MembersApart(*directory) ? ZipResult::Ok : ZipResult::CannotReadArchive;
  }

  const std::vector<Member>& Members() const { return members_; }
  VolumeFile& Data() { return file_; }
  uint64_t CentralOffset() const { return centralOffset_; }

  bool ReadAt(uint64_t position, void* buffer, size_t size) {
    return file_.ReadHere(position, buffer, size);
  }

  // The local header of a member, from the volume it starts on.
  bool ReadLocalHeader(const Member& member, LocalHeader& header) {
    return file_.Seek(member.volume, member.localOffset) && file_.Read(&header, sizeof header) == sizeof header &&
           header.signature == kLocalHeaderSignature;
  }

 private:
  // Entries sharing a local header or data would make a small archive extract into a
  // huge one (or the same bytes under many names): every member must lie apart from the
  // others and from the central directory. Members of a spanned set are compared with
  // those starting on the same volume.
  bool MembersApart(const CentralDirectory& directory) {
    std::vector<Extent> extents;
    extents.reserve(members_.size() + 1);
    extents.push_back({file_.LastVolume(), directory.offset, directory.offset + directory.size});
    for (const Member& member : members_) extents.push_back(ExtentOf(member));
    return Disjoint(extents);
  }

  // The local header when it is on the volume at hand and readable; otherwise the header
  // as the central record describes it (without the extra field), which the real one
  // cannot be shorter than in a sound archive.
  Extent ExtentOf(const Member& member) {
    uint64_t headerSize = sizeof(LocalHeader) + member.centralNameLength;
    LocalHeader header{};
    if (member.volume == file_.LastVolume() && ReadAt(member.localOffset, &header, sizeof header) &&
        header.signature == kLocalHeaderSignature)
      headerSize = sizeof header + header.nameLength + header.extraLength;
    const uint64_t descriptor = member.flags & kFlagDataDescriptor ? kShortestDescriptor : 0;
    const uint64_t size = SaturatedSum(SaturatedSum(headerSize, member.compressedSize), descriptor);
    return {member.volume, member.localOffset, SaturatedSum(member.localOffset, size)};
  }

  std::optional<CentralDirectory> FindCentralDirectory() {
    const size_t tailSize = static_cast<size_t>(std::min<uint64_t>(fileSize_, kEndSearch));
    std::vector<uint8_t> tail(tailSize);
    if (tailSize < sizeof(EndRecord) || !ReadAt(fileSize_ - tailSize, tail.data(), tailSize)) return std::nullopt;
    for (size_t at = tailSize - sizeof(EndRecord) + 1; at-- > 0;) {
      if (Load<uint32_t>(&tail[at]) != kEndSignature) continue;
      const EndRecord end = Load<EndRecord>(&tail[at]);
      if (at + sizeof(EndRecord) + end.commentLength > tailSize) continue;
      const uint64_t endPosition = fileSize_ - tailSize + at;
      CentralDirectory directory{end.centralOffset, end.centralSize, end.entries};
      if (end.disk != 0 && !SpannedSet(end, tail.data() + at, tailSize - at)) return std::nullopt;
      uint64_t recordsStart = endPosition;  // where the end records begin: the zip64 one, or this one
      if (!ReadZip64End(endPosition, directory, recordsStart)) return std::nullopt;
      if (end.disk == 0) directory.leading = LeadingData(directory, recordsStart);
      if (!kvx::RangeWithin(SaturatedSum(directory.offset, directory.leading), directory.size, recordsStart))
        return std::nullopt;
      return directory;
    }
    return std::nullopt;
  }

  // The last volume of a spanned set: the central directory must lie whole on it. Other
  // volumes are known by the end records (this one), the spanning signature (the
  // first) and the local headers the central directory places on them.
  bool SpannedSet(const EndRecord& end, const uint8_t* endBytes, size_t endSize) {
    if (end.centralDisk != end.disk || end.entriesOnDisk != end.entries) return false;
    const std::vector<uint8_t> lastEnd(endBytes, endBytes + endSize);
    file_.SetLastVolume(end.disk, [this, lastEnd](uint32_t volume) { return IsVolume(volume, lastEnd); });
    return true;
  }

  bool IsVolume(uint32_t volume, const std::vector<uint8_t>& lastEnd) {
    std::vector<uint8_t> tail(lastEnd.size());
    const bool endsLikeLast = file_.Size() >= tail.size() &&
                              ReadAt(file_.Size() - tail.size(), tail.data(), tail.size()) && tail == lastEnd;
    if (endsLikeLast != (volume == file_.LastVolume())) return false;
    uint32_t start = 0;
    const bool startsLikeFirst = ReadAt(0, &start, sizeof start) && start == kDataDescriptorSignature;
    if (startsLikeFirst != (volume == 0)) return false;
    for (const Member& member : members_) {
      LocalHeader header{};
      if (member.volume != volume) continue;
      if (!ReadAt(member.localOffset, &header, sizeof header) || header.signature != kLocalHeaderSignature ||
          header.method != member.method || header.dosTime != member.dosTime)
        return false;
    }
    return true;
  }

  // The zip64 end record, when a locator sits just before the end record. Its offset
  // leaves out any data before the archive when the archive was written without it: the
  // record then lies just before the locator.
  bool ReadZip64End(uint64_t endPosition, CentralDirectory& directory, uint64_t& recordStart) {
    Zip64Locator locator{};
    if (endPosition < sizeof locator || !ReadAt(endPosition - sizeof locator, &locator, sizeof locator) ||
        locator.signature != kZip64LocatorSignature)
      return true;
    const uint64_t locatorPosition = endPosition - sizeof locator;
    Zip64EndRecord end{};
    for (const uint64_t at : {locator.endOffset, locatorPosition - std::min<uint64_t>(locatorPosition, sizeof end)}) {
      if (!kvx::RangeWithin(at, sizeof end, locatorPosition) || !ReadAt(at, &end, sizeof end) ||
          end.signature != kZip64EndSignature)
        continue;
      directory = {end.centralOffset, end.centralSize, end.entries};
      recordStart = at;
      return true;
    }
    return false;
  }

  // Bytes before the archive that its offsets leave out: a self-extracting program put
  // in front of an archive written without it. The offsets count from the file's start
  // when a central header lies where they say; otherwise the central directory is taken
  // to end where the end records begin, as unzip and 7-Zip take it.
  uint64_t LeadingData(const CentralDirectory& directory, uint64_t recordsStart) {
    if (directory.entries == 0 || StartsCentralHeader(directory.offset)) return 0;
    if (recordsStart < directory.size) return 0;
    const uint64_t actual = recordsStart - directory.size;
    return actual > directory.offset && StartsCentralHeader(actual) ? actual - directory.offset : 0;
  }

  bool StartsCentralHeader(uint64_t position) {
    uint32_t signature = 0;
    return ReadAt(position, &signature, sizeof signature) && signature == kCentralHeaderSignature;
  }

  // The end record's count of entries and the directory's size must agree: an archive
  // whose records say otherwise is damaged, and none of its members is taken.
  bool ReadCentralDirectory(const CentralDirectory& directory) {
    size_t size = 0;
    if (!kvx::SizeInMemory(directory.size, size, kLargestCentralDirectory)) return false;
    std::vector<uint8_t> records(size);
    if (!ReadAt(directory.offset, records.data(), records.size())) return false;
    size_t at = 0;
    for (uint64_t i = 0; i < directory.entries; ++i) {
      if (at + sizeof(CentralHeader) > records.size()) return false;
      const CentralHeader header = Load<CentralHeader>(&records[at]);
      const size_t variable = size_t{header.nameLength} + header.extraLength + header.commentLength;
      if (header.signature != kCentralHeaderSignature || at + sizeof header + variable > records.size()) return false;
      const uint8_t* name = &records[at + sizeof header];
      Member member;
      const auto* text = reinterpret_cast<const char*>(name);
      member.name = DecodeMemberName({std::string_view(text, header.nameLength), header.flags,
                                      static_cast<uint8_t>(header.versionMadeBy >> 8),
                                      std::string_view(text + header.nameLength, header.extraLength)});
      member.folder = IsFolderEntry(member.name, header.versionMadeBy, header.externalAttributes);
      member.flags = header.flags;
      member.method = header.method;
      member.dosTime = header.dosTime;
      member.crc = header.crc;
      member.compressedSize = header.compressedSize;
      member.size = header.size;
      member.localOffset = header.localHeaderOffset;
      member.volume = header.diskStart;
      member.centralNameLength = header.nameLength;
      if (!ApplyZip64Extra(name + header.nameLength, header.extraLength, member, header.size == kMax32,
                           header.compressedSize == kMax32, header.localHeaderOffset == kMax32))
        return false;
      member.localOffset = SaturatedSum(member.localOffset, directory.leading);
      members_.push_back(std::move(member));
      at += sizeof header + variable;
    }
    return at == records.size();
  }

  VolumeFile file_;
  uint64_t fileSize_ = 0;
  uint64_t centralOffset_ = 0;
  std::vector<Member> members_;
};

void ReportOpenProblem(ZipResult result, const std::string& archivePath, ReadObserver& observer) {
  observer.Problem(result == ZipResult::CannotOpenArchive ? kUnzipMsgCannotOpen : kUnzipMsgCannotRead, archivePath);
}

// Sends a member's data to its file (none when testing), inflating when needed; checks size and CRC-32.
class MemberCopy {
 public:
  MemberCopy(Archive& archive, const Member& member, File* target, bool checkCRC)
      : archive_(archive), member_(member), target_(target), checkCRC_(checkCRC) {}

  // CannotReadArchive for bad data, CannotWrite when the target refuses it.
  ZipResult Run(uint64_t dataOffset, const std::function<bool(uint64_t)>& progress) {
    if (!archive_.Data().Seek(member_.volume, dataOffset)) return ReadFailure();
    input_.resize(kBufferSize);
    output_.resize(kBufferSize);
    const ZipResult result = member_.method == kMethodStored ? CopyStored(progress) : Inflate(progress);
    if (result != ZipResult::Ok) return result;
    const bool sound = written_ == member_.size && (crc_ == member_.crc || !checkCRC_);
    return sound ? ZipResult::Ok : ZipResult::CannotReadArchive;
  }

 private:
  ZipResult CopyStored(const std::function<bool(uint64_t)>& progress) {
    for (uint64_t remaining = member_.compressedSize; remaining > 0;) {
      const size_t wanted = static_cast<size_t>(std::min<uint64_t>(remaining, input_.size()));
      if (archive_.Data().Read(input_.data(), wanted) != wanted) return ReadFailure();
      remaining -= wanted;
      if (const ZipResult result = Emit(input_.data(), wanted, progress); result != ZipResult::Ok) return result;
    }
    return ZipResult::Ok;
  }

  ZipResult Inflate(const std::function<bool(uint64_t)>& progress) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return ZipResult::CannotExtract;
    const ZipResult result = InflateWith(stream, progress);
    inflateEnd(&stream);
    return result;
  }

  // Input is asked for only when inflate has used up what it had and still had room to
  // write: an output buffer filled as the input ran out may leave output inflate holds.
  ZipResult InflateWith(z_stream& stream, const std::function<bool(uint64_t)>& progress) {
    uint64_t remaining = member_.compressedSize;
    bool needsInput = true;
    for (int status = Z_OK; status != Z_STREAM_END;) {
      if (needsInput) {
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(remaining, input_.size()));
        if (wanted == 0 || archive_.Data().Read(input_.data(), wanted) != wanted) return ReadFailure();
        remaining -= wanted;
        stream.next_in = input_.data();
        stream.avail_in = static_cast<uInt>(wanted);
      }
      stream.next_out = output_.data();
      stream.avail_out = static_cast<uInt>(output_.size());
      status = inflate(&stream, Z_NO_FLUSH);
      // Z_BUF_ERROR: no progress was possible, which with room to write means no input.
      const bool starved = status == Z_BUF_ERROR && stream.avail_in == 0;
      if (status != Z_OK && status != Z_STREAM_END && !starved) return ZipResult::CannotReadArchive;
      needsInput = stream.avail_in == 0 && stream.avail_out != 0;
      const size_t produced = output_.size() - stream.avail_out;
      if (const ZipResult result = Emit(output_.data(), produced, progress); result != ZipResult::Ok) return result;
    }
    return ZipResult::Ok;
  }

  ZipResult ReadFailure() const {
    return archive_.Data().Cancelled() ? ZipResult::Cancelled : ZipResult::CannotReadArchive;
  }

  ZipResult Emit(const uint8_t* data, size_t size, const std::function<bool(uint64_t)>& progress) {
    if (size == 0) return ZipResult::Ok;
    written_ += size;
    if (written_ > member_.size) return ZipResult::CannotReadArchive;
    crc_ = static_cast<uint32_t>(crc32(crc_, data, static_cast<uInt>(size)));
    if (target_ && !target_->Write(data, size)) return ZipResult::CannotWrite;
    return progress(size) ? ZipResult::Ok : ZipResult::Cancelled;
  }

  Archive& archive_;
  const Member& member_;
  File* target_;
  const bool checkCRC_;
  std::vector<uint8_t> input_;
  std::vector<uint8_t> output_;
  uint64_t written_ = 0;
  uint32_t crc_ = 0;
};

class Extraction {
 public:
  Extraction(Archive& archive, const ExtractOptions& options, ReadObserver& observer)
      : archive_(archive), options_(options), observer_(observer) {}

  ZipResult Run() {
    std::vector<const Member*> selected;
    for (const Member& member : archive_.Members())
      if (Matches(member)) selected.push_back(&member);
    if (selected.empty()) return ZipResult::NothingToDo;
    for (const Member* member : selected) totalBytes_ += member->size;
    for (const Member* member : selected) {
      const ZipResult result = InjectedWriteFailure() ? ZipResult::CannotWrite : ExtractOne(*member);
      if (result == ZipResult::Cancelled) return result;
      if (result != ZipResult::Ok) {
        observer_.Problem(MessageFor(result), member->name);
        if (first_ == ZipResult::Ok) first_ = result;
      }
    }
    if (lastPercent_ != 100 && !observer_.Progress(lastItem_, 100)) return ZipResult::Cancelled;
    return first_;
  }

 private:
  static int32_t MessageFor(ZipResult result) {
    switch (result) {
      case ZipResult::CannotReadArchive: return kUnzipMsgCannotRead;
      case ZipResult::CannotWrite: return kUnzipMsgCannotWrite;
      default: return kUnzipMsgCannotExtract;
    }
  }

  // Without recursion the file pattern is matched against the whole name, so only
  // members at the top of the archive match it; with it, against the last component.
  bool Matches(const Member& member) const {
    std::string name = member.name;
    std::replace(name.begin(), name.end(), '\\', '/');
    while (!name.empty() && name.back() == '/') name.pop_back();
    const size_t slash = name.rfind('/');
    const bool nested = slash != std::string::npos;
    if (options_.recurse && nested) name = name.substr(slash + 1);
    else if (nested) return false;
    return kvx::MatchesWildcard(options_.fileSpec, name, NamesIgnoreCase());
  }

  bool InjectedWriteFailure() {
    return !options_.testOnly && options_.faults.extractFailAfter && started_++ == *options_.faults.extractFailAfter;
  }

  std::string TargetPath(const Member& member) const {
    std::string relative = member.name;
    while (!relative.empty() && (relative.back() == '/' || relative.back() == '\\')) relative.pop_back();
    for (char& c : relative)
      if (c == '/' || c == '\\') c = Separator();
    if (options_.noDirectoryNames) relative = LastComponent(relative);
    return JoinPath(options_.destination, relative);
  }

  ZipResult ExtractOne(const Member& member) {
    if (!IsSafeMemberName(member.name)) return ZipResult::CannotExtract;
    const std::string target = TargetPath(member);
    lastItem_ = member.name;
    if (member.IsFolder()) {
      if (options_.noDirectoryNames || options_.testOnly) return ZipResult::Ok;
      return MakeFolders(target) ? ZipResult::Ok : ZipResult::CannotWrite;
    }
    if (member.flags & kFlagEncrypted) return ZipResult::CannotExtract;
    if (member.method != kMethodStored && member.method != kMethodDeflated) return ZipResult::CannotExtract;
    if (options_.testOnly) return TestData(member);
    const PathInfo existing = StatPath(target);
    if (existing.exists && !options_.overwrite) return Skip(member);
    const uint64_t dataOffset = DataOffset(member);
    if (dataOffset == 0) return archive_.Data().Cancelled() ? ZipResult::Cancelled : ZipResult::CannotReadArchive;
    if (!MakeFolders(ParentOf(target))) return ZipResult::CannotWrite;
    return WriteFile(member, target, dataOffset);
  }

  ZipResult Skip(const Member& member) { return Advance(member.size) ? ZipResult::Ok : ZipResult::Cancelled; }

  // Where the member's data starts, after its local header; 0 when that header is bad.
  uint64_t DataOffset(const Member& member) {
    LocalHeader header{};
    if (!archive_.ReadLocalHeader(member, header)) return 0;
    const uint64_t data = member.localOffset + sizeof header + header.nameLength + header.extraLength;
    if (archive_.Data().Spanned()) return data;  // the data may run on into the next volumes
    return kvx::RangeWithin(data, member.compressedSize, archive_.CentralOffset()) ? data : 0;
  }

  ZipResult TestData(const Member& member) {
    const uint64_t dataOffset = DataOffset(member);
    if (dataOffset == 0) return ZipResult::CannotReadArchive;
    return MemberCopy(archive_, member, nullptr, options_.checkCRC).Run(dataOffset, [&](uint64_t bytes) {
      return Advance(bytes);
    });
  }

  ZipResult WriteFile(const Member& member, const std::string& target, uint64_t dataOffset) {
    File out;
    if (!out.Open(target, File::Mode::Write)) return ZipResult::CannotWrite;
    ZipResult result = MemberCopy(archive_, member, &out, options_.checkCRC).Run(dataOffset, [&](uint64_t bytes) {
      return Advance(bytes);
    });
    if (!out.Close() && result == ZipResult::Ok) result = ZipResult::CannotWrite;
    if (result != ZipResult::Ok) {
      RemoveFile(target);  // no partial file stays behind
      return result;
    }
    SetModifiedTime(target, member.dosTime);
    return ZipResult::Ok;
  }

  bool Advance(uint64_t bytes) {
    doneBytes_ += bytes;
    const int percent = totalBytes_ ? static_cast<int>(doneBytes_ * 100 / totalBytes_) : 0;
    if (percent == lastPercent_) return true;
    lastPercent_ = percent;
    return observer_.Progress(lastItem_, percent);
  }

  Archive& archive_;
  const ExtractOptions& options_;
  ReadObserver& observer_;
  ZipResult first_ = ZipResult::Ok;
  uint64_t started_ = 0;
  uint64_t totalBytes_ = 0;
  uint64_t doneBytes_ = 0;
  int lastPercent_ = -1;
  std::string lastItem_;
};

}  // namespace

ZipResult CountMembers(const std::string& archivePath, uint64_t& count, ReadObserver& observer, DisketteDrive* drive) {
  Archive archive;
  const ZipResult result = archive.Open(archivePath, drive);
  if (result != ZipResult::Ok) {
    ReportOpenProblem(result, archivePath, observer);
    return result;
  }
  count = archive.Members().size();
  return ZipResult::Ok;
}

ZipResult ExtractMembers(const std::string& archivePath, const ExtractOptions& options, ReadObserver& observer,
                         DisketteDrive* drive) {
  Archive archive;
  const ZipResult result = archive.Open(archivePath, drive);
  if (result != ZipResult::Ok) {
    ReportOpenProblem(result, archivePath, observer);
    return result;
  }
  return Extraction(archive, options, observer).Run();
}

}  // namespace kvxzip
