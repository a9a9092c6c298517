#include "standins/zip/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <thread>

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

// Names outside ASCII are stored in UTF-8 with the language-encoding flag, which every
// reader understands; plain ASCII names are stored as they are.
StoredName EncodeName(const SourceEntry& entry) {
  std::string name = entry.name + (entry.isFolder ? "/" : "");
  const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) return {name, 0};
  return {ToUtf8Name(name), kFlagUtf8Name};
}

struct CentralEntry {
  StoredName name;
  uint16_t versionNeeded = 0;
  uint16_t method = 0;
  uint32_t dosTime = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  uint64_t offset = 0;
  uint32_t attributes = 0;
  bool zip64Local = false;
};

// Lays the records out in the archive file; data arrives member by member, in order.
class ArchiveLayout {
 public:
  explicit ArchiveLayout(File& out) : out_(out) {}

  bool BeginMember(const SourceEntry& entry, uint16_t method) {
    CentralEntry& member = central_.emplace_back();
    member.name = EncodeName(entry);
    member.method = method;
    member.dosTime = entry.dosTime;
    member.offset = position_;
    member.attributes = entry.isFolder ? kAttributeFolder : kAttributeArchive;
    member.zip64Local = entry.size >= kZip64LocalThreshold;
    member.versionNeeded = member.zip64Local ? kVersionZip64 : method == kMethodDeflated ? kVersionDeflated : kVersionStored;
    if (entry.isFolder) member.versionNeeded = kVersionDeflated;
    return WriteLocalHeader(member);
  }

  bool AppendData(const std::vector<uint8_t>& data) {
    central_.back().compressedSize += data.size();
    return Put(data.data(), data.size());
  }

  // Puts the CRC and the sizes into the member's local header once they are known.
  bool EndMember(uint32_t crc, uint64_t size) {
    CentralEntry& member = central_.back();
    member.crc = crc;
    member.size = size;
    if (!member.zip64Local && member.compressedSize >= kMax32) return false;
    const uint32_t sizes[3] = {crc, member.zip64Local ? kMax32 : static_cast<uint32_t>(member.compressedSize),
                               member.zip64Local ? kMax32 : static_cast<uint32_t>(size)};
    if (!Patch(member.offset + offsetof(LocalHeader, crc), sizes, sizeof sizes)) return false;
    if (!member.zip64Local) return true;
    const uint64_t wide[2] = {size, member.compressedSize};
    return Patch(member.offset + sizeof(LocalHeader) + member.name.bytes.size() + 4, wide, sizeof wide);
  }

  bool WriteCentralDirectory() {
    const uint64_t centralOffset = position_;
    std::vector<uint8_t> record;
    for (const CentralEntry& member : central_) {
      record.clear();
      AppendCentralHeader(record, member);
      if (!Put(record.data(), record.size())) return false;
    }
    return WriteEnd(centralOffset, position_ - centralOffset);
  }

 private:
  bool Put(const void* data, size_t size) {
    position_ += size;
    return out_.Write(data, size);
  }

  bool Patch(uint64_t at, const void* data, size_t size) {
    return out_.Seek(at) && out_.Write(data, size) && out_.Seek(position_);
  }

  bool WriteLocalHeader(const CentralEntry& member) {
    LocalHeader header{};
    header.signature = kLocalHeaderSignature;
    header.versionNeeded = member.versionNeeded;
    header.flags = member.name.flags;
    header.method = member.method;
    header.dosTime = member.dosTime;
    header.nameLength = static_cast<uint16_t>(member.name.bytes.size());
    header.extraLength = member.zip64Local ? sizeof(Zip64LocalExtra) : 0;
    std::vector<uint8_t> record;
    AppendBytes(record, header);
    record.insert(record.end(), member.name.bytes.begin(), member.name.bytes.end());
    if (member.zip64Local) AppendBytes(record, Zip64LocalExtra{kZip64ExtraTag, 16, 0, 0});
    return Put(record.data(), record.size());
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
    header.flags = member.name.flags;
    header.method = member.method;
    header.dosTime = member.dosTime;
    header.crc = member.crc;
    // The zip64 extra holds the overflowing values in this order: size, compressed size, offset.
    header.size = wide(member.size);
    header.compressedSize = wide(member.compressedSize);
    header.localHeaderOffset = wide(member.offset);
    header.versionNeeded = extra.empty() ? member.versionNeeded : kVersionZip64;
    header.externalAttributes = member.attributes;
    header.nameLength = static_cast<uint16_t>(member.name.bytes.size());
    header.extraLength = extra.empty() ? 0 : static_cast<uint16_t>(extra.size() + 4);
    AppendBytes(record, header);
    record.insert(record.end(), member.name.bytes.begin(), member.name.bytes.end());
    if (extra.empty()) return;
    AppendBytes(record, kZip64ExtraTag);
    AppendBytes(record, static_cast<uint16_t>(extra.size()));
    record.insert(record.end(), extra.begin(), extra.end());
  }

