// Result codes of the zip stand-ins' entry points: 0 is success.
#pragma once

#include <cstdint>

namespace kvxzip {

enum class ZipResult : int32_t {
  Ok = 0,
  BadParameters = 1,
  CannotOpenArchive = 2,
  CannotReadArchive = 3,
  CannotWrite = 4,
  Cancelled = 8,
  CannotExtract = 11,
  NothingToDo = 12,
  SourcesSkipped = 18,
};

}  // namespace kvxzip
