#include "standins/zip/zip_entry_points.h"

#include <algorithm>
#include <string>

#include "standins/zip/file_system.h"
#include "standins/zip/item_list.h"
#include "standins/zip/spanned_writer.h"
#include "standins/zip/zip_reader.h"
#include "standins/zip/zip_writer.h"

namespace kvxzip {
namespace {

constexpr uint16_t kZsoRelativePath = 0x0001;

// Texts of the parameter records are in the ANSI code page; the stand-ins work in UTF-8.
std::string TextOf(const char* text) { return text ? ToUTF8Name(text) : ""; }

int32_t CodeOf(ZipResult result) { return static_cast<int32_t>(result); }

// Progress goes to the major status callback; problems to the message callback, with
// the names in the ANSI code page again.
class CallbackObserver final : public WriteObserver, public ReadObserver {
 public:
  CallbackObserver(kvx::ZipStatusCallback status, void* statusData, kvx::ZipMessageCallback message, void* messageData,
                   const std::string& archivePath)
      : status_(status), statusData_(statusData), message_(message), messageData_(messageData),
        archivePath_(FromUTF8Name(archivePath)) {}

  bool Progress(const std::string& item, int percent) override {
    return !status_ || status_(FromUTF8Name(item).c_str(), percent, statusData_) == 0;
  }
  // A source's path in the first text, the system's reason in the second.
  void SourceFailed(const std::string& path, SourceFailure failure, const std::string& reason) override {
    Send(failure == SourceFailure::Open ? kvx::kUnzipMsgCannotOpen : kvx::kUnzipMsgCannotRead, FromUTF8Name(path),
         FromUTF8Name(reason));
  }
  void Problem(int32_t messageId, const std::string& item) override {
    Send(messageId, FromUTF8Name(item), archivePath_);
  }

 private:
  void Send(int32_t messageId, const std::string& first, const std::string& second) {
    if (message_) message_(messageId, 0, 0, 0, first.c_str(), second.c_str(), messageData_);
  }

  kvx::ZipStatusCallback status_;
  void* statusData_;
  kvx::ZipMessageCallback message_;
  void* messageData_;
  std::string archivePath_;
};

int32_t AddItems(const kvx::ZipParams& params) {
  const std::string archive = TextOf(params.zipFile);
  if (archive.empty()) return CodeOf(ZipResult::BadParameters);
  CollectOptions collect;
  collect.recurse = params.recurse != 0;
  collect.relativeToCurrent = (params.subOptionWord & kZsoRelativePath) != 0;
  collect.dosify = params.dosify != 0;
  collect.folderEntries = params.noDirectoryEntries == 0;
  collect.excluded = {archive};
  if (params.excludeFollowing) collect.excludedNames = SplitItemList(TextOf(params.excludeFollowingList));
  const std::vector<SourceEntry> sources = CollectSources(SplitItemList(TextOf(params.itemList)), collect);
  WriteOptions write;
  write.level = std::clamp(params.compFactor, 0, 9);
  write.faults = ZipFaultsFromEnvironment();
  write.model = LibraryModelFromEnvironment();
  CallbackObserver observer(params.majorStatus, params.majorUserData, params.messageCallback, params.messageUserData,
                            archive);
  if (params.multiVolumeWord & kMultiVolumeUse)
    if (const std::unique_ptr<DisketteDrive> drive = RemovableDriveOf(archive))
      return CodeOf(WriteSpanned(archive, sources, write, observer, *drive, params.multiVolumeWord));
  return CodeOf(WriteArchive(archive, sources, write, observer));
}

int32_t CountItems(kvx::UnzipParams& params) {
  CallbackObserver observer(params.majorStatus, params.majorUserData, params.messageCallback, params.messageUserData,
                            TextOf(params.zipFile));
  uint64_t count = 0;
  const std::unique_ptr<DisketteDrive> drive = RemovableDriveOf(TextOf(params.zipFile));
  const ZipResult result = CountMembers(TextOf(params.zipFile), count, observer, drive.get());
  if (result == ZipResult::Ok) params.returnCount = static_cast<int32_t>(std::min<uint64_t>(count, INT32_MAX));
  return CodeOf(result);
}

int32_t ExtractItems(const kvx::UnzipParams& params) {
  ExtractOptions options;
  options.destination = TextOf(params.destination);
  if (options.destination.empty()) options.destination = ".";
  if (params.fileSpec && *params.fileSpec) options.fileSpec = params.fileSpec;
  options.overwrite = params.overWrite != 0;
  options.recurse = params.recurse != 0;
  options.noDirectoryNames = params.noDirectoryNames != 0;
  // The careless model checks no CRC-32, and extracts for a test too.
  const bool careless = LibraryModelFromEnvironment() == LibraryModel::Careless;
  options.testOnly = params.test != 0 && !careless;
  options.checkCRC = !careless;
  options.faults = ZipFaultsFromEnvironment();
  CallbackObserver observer(params.majorStatus, params.majorUserData, params.messageCallback, params.messageUserData,
                            TextOf(params.zipFile));
  const std::unique_ptr<DisketteDrive> drive = RemovableDriveOf(TextOf(params.zipFile));
  return CodeOf(ExtractMembers(TextOf(params.zipFile), options, observer, drive.get()));
}

}  // namespace

int32_t RunDzip(kvx::ZipParams* params) {
  if (!params || params->recordSize != kvx::kZipRecordSize) return CodeOf(ZipResult::BadParameters);
  if (params->function == kvx::kZipFunctionAdd) return AddItems(*params);
  return CodeOf(ZipResult::BadParameters);
}

int32_t RunDunzip(kvx::UnzipParams* params) {
  if (!params || params->recordSize != kvx::kUnzipRecordSize) return CodeOf(ZipResult::BadParameters);
  if (params->function == kvx::kUnzipFunctionCount) return CountItems(*params);
  if (params->function == kvx::kUnzipFunctionExtract) return ExtractItems(*params);
  return CodeOf(ZipResult::BadParameters);
}

}  // namespace kvxzip