  bool WriteEnd(uint64_t centralOffset, uint64_t centralSize) {
    const uint64_t entries = central_.size();
    const bool zip64 = entries >= kMax16 || centralOffset >= kMax32 || centralSize >= kMax32;
    std::vector<uint8_t> record;
    if (zip64) {
      const uint64_t endOffset = position_;
      AppendBytes(record, Zip64EndRecord{kZip64EndSignature, sizeof(Zip64EndRecord) - 12, kVersionMadeBy,
                                         kVersionZip64, 0, 0, entries, entries, centralSize, centralOffset});
      AppendBytes(record, Zip64Locator{kZip64LocatorSignature, 0, endOffset, 1});
    }
    const uint16_t count = static_cast<uint16_t>(std::min<uint64_t>(entries, kMax16));
    AppendBytes(record, EndRecord{kEndSignature, 0, 0, count, count,
                                  static_cast<uint32_t>(std::min<uint64_t>(centralSize, kMax32)),
                                  static_cast<uint32_t>(std::min<uint64_t>(centralOffset, kMax32)), 0});
    return Put(record.data(), record.size());
  }

  File& out_;
  uint64_t position_ = 0;
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
  ArchiveBuilder(File& out, const std::vector<SourceEntry>& entries, const WriteOptions& options,
                 WriteObserver& observer)
      : layout_(out),
        entries_(entries),
        level_(options.level),
        faults_(options.faults),
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
    if (!layout_.WriteCentralDirectory()) return ZipResult::CannotWrite;
    return skipped_ ? ZipResult::SourcesSkipped : ZipResult::Ok;
  }

 private:
  static unsigned Threads(const WriteOptions& options) {
    return options.threads ? options.threads : std::max(1u, std::thread::hardware_concurrency());
  }

  void ReadMember(size_t index) {
    const SourceEntry& entry = entries_[index];
    File source;
    if (faults_.Unreadable(entry.name) || !source.Open(entry.path, File::Mode::Read)) {
      observer_.SourceUnreadable(entry.path);
      skipped_ = true;
      return;
    }
    uint64_t remaining = entry.size;
    std::vector<uint8_t> tail;
    for (bool first = true; status_ == ZipResult::Ok; first = false) {
      std::shared_ptr<Chunk> chunk = FreshChunk();
      const size_t wanted = static_cast<size_t>(std::min<uint64_t>(kChunkSize, remaining));
      chunk->input.resize(wanted);
      const size_t got = source.Read(chunk->input.data(), wanted);
      chunk->input.resize(got);
      remaining -= got;
      chunk->last = remaining == 0 || got < wanted;  // a file that shrank ends where its data ends
      chunk->mayStore = first && chunk->last;
      chunk->dictionary.swap(tail);
      if (!chunk->last) tail.assign(chunk->input.end() - std::min(got, kDictionarySize), chunk->input.end());
      const bool last = chunk->last;
      Enqueue({std::move(chunk), index, first, got});
      if (last) break;
    }
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
    if (!pending.chunk) return layout_.BeginMember(entry, kMethodStored) && layout_.EndMember(0, 0) ? ZipResult::Ok : ZipResult::CannotWrite;
    const Chunk& chunk = *pending.chunk;
    if (chunk.failed) return ZipResult::CannotWrite;
    if (pending.first) {
      const bool stored = level_ == 0 || (chunk.last && chunk.stored);
      if (!layout_.BeginMember(entry, stored ? kMethodStored : kMethodDeflated)) return ZipResult::CannotWrite;
      memberCrc_ = 0;
      memberSize_ = 0;
    }
    if (!layout_.AppendData(chunk.output)) return ZipResult::CannotWrite;
    memberCrc_ = static_cast<uint32_t>(crc32_combine(memberCrc_, chunk.crc, static_cast<z_off_t>(pending.inputSize)));
    memberSize_ += pending.inputSize;
    if (chunk.last && !layout_.EndMember(memberCrc_, memberSize_)) return ZipResult::CannotWrite;
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
  WriteObserver& observer_;
  ChunkCompressor compressor_;
  const size_t maxInFlight_;
  std::deque<Pending> inFlight_;
  std::vector<std::shared_ptr<Chunk>> spare_;
  ZipResult status_ = ZipResult::Ok;
  bool skipped_ = false;
  uint32_t memberCrc_ = 0;
  uint64_t memberSize_ = 0;
  uint64_t totalBytes_ = 0;
  uint64_t doneBytes_ = 0;
  int lastPercent_ = -1;
  std::string lastItem_;
};

}  // namespace

ZipResult WriteArchive(const std::string& archivePath, const std::vector<SourceEntry>& entries,
                       const WriteOptions& options, WriteObserver& observer) {
  if (entries.empty()) return ZipResult::NothingToDo;
  const std::string partial = archivePath + ".partial";
  File out;
  if (!out.Open(partial, File::Mode::Write)) return ZipResult::CannotWrite;
  if (options.faults.writeFailAfter) out.LimitSize(*options.faults.writeFailAfter);
  ZipResult result = ArchiveBuilder(out, entries, options, observer).Build();
  if (!out.Close() && result != ZipResult::Cancelled) result = ZipResult::CannotWrite;
  const bool complete = result == ZipResult::Ok || result == ZipResult::SourcesSkipped;
  if (complete && MoveOver(partial, archivePath)) return result;
  RemoveFile(partial);
  return complete ? ZipResult::CannotWrite : result;
}

}  // namespace kvxzip
