#include "standins/zip/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <thread>

#include "archive/zip_member_name.h"
#include "standins/zip/chunk_compressor.h"
#include "standins/zip/file_system.h"
#include "standins/zip/zip_format.h"

namespace kvxzip {
namespace {

constexpr size_t kChunkSize = 1 << 20;
// Members this large get zip64 sizes in their local header: deflate may grow data a
// little, and the header is written before the compressed size is known.
constexpr uint64_t kZip64LocalThreshold = kMax32 - (64ull << 20);

template <typename T>
void AppendBytes(std::vector<uint8_t>& out, const T& value) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
  out.insert(out.end(), bytes, bytes + sizeof value);
}

struct StoredName {
  std::string bytes;
  uint16_t flags = 0;
};

// Names outside ASCII are stored (in UTF-8, as the file system seam gives them) with the language-encoding flag, which every
// reader understands; plain ASCII names are stored as they are.
StoredName EncodeName(const SourceEntry& entry) {
  std::string name = entry.name + (entry.isFolder ? "/" : "");
  const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) return {name, 0};
  return {name, kvx::kZipFlagUTF8Name};
}

struct CentralEntry {
  StoredName name;
  uint16_t flags = 0;
  uint16_t versionNeeded = 0;
  uint16_t method = 0;
  uint32_t dosTime = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  uint64_t offset = 0;
  uint32_t volume = 0;
  uint32_t attributes = 0;
  bool zip64Local = false;
  bool HasDescriptor() const { return (flags & kFlagDataDescriptor) != 0; }
};

// Lays the records out in the archive's output; data arrives member by member, in order.
class ArchiveLayout {
 public:
  explicit ArchiveLayout(ArchiveOutput& out) : out_(out) {}

  bool BeginMember(const SourceEntry& entry, uint16_t method) {
    CentralEntry& member = central_.emplace_back();
    member.name = EncodeName(entry);
    member.flags = member.name.flags;
    if (!entry.isFolder && !out_.CanPatch()) member.flags |= kFlagDataDescriptor;
    member.method = method;
    member.dosTime = entry.dosTime;
    member.attributes = entry.isFolder ? kAttributeFolder : kAttributeArchive;
    member.zip64Local = entry.size >= kZip64LocalThreshold;
    member.versionNeeded = member.zip64Local ? kVersionZip64 : method == kMethodDeflated ? kVersionDeflated : kVersionStored;
    if (entry.isFolder) member.versionNeeded = kVersionDeflated;
    return WriteLocalHeader(member);
  }

  ZipResult Failure() const { return out_.Failure(); }

  bool AppendData(const std::vector<uint8_t>& data) {
    central_.back().compressedSize += data.size();
    return out_.Write(data.data(), data.size());
  }

  // Puts the CRC and the sizes into the member's local header once they are known, or
  // into a data descriptor after its data.
  bool EndMember(uint32_t crc, uint64_t size) {
    CentralEntry& member = central_.back();
    member.crc = crc;
    member.size = size;
    if (!member.zip64Local && member.compressedSize >= kMax32) return false;
    if (member.HasDescriptor()) return WriteDescriptor(member);
    if (!out_.CanPatch()) return true;  // a folder: its header already says 0
    const uint32_t sizes[3] = {crc, member.zip64Local ? kMax32 : static_cast<uint32_t>(member.compressedSize),
                               member.zip64Local ? kMax32 : static_cast<uint32_t>(size)};
    if (!out_.Patch(member.offset + offsetof(LocalHeader, crc), sizes, sizeof sizes)) return false;
    if (!member.zip64Local) return true;
    const uint64_t wide[2] = {size, member.compressedSize};
    return out_.Patch(member.offset + sizeof(LocalHeader) + member.name.bytes.size() + 4, wide, sizeof wide);
  }

  // The central directory and the end records, all on one volume.
  bool WriteCentralDirectory() {
    uint64_t centralSize = 0;
    std::vector<uint8_t> record;
    for (const CentralEntry& member : central_) {
      record.clear();
      AppendCentralHeader(record, member);
      centralSize += record.size();
    }
    if (!out_.KeepTogether(centralSize + sizeof(Zip64EndRecord) + sizeof(Zip64Locator) + sizeof(EndRecord)))
      return false;
    const uint64_t centralOffset = out_.Position();
    for (const CentralEntry& member : central_) {
      record.clear();
      AppendCentralHeader(record, member);
      if (!out_.Write(record.data(), record.size())) return false;
    }
    return WriteEnd(centralOffset, centralSize);
  }

