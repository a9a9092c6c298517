#include "archive/zip_component.h"

#include <cstring>

#include "archive/zip_library.h"
#include "base/exception_text.h"

namespace kvx {
namespace {

constexpr int32_t kSet = -1;  // a boolean of the records: all bits set

template <typename E>
int32_t Flag(EnumSet<E> set, E element) {
  return set.Contains(element) ? kSet : 0;
}

constexpr int32_t kCancel = -1;  // a status answer that asks the library to stop

TZipComponent& Component(void* userData) { return *static_cast<TZipComponent*>(userData); }

template <typename T>
T LoadAt(const uint8_t* buffer, size_t offset) {
  T value;
  std::memcpy(&value, buffer + offset, sizeof value);
  return value;
}

// A text of the buffer, at most maxLength characters, zero-padded into the field.
template <size_t N>
void CopyText(char (&field)[N], const uint8_t* buffer, size_t offset, size_t maxLength) {
  std::memset(field, 0, N);
  const char* text = reinterpret_cast<const char*>(buffer + offset);
  for (size_t i = 0; i < maxLength && text[i]; ++i) field[i] = text[i];
}

}  // namespace

void TZipComponent::AssignHolder(TLPStr&, const TLPStr&) {
  ActiveZipLibrarySystem().inform("Cannot Directly assign a value to type LPSTR.  Use SetText");
}

template <typename Call>
bool TZipComponent::RunHandler(Call&& call) noexcept {
  if (handlerFailed_) return false;
  try {
    call();
    return true;
  } catch (...) {
    handlerFailed_ = true;
    try {
      lastError_ = CurrentExceptionText();
    } catch (...) {  // no memory for the text: EndRun gives the unknown one
    }
    return false;
  }
}

bool TZipComponent::EndRun(int32_t result, int32_t& lastResult) {
  lastResult = result;
  if (handlerFailed_) {
    if (lastError_.empty()) lastError_ = kUnknownExceptionText;
    return false;
  }
  if (result != 0) lastError_ = "La bibliothèque de compression a répondu " + std::to_string(result) + ".";
  return result == 0;
}

int32_t TZipComponent::RunStatus(const TStatusCallback& handler, const char* item, int32_t percent) noexcept {
  bool doCancel = false;
  const bool ran = RunHandler([&] {
    if (handler) handler(item, percent, doCancel);
  });
  return !ran || doCancel ? kCancel : 0;
}

int32_t KVX_ZIP_CALL TZipComponent::MajorStatusAdapter(const char* item, int32_t percent, void* component) noexcept {
  TZipComponent& self = Component(component);
  return self.RunStatus(self.OnMajorCallback, item, percent);
}

int32_t KVX_ZIP_CALL TZipComponent::MinorStatusAdapter(const char* item, int32_t percent, void* component) noexcept {
  TZipComponent& self = Component(component);
  return self.RunStatus(self.OnMinorCallback, item, percent);
}

// A message has no answer that stops the library: a throwing handler answers 0, and the
// next status callback cancels.
int32_t KVX_ZIP_CALL TZipComponent::MessageAdapter(int32_t msgId, int32_t mbType, int32_t p1, int32_t p2,
                                                   const char* text1, const char* text2, void* component) noexcept {
  TZipComponent& self = Component(component);
  int32_t result = 0;
  const bool ran = self.RunHandler([&] {
    if (self.OnMessageCallback)
      self.OnMessageCallback(static_cast<uint16_t>(msgId), static_cast<uint16_t>(mbType), p1, p2, text1, text2,
                             result);
  });
  return ran ? result : 0;
}

int32_t KVX_ZIP_CALL TZipComponent::RenameAdapter(void* renameRecord, void* component) noexcept {
  TZipComponent& self = Component(component);
  self.RunHandler([&] {
    if (self.OnRenameCallback) self.OnRenameCallback(renameRecord);
  });
  return 0;
}

int32_t KVX_ZIP_CALL TZipComponent::MemToMemAdapter(int32_t action, char* memBuf, int32_t* size, int32_t totalReadL,
                                                    int32_t totalReadH, int32_t totalWrittenL, int32_t totalWrittenH,
                                                    void* component, int32_t* result) noexcept {
  TZipComponent& self = Component(component);
  self.RunHandler([&] {
    if (self.OnMemToMem)
      self.OnMemToMem(action, memBuf, size, totalReadL, totalReadH, totalWrittenL, totalWrittenH, result);
  });
  return 0;
}

ZipMemToMemRecord& TZipComponent::ResetMemToMem() {
  memToMem_ = {};
  memToMem_.recordSize = kMemToMemRecordSize;
  memToMem_.callback = MemToMemAdapter;
  memToMem_.userData = this;
  return memToMem_;
}

TZipFile::TZipFile() : entry_(reinterpret_cast<DzipEntry>(DzipLibrary().Acquire())) {}

TZipFile::~TZipFile() {
  if (entry_) DzipLibrary().Release();
}

bool TZipFile::Execute(int32_t function) {
  if (function == 0) return false;
  BuildRecord(function);
  return EndRun(entry_ ? entry_(&params_) : -1, LastResult);
}

void TZipFile::BuildRecord(int32_t function) {
  using F = TZipFlag;
  using Z = TZipFormat;
  ZipParams& p = params_;
  p = {};
  p.recordSize = kZipRecordSize;
  p.compFactor = CompFactor;
  AttachCallbacks(p, Reserved);

  p.dosify = Flag(ZipFormats, Z::DosifyFlag);
  p.recurse = Flag(Options, F::RecurseFlag);
  p.quiet = Flag(ZipFormats, Z::QuietFlag);
  p.pathForTemp = Flag(Options, F::PathForTempFlag);
  p.fix = Flag(Options, F::FixFlag);
  p.fixHarder = Flag(Options, F::FixHarderFlag);
  p.includeVolume = Flag(Options, F::IncludeVolumeFlag);
  p.deleteOriginal = Flag(Options, F::DeleteOriginalFlag);
  p.growExisting = Flag(Options, F::GrowExistingFlag);
  p.noDirectoryNames = Flag(Options, F::NoDirectoryNamesFlag);
  p.convertLfToCrlf = Flag(ZipFormats, Z::ConvertLFtoCRLFFlag);
  p.addComment = Flag(Options, F::AddCommentFlag);
  p.afterDate = Flag(Options, F::AfterDateFlag);
  p.oldAsLatest = Flag(Options, F::OldAsLatestFlag);
  p.includeOnlyFollowing = Flag(Options, F::IncludeOnlyFollowingFlag);
  p.excludeFollowing = Flag(Options, F::ExcludeFollowingFlag);
  p.noDirectoryEntries = Flag(Options, F::NoDirectoryEntriesFlag);
  p.includeSysHidden = Flag(Options, F::IncludeSysHiddenFlag);
  p.dontCompressTheseSuffixes = Flag(ZipFormats, Z::DontCompressTheseSuffixesFlag);
  p.diagnostic = Flag(Options, F::bDiagnostic);
  p.encrypt = Flag(ZipFormats, Z::EncryptFlag);
  p.largeZipFiles = Flag(Options, F::LargeZIPFilesFlag);
  p.multiVolumeWord = MultiVolumeWord(wMultiVolControl);
  p.subOptionWord = ZipSubOptionWord(wZipSubOptions);

  p.zipFile = lpszZipFile.Text();
  p.itemList = lpszItemList.Text();
  p.tempPath = lpszTempPath.Text();
  p.comment = lpszComment.Text();
  p.date = lpszDate.Text();
  p.includeFollowing = lpszIncludeFollowing.Text();
  p.excludeFollowingList = lpszExcludeFollowing.Text();
  p.storeSuffixes = lpszStoreSuffixes.Text();
  p.encryptCode = lpszEncryptCode.Text();
  p.extProgTitle = lpszExtProgTitle.Text();
  p.function = function;
}

TUnzipFile::TUnzipFile()
    : entry_(reinterpret_cast<DunzipEntry>(DunzipLibrary().Acquire())),
      itemInfoBuffer_(new uint8_t[kItemInfoBufferSize]()),
      itemInfo_(new ZipItemInfo()) {}

TUnzipFile::~TUnzipFile() {
  if (entry_) DunzipLibrary().Release();
}

bool TUnzipFile::Execute(int32_t function) {
  if (function == 0) return false;
  if (function == kUnzipFunctionReturnString) lpszReturnString.SetSize(static_cast<uint16_t>((ReturnCount & 0xFFFF) + 1));
  BuildRecord(function);
  if (!EndRun(entry_ ? entry_(&params_) : -1, LastResult)) return false;
  ReturnCount = params_.returnCount;
  CopyItemInfo();
  return true;
}

void TUnzipFile::BuildRecord(int32_t function) {
  using F = TUnzipFlag;
  UnzipParams& p = params_;
  p = {};
  p.recordSize = kUnzipRecordSize;
  AttachCallbacks(p, Reserved);

  p.freshen = Flag(Options, F::FreshenFlag);
  p.update = Flag(Options, F::UpdateFlag);
  p.overWrite = Flag(Options, F::OverWriteFlag);
  p.quiet = Flag(Options, F::QuietFlag);
  p.test = Flag(Options, F::TestFlag);
  p.noDirectoryNames = Flag(Options, F::NoDirectoryNamesFlag);
  p.recurse = Flag(Options, F::RecurseFlag);
  p.noDirectoryItems = Flag(Options, F::NoDirectoryItemsFlag);
  p.diagnostic = Flag(Options, F::bDiagnostic);
  p.lf2Crlf = Flag(Options, F::bLF2CRLFFlag);
  p.decrypt = Flag(Options, F::DecryptFlag);
  p.subOptionWord = UnzipSubOptionWord(wUnzipSubOptions);

  p.zipFile = lpszZipFile.Text();
  p.fileSpec = lpszFileSpec.Text();
  p.indexOfItem = IndexofItem;
  p.destination = lpszDestination.Text();
  p.returnCount = ReturnCount;
  p.returnString = lpszReturnString.Buffer();
  p.decryptCode = lpszDecryptCode.Text();
  p.extProgTitle = lpszExtProgTitle.Text();
  const int32_t bufferSize = static_cast<int32_t>(kItemInfoBufferSize);
  std::memcpy(itemInfoBuffer_.get(), &bufferSize, sizeof bufferSize);
  p.itemInfoBuffer = itemInfoBuffer_.get();
  p.function = function;
}

void TUnzipFile::CopyItemInfo() {
  const uint8_t* buffer = itemInfoBuffer_.get();
  ZipItemInfo& info = *itemInfo_;
  info.word4 = LoadAt<uint16_t>(buffer, 4);
  info.dword8 = LoadAt<uint32_t>(buffer, 8);
  info.dword16 = LoadAt<uint32_t>(buffer, 16);
  info.word32 = LoadAt<uint16_t>(buffer, 32);
  info.word34 = LoadAt<uint16_t>(buffer, 34);
  info.word36 = LoadAt<uint16_t>(buffer, 36);
  info.dword28 = LoadAt<uint32_t>(buffer, 28);
  CopyText(info.text38, buffer, 38, 17);
  CopyText(info.text70, buffer, 70, 259);
  info.dword24 = LoadAt<uint32_t>(buffer, 24);
  info.dword2118 = LoadAt<uint32_t>(buffer, 2118);
  info.dword2122 = LoadAt<uint32_t>(buffer, 2122);
}

}  // namespace kvx
