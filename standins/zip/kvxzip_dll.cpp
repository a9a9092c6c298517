// KVXZIP.DLL: the entry point "dzip" over the portable format code.
#include "archive/zip_records.h"
#include "standins/zip/zip_entry_points.h"

extern "C" KVX_ZIP_EXPORT int32_t KVX_ZIP_CALL dzip(kvx::ZipParams* params) {
  try {
    return kvxzip::RunDzip(params);
  } catch (...) {  // nothing may unwind into the caller
    return -1;
  }
}
