#include "burner/track_image.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include "base/file_search.h"
#include "burner/iso_records.h"

namespace kvx {
namespace {

constexpr size_t kChunk = 512 * kSectorSize;
constexpr int64_t kPostGapBytes = 300 * kSectorSize;

bool SendZeros(const TTrackSink& sink, int64_t count) {
  static const std::vector<uint8_t> zeros(kChunk, 0);
  while (count > 0) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(count, kChunk));
    if (!sink(zeros.data(), n)) return false;
    count -= static_cast<int64_t>(n);
  }
  return true;
}

bool SendFile(const TISOEntry& entry, const TTrackSink& sink, std::vector<uint8_t>& buffer, std::string& error) {
  std::ifstream in(NativePath(entry.SourcePath), std::ios::binary);
  if (!in) {
    error = OpenFailureText(entry.SourcePath);
    return false;
  }
  int64_t remaining = entry.ISOSize;
  while (remaining > 0) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(remaining, kChunk));
    in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(want));
    if (static_cast<size_t>(in.gcount()) != want) {
      error = "CAN'T READ FILE \"" + entry.SourcePath + "\"";
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

std::string OpenFailureText(const std::string& Path) {
  return "CAN'T OPEN FILE \"" + Path + "\" OR FILE IS IN USES BY OTHER SOFTWARE";
}

bool WriteTrackData(const TImageLayout& Layout, const TTrackSink& Sink, std::string& Error) {
  if (!Sink(Layout.ImageHeader.data(), Layout.ImageHeader.size())) {
    Error = "CAN'T WRITE THE TRACK";
    return false;
  }
  std::vector<uint8_t> buffer(kChunk);
  for (const auto& entry : Layout.Entries) {
    if (entry->Directory || entry->SourcePath.empty() || entry->ISOSize == 0) continue;
    if (!SendFile(*entry, Sink, buffer, Error)) return false;
  }
  const int64_t track_bytes = Layout.TrackSectors * kSectorSize;
  if (Layout.WritePostGap && track_bytes < kPostGapBytes && !SendZeros(Sink, kPostGapBytes - track_bytes)) {
    Error = "CAN'T WRITE THE TRACK";
    return false;
  }
  return true;
}

}  // namespace kvx
