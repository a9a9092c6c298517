// What "dzip" and "dunzip" do with their parameter records: the add, count and extract
// functions over the portable format code. The DLLs export these; native test
// programs call them directly.
#pragma once

#include <cstdint>

#include "archive/zip_records.h"

// How the two libraries export their entry point.
#ifdef _WIN32
#  define KVX_ZIP_EXPORT __declspec(dllexport)
#else
#  define KVX_ZIP_EXPORT __attribute__((visibility("default")))
#endif

namespace kvxzip {

int32_t RunDzip(kvx::ZipParams* params);
int32_t RunDunzip(kvx::UnzipParams* params);

}  // namespace kvxzip