 private:
  // Signature, CRC and both sizes, 8 bytes wide when the local header has its zip64 field.
  bool WriteDescriptor(const CentralEntry& member) {
    std::vector<uint8_t> record;
    AppendBytes(record, kDataDescriptorSignature);
    AppendBytes(record, member.crc);
    if (member.zip64Local) {
      AppendBytes(record, member.compressedSize);
      AppendBytes(record, member.size);
    } else {
      AppendBytes(record, static_cast<uint32_t>(member.compressedSize));
      AppendBytes(record, static_cast<uint32_t>(member.size));
    }
    return out_.KeepTogether(record.size()) && out_.Write(record.data(), record.size());
  }

  bool WriteLocalHeader(CentralEntry& member) {
    LocalHeader header{};
    header.signature = kLocalHeaderSignature;
    header.versionNeeded = member.versionNeeded;
    header.flags = member.flags;
    header.method = member.method;
    header.dosTime = member.dosTime;
    header.nameLength = static_cast<uint16_t>(member.name.bytes.size());
    header.extraLength = member.zip64Local ? sizeof(Zip64LocalExtra) : 0;
    std::vector<uint8_t> record;
    AppendBytes(record, header);
    record.insert(record.end(), member.name.bytes.begin(), member.name.bytes.end());
    if (member.zip64Local) AppendBytes(record, Zip64LocalExtra{kZip64ExtraTag, 16, 0, 0});
    if (!out_.KeepTogether(record.size())) return false;
    member.offset = out_.Position();
    member.volume = out_.Volume();
    return out_.Write(record.data(), record.size());
  }

  static void AppendCentralHeader(std::vector<uint8_t>& record, const CentralEntry& member) {
    std::vector<uint8_t> extra;
    const auto wide = [&](uint64_t value) {
      if (value < kMax32) return static_cast<uint32_t>(value);
      AppendBytes(extra, value);
      return kMax32;
    };
    CentralHeader header{};
    header.signature = kCentralHeaderSignature;
    header.versionMadeBy = kVersionMadeBy;
    header.flags = member.flags;
    header.method = member.method;
    header.dosTime = member.dosTime;
    header.crc = member.crc;
    // The zip64 extra holds the overflowing values in this order: size, compressed size, offset.
    header.size = wide(member.size);
    header.compressedSize = wide(member.compressedSize);
    header.localHeaderOffset = wide(member.offset);
    header.versionNeeded = extra.empty() ? member.versionNeeded : kVersionZip64;
    header.externalAttributes = member.attributes;
    header.diskStart = static_cast<uint16_t>(member.volume);
    header.nameLength = static_cast<uint16_t>(member.name.bytes.size());
    header.extraLength = extra.empty() ? 0 : static_cast<uint16_t>(extra.size() + 4);
    AppendBytes(record, header);
    record.insert(record.end(), member.name.bytes.begin(), member.name.bytes.end());
    if (extra.empty()) return;
    AppendBytes(record, kZip64ExtraTag);
    AppendBytes(record, static_cast<uint16_t>(extra.size()));
    record.insert(record.end(), extra.begin(), extra.end());
  }

  // The central directory lies whole on the last volume, the one these records are on.
  bool WriteEnd(uint64_t centralOffset, uint64_t centralSize) {
    const uint64_t entries = central_.size();
    const uint32_t volume = out_.Volume();
    const bool zip64 = entries >= kMax16 || centralOffset >= kMax32 || centralSize >= kMax32;
    std::vector<uint8_t> record;
    if (zip64) {
      const uint64_t endOffset = out_.Position();
      AppendBytes(record, Zip64EndRecord{kZip64EndSignature, sizeof(Zip64EndRecord) - 12, kVersionMadeBy,
                                         kVersionZip64, volume, volume, entries, entries, centralSize, centralOffset});
      AppendBytes(record, Zip64Locator{kZip64LocatorSignature, volume, endOffset, volume + 1});
    }
    const uint16_t count = static_cast<uint16_t>(std::min<uint64_t>(entries, kMax16));
    AppendBytes(record, EndRecord{kEndSignature, static_cast<uint16_t>(volume), static_cast<uint16_t>(volume), count,
                                  count, static_cast<uint32_t>(std::min<uint64_t>(centralSize, kMax32)),
                                  static_cast<uint32_t>(std::min<uint64_t>(centralOffset, kMax32)), 0});
    return out_.Write(record.data(), record.size());
  }

  ArchiveOutput& out_;
  std::vector<CentralEntry> central_;
};

// A chunk on its way through the compressor, with what the writer needs to place it.
struct Pending {
  std::shared_ptr<Chunk> chunk;  // null for a folder
  size_t entry = 0;
  bool first = false;
  uint64_t inputSize = 0;
};

