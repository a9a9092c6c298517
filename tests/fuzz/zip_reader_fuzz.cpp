// Fuzz target of the unzip library stand-in: the input is an archive; "dunzip" counts
// its members and extracts them as the DLL does (end records, zip64 locator and records,
// central directory, local headers, member names, stored and deflated data). The last
// byte of the input also picks the extraction options, a test of every member's data
// (which writes nothing) among them. Nothing may leave the destination (zip_scratch.h).
#include <cstdint>
#include <filesystem>
#include <string>

#include "archive/zip_records.h"
#include "standins/zip/zip_entry_points.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/zip_scratch.h"

namespace {

namespace fs = std::filesystem;
using kvx::fuzz::Expect;

int32_t KeepGoing(const char*, int32_t, void*) { return 0; }

int32_t CountMessage(int32_t, int32_t, int32_t, int32_t, const char*, const char*, void* userData) {
  ++*static_cast<int*>(userData);
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const kvx::fuzz::ZipScratch& layout = kvx::fuzz::ZipFolders();
  kvx::fuzz::WriteWholeFile(layout.archive, std::string_view(reinterpret_cast<const char*>(data), size));
  const uint8_t options = size ? data[size - 1] : 0;
  const std::string archive = layout.archive.string(), destination = layout.destination.string();

  int messages = 0;
  kvx::UnzipParams params{};
  params.recordSize = kvx::kUnzipRecordSize;
  params.function = kvx::kUnzipFunctionCount;
  params.zipFile = archive.c_str();
  params.majorStatus = KeepGoing;
  params.messageCallback = CountMessage;
  params.messageUserData = &messages;
  params.returnCount = -7;
  const int32_t counted = kvxzip::RunDunzip(&params);
  Expect(counted == 0 ? params.returnCount >= 0 : params.returnCount == -7, "a count is given only on success");
  Expect(counted == 0 || messages == 1, "a failed count reports one problem");

  params.function = kvx::kUnzipFunctionExtract;
  params.destination = destination.c_str();
  params.fileSpec = kvx::fuzz::FileSpecOf(options);
  params.overWrite = (options & 1) ? -1 : 0;
  params.recurse = (options & 2) ? -1 : 0;
  params.noDirectoryNames = (options & 4) ? -1 : 0;
  params.test = (options & 8) ? -1 : 0;
  const int32_t extracted = kvxzip::RunDunzip(&params);
  Expect(counted == 0 || extracted == counted, "an archive that cannot be counted cannot be extracted");
  Expect(!params.test || fs::is_empty(layout.destination), "a test writes nothing");

  kvx::fuzz::CheckExtractionStayedInside(layout);
  return 0;
}
