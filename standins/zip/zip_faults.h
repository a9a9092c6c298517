// Failures the zip stand-ins simulate on demand, so that the toolbox's failure paths can
// be tested: KVXZIP_FAULTS holds a ';'-separated list of
//   write-fail-after=BYTES   the archive being written cannot grow past BYTES (a full disk)
//   write-corrupt-at=BYTES   the byte at that offset of the archive (of each volume) reaches the
//                            medium altered, as through a bad sector
//   read-fail=NAME           the source of the member NAME cannot be opened (letter case ignored)
//   read-fail-at=NAME@OFFSET reading the source of NAME fails once OFFSET bytes of it were read
//   extract-fail-after=N     the member after the first N of an extraction cannot be written
//   flush-fail=1             the archive (each volume) cannot be flushed to the medium
// Without the variable nothing fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvxzip {

struct ZipFaults {
  std::optional<uint64_t> writeFailAfter;
  std::optional<uint64_t> writeCorruptAt;
  std::vector<std::string> unreadable;
  std::vector<std::pair<std::string, uint64_t>> readFailAt;
  std::optional<uint64_t> extractFailAfter;
  bool flushFail = false;

  bool Unreadable(const std::string& memberName) const;
  // Bytes of the member's source that read before reading fails; nullopt: all of them.
  std::optional<uint64_t> ReadFailsAt(const std::string& memberName) const;
};

// Unknown items and bad numbers are ignored.
ZipFaults ParseZipFaults(std::string_view text);
ZipFaults ZipFaultsFromEnvironment();

}  // namespace kvxzip