// Reads sources into chunks, keeps a bounded number of them in flight, and writes the
// results in order.
class ArchiveBuilder {
 public:
  ArchiveBuilder(ArchiveOutput& out, const std::vector<SourceEntry>& entries, const WriteOptions& options,
                 WriteObserver& observer)
      : layout_(out),
        entries_(entries),
        level_(options.level),
        faults_(options.faults),
        careless_(options.model == LibraryModel::Careless),
        observer_(observer),
        compressor_(options.level, Threads(options)),
        maxInFlight_(2 * Threads(options) + 2) {
    for (const SourceEntry& entry : entries) totalBytes_ += entry.size;
  }

  ZipResult Build() {
    for (size_t i = 0; i < entries_.size() && status_ == ZipResult::Ok; ++i) {
      if (entries_[i].isFolder)
        Enqueue({nullptr, i, true, 0});
      else
        ReadMember(i);
    }
    while (!inFlight_.empty()) WriteFront();
    if (status_ != ZipResult::Ok) return status_;
    if (lastPercent_ != 100 && !observer_.Progress(lastItem_, 100)) return ZipResult::Cancelled;
    if (!layout_.WriteCentralDirectory()) return layout_.Failure();
    return skipped_ ? ZipResult::SourcesSkipped : ZipResult::Ok;
  }

 private:
  static unsigned Threads(const WriteOptions& options) {
    return options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
  }

  // A source that cannot be read whole is reported and makes the archive incomplete;
  // what was read of it still goes through, so that the members after it are reported too.
  void ReadMember(size_t index) {
    const SourceEntry& entry = entries_[index];
    File source;
    if (faults_.Unreadable(entry.name)) SetSimulatedError(SimulatedError::FileInUse);
    if (faults_.Unreadable(entry.name) || !source.Open(entry.path, File::Mode::Read)) {
      SourceFailed(entry, SourceFailure::Open, SystemErrorText());
      return;
    }
    if (const std::optional<uint64_t> at = faults_.ReadFailsAt(entry.name)) source.FailReadsPast(*at);
    uint64_t remaining = entry.size;
    std::vector<uint8_t> tail;
    for (bool first = true; status_ == ZipResult::Ok; first = false) {
      std::shared_ptr<Chunk> chunk = FreshChunk();
      const size_t wanted = static_cast<size_t>(std::min<uint64_t>(kChunkSize, remaining));
      chunk->input.resize(wanted);
      const size_t got = source.Read(chunk->input.data(), wanted);
      chunk->input.resize(got);
      remaining -= got;
      if (source.ReadFailed()) SourceFailed(entry, SourceFailure::Read, source.ReadError());
      chunk->last = remaining == 0 || got < wanted;  // a file that shrank ends where its data ends
      chunk->mayStore = first && chunk->last;
      chunk->dictionary.swap(tail);
      const uint8_t* end = chunk->input.data() + chunk->input.size();
      if (!chunk->last) tail.assign(end - std::min(got, kDictionarySize), end);
      const bool last = chunk->last;
      Enqueue({std::move(chunk), index, first, got});
      if (last) break;
    }
  }

  // The careless model leaves the source out, or keeps what it read of it, without a word.
  void SourceFailed(const SourceEntry& entry, SourceFailure failure, const std::string& reason) {
    if (careless_) return;
    observer_.SourceFailed(entry.path, failure, reason);
    skipped_ = true;
  }

  void Enqueue(Pending pending) {
    while (inFlight_.size() >= maxInFlight_) WriteFront();
    if (pending.chunk) compressor_.Submit(pending.chunk);
    inFlight_.push_back(std::move(pending));
  }

  void WriteFront() {
    Pending pending = std::move(inFlight_.front());
    inFlight_.pop_front();
    if (pending.chunk) compressor_.Wait(*pending.chunk);
    if (status_ == ZipResult::Ok) status_ = WritePending(pending);
    if (pending.chunk) spare_.push_back(std::move(pending.chunk));
  }

  // A chunk whose buffers come from one written earlier, so that memory stays put.
  std::shared_ptr<Chunk> FreshChunk() {
    if (spare_.empty()) return std::make_shared<Chunk>();
    std::shared_ptr<Chunk> chunk = std::move(spare_.back());
    spare_.pop_back();
    std::vector<uint8_t> input = std::move(chunk->input), output = std::move(chunk->output);
    *chunk = Chunk{};
    chunk->input = std::move(input);
    chunk->output = std::move(output);
    chunk->output.clear();
    return chunk;
  }

