// KVXUNZIP.DLL: the entry point "dunzip" over the portable format code.
#include "archive/zip_records.h"
#include "standins/zip/zip_entry_points.h"

extern "C" KVX_ZIP_EXPORT int32_t KVX_ZIP_CALL dunzip(kvx::UnzipParams* params) {
  try {
    return kvxzip::RunDunzip(params);
  } catch (...) {  // nothing may unwind into the caller
    return -1;
  }
}
