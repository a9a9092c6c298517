// Drives the zip stand-ins' entry points through their parameter records natively, for the
// checks against outside tools and the benchmark:
//   zip_driver add ARCHIVE LEVEL FLAGS ITEMLIST      flags: r recurse, p relative names,
//                                                    d dosify, n no folder entries, - none
//   zip_driver count ARCHIVE
//   zip_driver extract ARCHIVE DEST SPEC FLAGS       flags: o overwrite, r recurse,
//                                                    j no folder names, - none
// Prints "PROGRESS <percent> <item>", "MESSAGE <id> <text1>" and "COUNT <n>" lines;
// exits with the entry point's result.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/zip_records.h"
#include "standins/zip/zip_entry_points.h"

namespace {

int32_t KVX_ZIP_CALL PrintProgress(const char* item, int32_t percent, void*) {
  std::printf("PROGRESS %d %s\n", percent, item ? item : "");
  return 0;
}

int32_t KVX_ZIP_CALL PrintMessage(int32_t msgId, int32_t, int32_t, int32_t, const char* text1, const char*, void*) {
  std::printf("MESSAGE %d %s\n", msgId, text1 ? text1 : "");
  return 0;
}

bool Has(const char* flags, char flag) { return std::strchr(flags, flag) != nullptr; }

int Add(char** argv) {
  kvx::ZipParams params{};
  params.recordSize = kvx::kZipRecordSize;
  params.function = kvx::kZipFunctionAdd;
  params.zipFile = argv[0];
  params.compFactor = std::atoi(argv[1]);
  params.recurse = Has(argv[2], 'r') ? -1 : 0;
  params.subOptionWord = Has(argv[2], 'p') ? 0x0001 : 0;
  params.dosify = Has(argv[2], 'd') ? -1 : 0;
  params.noDirectoryEntries = Has(argv[2], 'n') ? -1 : 0;
  params.itemList = argv[3];
  params.majorStatus = PrintProgress;
  params.messageCallback = PrintMessage;
  return kvxzip::RunDzip(&params);
}

kvx::UnzipParams UnzipRecord(int32_t function, const char* archive) {
  kvx::UnzipParams params{};
  params.recordSize = kvx::kUnzipRecordSize;
  params.function = function;
  params.zipFile = archive;
  params.majorStatus = PrintProgress;
  params.messageCallback = PrintMessage;
  return params;
}

int Count(char** argv) {
  kvx::UnzipParams params = UnzipRecord(kvx::kUnzipFunctionCount, argv[0]);
  params.returnCount = -7;  // replaced only on success
  const int32_t result = kvxzip::RunDunzip(&params);
  std::printf("COUNT %d\n", static_cast<int>(params.returnCount));
  return result;
}

int Extract(char** argv) {
  kvx::UnzipParams params = UnzipRecord(kvx::kUnzipFunctionExtract, argv[0]);
  params.destination = argv[1];
  params.fileSpec = argv[2];
  params.overWrite = Has(argv[3], 'o') ? -1 : 0;
  params.recurse = Has(argv[3], 'r') ? -1 : 0;
  params.noDirectoryNames = Has(argv[3], 'j') ? -1 : 0;
  return kvxzip::RunDunzip(&params);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "add" && argc == 6) return Add(argv + 2);
  if (command == "count" && argc == 3) return Count(argv + 2);
  if (command == "extract" && argc == 6) return Extract(argv + 2);
  std::fprintf(stderr, "usage: zip_driver add|count|extract ...\n");
  return 100;
}
