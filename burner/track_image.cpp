#include "burner/track_image.h"

#include <algorithm>
#include <vector>

#include "burner/iso_records.h"
#include "burner/stream_ex.h"

namespace kvx {
namespace {

constexpr size_t kChunk = 512 * kSectorSize;
constexpr int64_t kPostGapBytes = 300 * kSectorSize;

bool SendZeros(const TrackSink& sink, int64_t count) {
  static const std::vector<uint8_t> zeros(kChunk, 0);
  while (count > 0) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(count, kChunk));
    if (!sink(zeros.data(), n)) return false;
    count -= static_cast<int64_t>(n);
  }
  return true;
}

bool SendFile(const TISOEntry& entry, const TrackSink& sink, std::vector<uint8_t>& buffer, std::string& error) {
  TFileStreamEx in(entry.SourcePath, kFileOpenRead | kFileShareDenyNone);
  if (!in.IsOpen()) {
    error = in.OpenError();
    return false;
  }
  int64_t remaining = entry.ISOSize;
  while (remaining > 0) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(remaining, kChunk));
    if (in.Read(buffer.data(), static_cast<int32_t>(want)) != static_cast<int32_t>(want)) {
      error = FileReadErrorText(entry.SourcePath);
      return false;
    }
    remaining -= static_cast<int64_t>(want);
    const size_t padded = static_cast<size_t>(RoundUpToSectors(static_cast<int64_t>(want)));
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(want), buffer.begin() + static_cast<std::ptrdiff_t>(padded), 0);
    if (!sink(buffer.data(), padded)) {
      error = "CAN'T WRITE THE TRACK";
      return false;
    }
  }
  return true;
}

}  // namespace

bool WriteTrackData(const ImageLayout& layout, const TrackSink& sink, std::string& error) {
  if (!sink(layout.ImageHeader.data(), layout.ImageHeader.size())) {
    error = "CAN'T WRITE THE TRACK";
    return false;
  }
  std::vector<uint8_t> buffer(kChunk);
  for (const auto& entry : layout.Entries) {
    if (entry->Directory || entry->SourcePath.empty() || entry->ISOSize == 0) continue;
    if (!SendFile(*entry, sink, buffer, error)) return false;
  }
  const int64_t trackBytes = layout.TrackSectors * kSectorSize;
  if (layout.WritePostGap && trackBytes < kPostGapBytes && !SendZeros(sink, kPostGapBytes - trackBytes)) {
    error = "CAN'T WRITE THE TRACK";
    return false;
  }
  return true;
}

}  // namespace kvx
