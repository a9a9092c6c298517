// The zip components: TZipFile runs "dzip", TUnzipFile runs "dunzip". Each rebuilds
// its parameter record from its properties on every Execute, and turns the libraries'
// plain callbacks into its events. Used from one thread at a time.
//
// The events run inside the library's frames, which no exception may cross (the i686
// build unwinds with each module's own tables: it would end the process). A handler that
// throws is caught in its adapter; from then on every status callback asks the library
// to cancel, no handler runs again, and Execute fails with the exception's text.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/lpstr.h"
#include "archive/zip_options.h"
#include "archive/zip_records.h"

namespace kvx {

using TStatusCallback = std::function<void(const char* szItem, int32_t percent, bool& doCancel)>;
using TMessageCallback = std::function<void(uint16_t msgId, uint16_t mbType, int32_t p1, int32_t p2,
                                            const char* lpsz1, const char* lpsz2, int32_t& rtnResult)>;
using TRenameCallback = std::function<void(void* dzr)>;
using TMemToMemCallback =
    std::function<void(int32_t lAction, char* lpMemBuf, int32_t* pdwSize, int32_t dwTotalReadL, int32_t dwTotalReadH,
                       int32_t dwTotalWrittenL, int32_t dwTotalWrittenH, int32_t* plRet)>;

class TZipComponent {
 public:
  virtual ~TZipComponent() = default;

  TStatusCallback OnMajorCallback;
  TStatusCallback OnMinorCallback;
  TMessageCallback OnMessageCallback;
  TRenameCallback OnRenameCallback;
  TMemToMemCallback OnMemToMem;

  // Assigning another holder to an lpsz... property is refused with an information box;
  // text goes in through the holder's SetText.
  void AssignHolder(TLPStr& property, const TLPStr& value);

  // Why the last Execute failed: the text of the exception a handler threw, or the
  // library's result.
  const std::string& LastError() const { return lastError_; }
  // Whether the last Execute failed because a handler threw.
  bool HandlerFailed() const { return handlerFailed_; }

  // The adapters whose addresses go into the records; the user data is the component.
  static int32_t KVX_ZIP_CALL MajorStatusAdapter(const char* item, int32_t percent, void* component) noexcept;
  static int32_t KVX_ZIP_CALL MinorStatusAdapter(const char* item, int32_t percent, void* component) noexcept;
  static int32_t KVX_ZIP_CALL MessageAdapter(int32_t msgId, int32_t mbType, int32_t p1, int32_t p2,
                                             const char* text1, const char* text2, void* component) noexcept;
  static int32_t KVX_ZIP_CALL RenameAdapter(void* renameRecord, void* component) noexcept;
  static int32_t KVX_ZIP_CALL MemToMemAdapter(int32_t action, char* memBuf, int32_t* size, int32_t totalReadL,
                                              int32_t totalReadH, int32_t totalWrittenL, int32_t totalWrittenH,
                                              void* component, int32_t* result) noexcept;

 protected:
  // The reserved values, the four callback adapters with this component as their user
  // data, and a fresh memory-to-memory record: the fields both records share.
  template <typename Record>
  void AttachCallbacks(Record& record, const std::array<int32_t, 3>& reserved) {
    record.reserved1 = reserved[0];
    record.reserved2 = reserved[1];
    record.reserved3 = reserved[2];
    record.majorStatus = MajorStatusAdapter;
    record.majorUserData = this;
    record.minorStatus = MinorStatusAdapter;
    record.minorUserData = this;
    record.messageCallback = MessageAdapter;
    record.messageUserData = this;
    record.renameCallback = RenameAdapter;
    record.renameUserData = this;
    record.memToMem = &ResetMemToMem();
    handlerFailed_ = false;
    lastError_.clear();
  }

  // Keeps the library's result; true when it is 0 and no handler threw during the run.
  bool EndRun(int32_t result, int32_t& lastResult);

