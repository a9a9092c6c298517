// Drives the zip stand-ins' entry points through their parameter records natively, for the
// checks against outside tools and the benchmark:
//   zip_driver add ARCHIVE LEVEL FLAGS ITEMLIST      flags: r recurse, p relative names,
//                                                    d dosify, n no folder entries, - none
//   zip_driver count ARCHIVE
//   zip_driver extract ARCHIVE DEST SPEC FLAGS       flags: o overwrite, r recurse,
//                                                    j no folder names, t test, - none
//   zip_driver span ARCHIVE ROOM ITEMLIST            a set spanned over diskettes of ROOM
//                                                    bytes: ARCHIVE is the last, ARCHIVE.N
//                                                    diskette N (the fuzz seeds of zip_spanned)
// Prints "PROGRESS <percent> <item>", "MESSAGE <id> <text1>" and "COUNT <n>" lines;
// exits with the entry point's result.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "archive/zip_records.h"
#include "standins/zip/diskette_drive.h"
#include "standins/zip/item_list.h"
#include "standins/zip/spanned_writer.h"
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
  params.test = Has(argv[3], 't') ? -1 : 0;
  return kvxzip::RunDunzip(&params);
}

// The diskette in the drive is ARCHIVE; diskette N, out of the drive, is ARCHIVE.N. Every
// diskette offered is empty and takes the same room.
class FileShelf final : public kvxzip::DisketteDrive {
 public:
  FileShelf(std::string archive, uint64_t room) : archive_(std::move(archive)), room_(room) {}
  bool Ask(kvxzip::DisketteQuestion question, uint32_t volume) override {
    if (question == kvxzip::DisketteQuestion::Insert && volume != current_) {
      std::rename(archive_.c_str(), (archive_ + "." + std::to_string(current_)).c_str());
      std::rename((archive_ + "." + std::to_string(volume)).c_str(), archive_.c_str());
      current_ = volume;
    }
    return true;
  }
  std::optional<uint64_t> Room() override { return room_; }
  bool HasContent(uint16_t) override { return false; }
  bool Empty(uint16_t) override { return true; }

 private:
  std::string archive_;
  uint64_t room_;
  uint32_t current_ = 1;
};

class UnreadableLister final : public kvxzip::WriteObserver {
 public:
  bool Progress(const std::string&, int) override { return true; }
  void SourceFailed(const std::string& path, kvxzip::SourceFailure, const std::string& reason) override {
    std::printf("UNREADABLE %s: %s\n", path.c_str(), reason.c_str());
  }
};

int Span(char** argv) {
  FileShelf shelf(argv[0], std::strtoull(argv[1], nullptr, 10));
  kvxzip::CollectOptions collect;
  collect.recurse = true;
  collect.relativeToCurrent = true;
  UnreadableLister observer;
  return static_cast<int>(kvxzip::WriteSpanned(argv[0], kvxzip::CollectSources(kvxzip::SplitItemList(argv[2]), collect),
                                               kvxzip::WriteOptions{9, 1, {}}, observer, shelf, 0x8300));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "add" && argc == 6) return Add(argv + 2);
  if (command == "count" && argc == 3) return Count(argv + 2);
  if (command == "extract" && argc == 6) return Extract(argv + 2);
  if (command == "span" && argc == 5) return Span(argv + 2);
  std::fprintf(stderr, "usage: zip_driver add|count|extract|span ...\n");
  return 100;
}
