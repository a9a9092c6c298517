// The records that cross the boundary of the zip libraries KVXZIP.DLL ("dzip") and
// KVXUNZIP.DLL ("dunzip"), their callbacks, function codes and message identifiers.
// Shared by the binding and by the library stand-ins, so both sides always agree.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#  define KVX_ZIP_CALL __stdcall
#else
#  define KVX_ZIP_CALL
#endif

namespace kvx {

// Status callback (major and minor): item name, percentage, user data; non-zero asks to cancel.
using ZipStatusCallback = int32_t(KVX_ZIP_CALL*)(const char* item, int32_t percent, void* userData);
// Message callback: identifier and box type (low 16 bits used), two numbers, two texts,
// user data; the answer goes back to the library.
using ZipMessageCallback = int32_t(KVX_ZIP_CALL*)(int32_t msgId, int32_t mbType, int32_t p1, int32_t p2,
                                                  const char* text1, const char* text2, void* userData);
// Rename callback: the library's rename record, passed through untouched.
using ZipRenameCallback = int32_t(KVX_ZIP_CALL*)(void* renameRecord, void* userData);
// Memory-to-memory callback; the answer goes through result.
using ZipMemToMemCallback = int32_t(KVX_ZIP_CALL*)(int32_t action, char* memBuf, int32_t* size, int32_t totalReadL,
                                                   int32_t totalReadH, int32_t totalWrittenL,
                                                   int32_t totalWrittenH, void* userData, int32_t* result);

#pragma pack(push, 1)

// Memory-to-memory record: one per component, its address goes into the main records.
struct ZipMemToMemRecord {
  int32_t recordSize;  // 28
  ZipMemToMemCallback callback;
  void* userData;
  uint8_t reserved[16];
};

// Parameter record of "dzip". Booleans are 32-bit: -1 set, 0 clear; texts are
// NUL-terminated 8-bit strings or null.
struct ZipParams {
  int32_t recordSize;  // 220
  int32_t function;
  const char* zipFile;
  const char* itemList;
  ZipStatusCallback majorStatus;
  void* majorUserData;
  ZipStatusCallback minorStatus;
  void* minorUserData;
  int32_t dosify;
  int32_t recurse;
  int32_t compFactor;
  int32_t quiet;
  int32_t pathForTemp;
  const char* tempPath;
  int32_t fix;
  int32_t fixHarder;
  int32_t includeVolume;
  int32_t deleteOriginal;
  int32_t growExisting;
  int32_t noDirectoryNames;
  int32_t convertLfToCrlf;
  int32_t addComment;
  const char* comment;
  int32_t afterDate;
  const char* date;
  int32_t oldAsLatest;
  int32_t includeOnlyFollowing;
  const char* includeFollowing;
  int32_t excludeFollowing;
  const char* excludeFollowingList;
  int32_t noDirectoryEntries;
  int32_t includeSysHidden;
  int32_t dontCompressTheseSuffixes;
  const char* storeSuffixes;
  int32_t diagnostic;
  int32_t encrypt;
  const char* encryptCode;
  ZipMessageCallback messageCallback;
  void* messageUserData;
  uint16_t multiVolumeWord;
  uint16_t subOptionWord;
  ZipMemToMemRecord* memToMem;
  int32_t unused164;
  ZipRenameCallback renameCallback;
  void* renameUserData;
  const char* extProgTitle;
  int32_t reserved1;
  int32_t reserved2;
  int32_t largeZipFiles;
  int32_t reserved3;
  uint8_t tail[24];
};

// Parameter record of "dunzip"; the fields from subOptionWord on are not 4-byte aligned.
struct UnzipParams {
  int32_t recordSize;  // 170
  int32_t function;
  const char* zipFile;
  int32_t unused12;
  const char* fileSpec;
  int32_t indexOfItem;
  const char* destination;
  int32_t freshen;
  int32_t update;
  int32_t overWrite;
  int32_t quiet;
  int32_t test;
  int32_t noDirectoryNames;
  int32_t recurse;
  int32_t noDirectoryItems;
  ZipStatusCallback minorStatus;
  void* minorUserData;
  ZipStatusCallback majorStatus;
  void* majorUserData;
  int32_t returnCount;  // in; the library's answer out
  char* returnString;
  int32_t diagnostic;
  int32_t lf2Crlf;
  int32_t decrypt;
  const char* decryptCode;
  ZipMessageCallback messageCallback;
  void* messageUserData;
  uint16_t subOptionWord;
  ZipMemToMemRecord* memToMem;
  int32_t unused114;
  ZipRenameCallback renameCallback;
  void* renameUserData;
  const char* extProgTitle;
  int32_t reserved1;
  int32_t reserved2;
  int32_t reserved3;
  uint8_t* itemInfoBuffer;  // first 32-bit word: its size, 2150
  uint8_t tail[24];
};

#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
// The published 32-bit layouts.
static_assert(sizeof(ZipMemToMemRecord) == 28);
static_assert(sizeof(ZipParams) == 220);
static_assert(offsetof(ZipParams, messageCallback) == 148);
static_assert(offsetof(ZipParams, multiVolumeWord) == 156);
static_assert(offsetof(ZipParams, subOptionWord) == 158);
static_assert(offsetof(ZipParams, memToMem) == 160);
static_assert(offsetof(ZipParams, renameCallback) == 168);
static_assert(offsetof(ZipParams, largeZipFiles) == 188);
static_assert(offsetof(ZipParams, tail) == 196);
static_assert(sizeof(UnzipParams) == 170);
static_assert(offsetof(UnzipParams, returnCount) == 76);
static_assert(offsetof(UnzipParams, subOptionWord) == 108);
static_assert(offsetof(UnzipParams, memToMem) == 110);
static_assert(offsetof(UnzipParams, renameCallback) == 118);
static_assert(offsetof(UnzipParams, itemInfoBuffer) == 142);
static_assert(offsetof(UnzipParams, tail) == 146);
#else
// Same field order with 8-byte pointers: 19 pointer fields in the zip record, 16 in the unzip one.
static_assert(sizeof(ZipMemToMemRecord) == 28 + 2 * 4);
static_assert(sizeof(ZipParams) == 220 + 19 * 4);
static_assert(sizeof(UnzipParams) == 170 + 16 * 4);
#endif

inline constexpr int32_t kZipRecordSize = 220;
inline constexpr int32_t kUnzipRecordSize = 170;
inline constexpr int32_t kMemToMemRecordSize = 28;
inline constexpr size_t kItemInfoBufferSize = 2150;
inline constexpr size_t kItemInfoSize = 310;

// Function codes the program uses.
inline constexpr int32_t kZipFunctionAdd = 4;
inline constexpr int32_t kUnzipFunctionCount = 1;
inline constexpr int32_t kUnzipFunctionReturnString = 6;
inline constexpr int32_t kUnzipFunctionExtract = 8;

// Message identifiers of the extraction library.
inline constexpr int32_t kUnzipMsgCannotOpen = 2;
inline constexpr int32_t kUnzipMsgCannotRead = 3;
inline constexpr int32_t kUnzipMsgCannotWrite = 4;
inline constexpr int32_t kUnzipMsgCannotExtract = 11;

// Entry points.
using DzipEntry = int32_t(KVX_ZIP_CALL*)(ZipParams* params);
using DunzipEntry = int32_t(KVX_ZIP_CALL*)(UnzipParams* params);

}  // namespace kvx