 private:
  ZipMemToMemRecord& ResetMemToMem();
  // Runs one handler unless an earlier one threw; false when it throws now or did before.
  template <typename Call>
  bool RunHandler(Call&& call) noexcept;
  int32_t RunStatus(const TStatusCallback& handler, const char* item, int32_t percent) noexcept;

  ZipMemToMemRecord memToMem_{};
  bool handlerFailed_ = false;
  std::string lastError_;
};

class TZipFile : public TZipComponent {
 public:
  TZipFile();
  ~TZipFile() override;
  TZipFile(const TZipFile&) = delete;
  TZipFile& operator=(const TZipFile&) = delete;

  int32_t CompFactor = 5;
  EnumSet<TZipFormat> ZipFormats;
  EnumSet<TMultiVolFlag> wMultiVolControl;
  EnumSet<TZipSubOption> wZipSubOptions;
  TLPStr lpszZipFile;
  TLPStr lpszItemList;
  EnumSet<TZipFlag> Options;
  TLPStr lpszEncryptCode, lpszExtProgTitle, lpszTempPath, lpszComment, lpszDate, lpszIncludeFollowing,
      lpszExcludeFollowing, lpszStoreSuffixes;

  int32_t LastResult = 0;
  std::array<int32_t, 3> Reserved{};  // copied into the record; left at 0

  // Runs the library function; true when it returned 0. Code 0 does nothing.
  bool Execute(int32_t function);

 private:
  void BuildRecord(int32_t function);

  ZipParams params_{};
  DzipEntry entry_ = nullptr;
};

// The member information the library leaves in ItemInfoBuffer, copied after each
// successful call. Fields are named after their offset in that buffer: what they mean
// is the library's business, the program does not read them.
#pragma pack(push, 1)
struct ZipItemInfo {
  uint16_t word4;
  uint32_t dword8;
  uint32_t dword16;
  uint16_t word32;
  uint16_t word34;
  uint16_t word36;
  uint32_t dword28;
  char text38[18];
  char text70[260];
  uint32_t dword24;
  uint32_t dword2118;
  uint32_t dword2122;
};
#pragma pack(pop)
static_assert(sizeof(ZipItemInfo) == kItemInfoSize);
static_assert(offsetof(ZipItemInfo, text38) == 20 && offsetof(ZipItemInfo, text70) == 38);
static_assert(offsetof(ZipItemInfo, dword24) == 298 && offsetof(ZipItemInfo, dword2122) == 306);

class TUnzipFile : public TZipComponent {
 public:
  TUnzipFile();
  ~TUnzipFile() override;
  TUnzipFile(const TUnzipFile&) = delete;
  TUnzipFile& operator=(const TUnzipFile&) = delete;

  TLPStr lpszZipFile;
  TLPStr lpszFileSpec;
  int32_t IndexofItem = 0;
  TLPStr lpszDestination;
  EnumSet<TUnzipFlag> Options;
  TLPStr lpszDecryptCode;
  EnumSet<TUnzipSubOption> wUnzipSubOptions;
  TLPStr lpszExtProgTitle;
  TLPStr lpszReturnString;

  int32_t LastResult = 0;
  int32_t ReturnCount = 0;  // sent to the library, replaced by its answer on success
  std::array<int32_t, 3> Reserved{};

  const ZipItemInfo& ItemInfo() const { return *itemInfo_; }
  const uint8_t* ItemInfoBuffer() const { return itemInfoBuffer_.get(); }

  // Runs the library function; true when it returned 0. Code 0 does nothing; code 6
  // first sizes lpszReturnString to ReturnCount (low 16 bits) + 1.
  bool Execute(int32_t function);

 private:
  void BuildRecord(int32_t function);
  void CopyItemInfo();

  UnzipParams params_{};
  DunzipEntry entry_ = nullptr;
  std::unique_ptr<uint8_t[]> itemInfoBuffer_;
  std::unique_ptr<ZipItemInfo> itemInfo_;
};

}  // namespace kvx