  ZipResult WritePending(const Pending& pending) {
    const SourceEntry& entry = entries_[pending.entry];
    if (!pending.chunk)
      return layout_.BeginMember(entry, kMethodStored) && layout_.EndMember(0, 0) ? ZipResult::Ok : layout_.Failure();
    const Chunk& chunk = *pending.chunk;
    if (chunk.failed) return ZipResult::CannotWrite;
    if (pending.first) {
      const bool stored = level_ == 0 || (chunk.last && chunk.stored);
      if (!layout_.BeginMember(entry, stored ? kMethodStored : kMethodDeflated)) return layout_.Failure();
      memberCRC_ = 0;
      memberSize_ = 0;
    }
    if (!layout_.AppendData(chunk.output)) return layout_.Failure();
    memberCRC_ = static_cast<uint32_t>(crc32_combine(memberCRC_, chunk.crc, static_cast<z_off_t>(pending.inputSize)));
    memberSize_ += pending.inputSize;
    if (chunk.last && !layout_.EndMember(memberCRC_, memberSize_)) return layout_.Failure();
    return ReportProgress(entry.name, pending.inputSize) ? ZipResult::Ok : ZipResult::Cancelled;
  }

  bool ReportProgress(const std::string& item, uint64_t bytes) {
    doneBytes_ += bytes;
    lastItem_ = item;
    const int percent = totalBytes_ ? static_cast<int>(doneBytes_ * 100 / totalBytes_) : 0;
    if (percent == lastPercent_) return true;
    lastPercent_ = percent;
    return observer_.Progress(item, percent);
  }

  ArchiveLayout layout_;
  const std::vector<SourceEntry>& entries_;
  const int level_;
  const ZipFaults& faults_;
  const bool careless_;
  WriteObserver& observer_;
  ChunkCompressor compressor_;
  const size_t maxInFlight_;
  std::deque<Pending> inFlight_;
  std::vector<std::shared_ptr<Chunk>> spare_;
  ZipResult status_ = ZipResult::Ok;
  bool skipped_ = false;
  uint32_t memberCRC_ = 0;
  uint64_t memberSize_ = 0;
  uint64_t totalBytes_ = 0;
  uint64_t doneBytes_ = 0;
  int lastPercent_ = -1;
  std::string lastItem_;
};

// One archive file, whose local headers are completed in place.
class FileOutput final : public ArchiveOutput {
 public:
  explicit FileOutput(File& file) : file_(file) {}
  bool Write(const void* data, size_t size) override {
    position_ += size;
    return file_.Write(data, size);
  }
  bool KeepTogether(uint64_t) override { return true; }
  uint64_t Position() const override { return position_; }
  uint32_t Volume() const override { return 0; }
  bool CanPatch() const override { return true; }
  bool Patch(uint64_t at, const void* data, size_t size) override {
    return file_.Seek(at) && file_.Write(data, size) && file_.Seek(position_);
  }

 private:
  File& file_;
  uint64_t position_ = 0;
};

}  // namespace

ZipResult WriteArchiveTo(ArchiveOutput& out, const std::vector<SourceEntry>& entries, const WriteOptions& options,
                         WriteObserver& observer) {
  return ArchiveBuilder(out, entries, options, observer).Build();
}

namespace {

// The archive file, with the faults the tests inject into its medium.
bool OpenArchiveFile(File& out, const std::string& path, const ZipFaults& faults) {
  if (!out.Open(path, File::Mode::Write)) return false;
  if (faults.writeFailAfter) out.LimitSize(*faults.writeFailAfter);
  if (faults.writeCorruptAt) out.CorruptByteAt(*faults.writeCorruptAt);
  if (faults.flushFail) out.FailFlush();
  return true;
}

}  // namespace

// Written where it is told, anew, as an outside library writes. The plain model flushes
// the archive and removes it when the run failed, so that nothing incomplete is left
// under the archive's name; the careless model keeps what it wrote, unflushed, and takes
// a write the medium refused for success.
ZipResult WriteArchive(const std::string& archivePath, const std::vector<SourceEntry>& entries,
                       const WriteOptions& options, WriteObserver& observer) {
  if (entries.empty()) return ZipResult::NothingToDo;
  File out;
  if (!OpenArchiveFile(out, archivePath, options.faults)) return ZipResult::CannotWrite;
  FileOutput output(out);
  ZipResult result = WriteArchiveTo(output, entries, options, observer);
  if (options.model == LibraryModel::Careless) {
    out.Close();
    return result == ZipResult::CannotWrite ? ZipResult::Ok : result;
  }
  const bool flushed = result != ZipResult::Ok || out.Flush();
  if (!(out.Close() && flushed) && result != ZipResult::Cancelled) result = ZipResult::CannotWrite;
  if (result != ZipResult::Ok) RemoveFile(archivePath);
  return result;
}

}  // namespace kvxzip
