// Failures the zip stand-ins simulate on demand, so that the toolbox's failure paths can
// be tested: KVXZIP_FAULTS holds a ';'-separated list of
//   write-fail-after=BYTES   the archive being written cannot grow past BYTES (a full disk)
//   read-fail=NAME           the source of the member NAME cannot be opened (letter case ignored)
//   extract-fail-after=N     the member after the first N of an extraction cannot be written
// Without the variable nothing fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvxzip {

struct ZipFaults {
  std::optional<uint64_t> writeFailAfter;
  std::vector<std::string> unreadable;
  std::optional<uint64_t> extractFailAfter;

  bool Unreadable(const std::string& memberName) const;
};

// Unknown items and bad numbers are ignored.
ZipFaults ParseZipFaults(std::string_view text);
ZipFaults ZipFaultsFromEnvironment();

}  // namespace kvxzip
