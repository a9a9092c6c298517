#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>

#include "archive/zip_component.h"
#include "archive/zip_library.h"
#include "base/exception_text.h"
#include "tests/archive/zip_test_system.h"

namespace kvx {
namespace {

using kvxtest::InstallZipTestSystem;
using kvxtest::ZipTestSystem;

class Binding : public ::testing::Test {
 protected:
  void SetUp() override {
    system_ = &InstallZipTestSystem();
    system_->dzip = [this](ZipParams* p) {
      zip_ = *p;
      memToMem_ = *p->memToMem;
      return result_;
    };
    system_->dunzip = [this](UnzipParams* p) {
      unzip_ = *p;
      p->returnCount = 1234;
      std::memset(p->itemInfoBuffer + 4, 0, kItemInfoBufferSize - 4);
      p->itemInfoBuffer[4] = 0x34;
      p->itemInfoBuffer[5] = 0x12;
      std::memcpy(p->itemInfoBuffer + 38, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 27);
      std::memcpy(p->itemInfoBuffer + 70, "FIC01/CLIENTS.FIC", 18);
      p->itemInfoBuffer[2122] = 7;
      return result_;
    };
  }
  void TearDown() override { SetZipLibrarySystem(nullptr); }

  ZipTestSystem* system_ = nullptr;
  int32_t result_ = 0;
  ZipParams zip_{};
  ZipMemToMemRecord memToMem_{};
  UnzipParams unzip_{};
};

TEST_F(Binding, ZipRecordCarriesEveryPropertyInItsField) {
  TZipFile zip;
  zip.CompFactor = 9;
  zip.Reserved = {11, 22, 33};
  zip.ZipFormats = {TZipFormat::DosifyFlag, TZipFormat::QuietFlag};
  zip.Options = {TZipFlag::RecurseFlag, TZipFlag::PathForTempFlag, TZipFlag::LargeZIPFilesFlag};
  zip.wZipSubOptions = {TZipSubOption::ZSO_RELATIVEPATH, TZipSubOption::ZSO_INHIBIT_PUMP, TZipSubOption::ZSO_ANSI_NAMES};
  zip.wMultiVolControl = {TMultiVolFlag::MV_USEMULTI, TMultiVolFlag::MV_SUBDIR, TMultiVolFlag::MV_WIPE};
  zip.lpszZipFile.SetText("A:\\SAUVEKVX.ZIP");
  zip.lpszItemList.SetText("C:\\KVX\\FIC01\\*.FIC");
  ASSERT_TRUE(zip.Execute(4));

  EXPECT_EQ(+zip_.recordSize, 220);
  EXPECT_EQ(+zip_.function, 4);
  EXPECT_STREQ(zip_.zipFile, "A:\\SAUVEKVX.ZIP");
  EXPECT_EQ(+zip_.itemList, zip.lpszItemList.Text());
  EXPECT_EQ(+zip_.tempPath, nullptr);  // never set: a null pointer, not an empty text
  EXPECT_EQ(+zip_.comment, nullptr);
  EXPECT_EQ(+zip_.compFactor, 9);
  EXPECT_EQ((std::array{zip_.reserved1, zip_.reserved2, zip_.reserved3}), (std::array{11, 22, 33}));
  EXPECT_EQ(+zip_.dosify, -1);
  EXPECT_EQ(+zip_.quiet, -1);
  EXPECT_EQ(+zip_.recurse, -1);
  EXPECT_EQ(+zip_.pathForTemp, -1);
  EXPECT_EQ(+zip_.largeZipFiles, -1);
  EXPECT_EQ(+zip_.encrypt, 0);
  EXPECT_EQ(+zip_.growExisting, 0);
  EXPECT_EQ(+zip_.subOptionWord, 0x4801);
  EXPECT_EQ(+zip_.multiVolumeWord, 0x8300);
  EXPECT_EQ(+zip_.majorUserData, &zip);
  EXPECT_EQ(+zip_.messageUserData, &zip);
  EXPECT_EQ(+zip_.unused164, 0);
  EXPECT_EQ(+memToMem_.recordSize, 28);
  EXPECT_EQ(+memToMem_.userData, &zip);
  EXPECT_EQ(+memToMem_.callback, &TZipComponent::MemToMemAdapter);
  for (uint8_t byte : zip_.tail) EXPECT_EQ(byte, 0);
  EXPECT_EQ(zip.LastResult, 0);
}

TEST_F(Binding, ResultCodesAndFunctionZero) {
  TZipFile zip;
  result_ = 12;
  EXPECT_FALSE(zip.Execute(4));
  EXPECT_EQ(zip.LastResult, 12);
  result_ = 0;
  zip_.function = -5;
  EXPECT_FALSE(zip.Execute(0));
  EXPECT_EQ(+zip_.function, -5);  // the library was not called
  EXPECT_EQ(zip.LastResult, 12);
}

TEST_F(Binding, UnzipRecordAndTheCopiesTakenAfterSuccess) {
  TUnzipFile unzip;
  unzip.lpszZipFile.SetText("C:\\SAUVE.ZIP");
  unzip.lpszFileSpec.SetText("*.*");
  unzip.lpszDestination.SetText("C:\\KVX\\FIC01");
  unzip.IndexofItem = 3;
  unzip.ReturnCount = 77;
  unzip.Options = {TUnzipFlag::OverWriteFlag, TUnzipFlag::QuietFlag, TUnzipFlag::RecurseFlag};
  unzip.wUnzipSubOptions = {TUnzipSubOption::USO_INHIBIT_PUMP, TUnzipSubOption::USO_LEAVEPARTIAL,
                            TUnzipSubOption::USO_MVFROMHD};
  result_ = 3;
  EXPECT_FALSE(unzip.Execute(1));
  EXPECT_EQ(unzip.ReturnCount, 77);  // a failing call changes neither
  EXPECT_EQ(+unzip.ItemInfo().word4, 0);

  result_ = 0;
  ASSERT_TRUE(unzip.Execute(8));
  EXPECT_EQ(+unzip_.recordSize, 170);
  EXPECT_EQ(+unzip_.function, 8);
  EXPECT_STREQ(unzip_.zipFile, "C:\\SAUVE.ZIP");
  EXPECT_STREQ(unzip_.fileSpec, "*.*");
  EXPECT_STREQ(unzip_.destination, "C:\\KVX\\FIC01");
  EXPECT_EQ(+unzip_.decryptCode, nullptr);
  EXPECT_EQ(+unzip_.indexOfItem, 3);
  EXPECT_EQ(+unzip_.returnCount, 77);
  EXPECT_EQ((std::array{unzip_.overWrite, unzip_.quiet, unzip_.recurse, unzip_.freshen, unzip_.test}),
            (std::array{-1, -1, -1, 0, 0}));
  EXPECT_EQ(+unzip_.subOptionWord, 0x6040);
  EXPECT_EQ(+unzip_.itemInfoBuffer, unzip.ItemInfoBuffer());
  int32_t bufferSize = 0;
  std::memcpy(&bufferSize, unzip.ItemInfoBuffer(), 4);
  EXPECT_EQ(bufferSize, 2150);
  EXPECT_EQ(unzip.ReturnCount, 1234);
  EXPECT_EQ(+unzip.ItemInfo().word4, 0x1234);
  EXPECT_STREQ(unzip.ItemInfo().text38, "ABCDEFGHIJKLMNOPQ");  // at most 17 characters
  EXPECT_STREQ(unzip.ItemInfo().text70, "FIC01/CLIENTS.FIC");
  EXPECT_EQ(+unzip.ItemInfo().dword2122, 7u);
}

TEST_F(Binding, FunctionSixSizesTheReturnString) {
  TUnzipFile unzip;
  unzip.ReturnCount = 0x10005;
  ASSERT_TRUE(unzip.Execute(6));
  EXPECT_EQ(unzip.lpszReturnString.Capacity(), 6);
  EXPECT_EQ(+unzip_.returnString, unzip.lpszReturnString.Text());
}

TEST_F(Binding, AdaptersCallTheEventsAndReportCancel) {
  TZipFile zip;
  EXPECT_EQ(TZipComponent::MajorStatusAdapter("A", 5, &zip), 0);  // no handler
  std::vector<int32_t> seen;
  zip.OnMajorCallback = [&](const char*, int32_t percent, bool& cancel) {
    seen.push_back(percent);
    cancel = percent > 50;
  };
  EXPECT_EQ(TZipComponent::MajorStatusAdapter("A", 7, &zip), 0);
  EXPECT_EQ(TZipComponent::MajorStatusAdapter("A", 60, &zip), -1);
  EXPECT_EQ(TZipComponent::MinorStatusAdapter("A", 60, &zip), 0);
  EXPECT_EQ(seen, (std::vector<int32_t>{7, 60}));

  EXPECT_EQ(TZipComponent::MessageAdapter(0x50003, 0x10002, 1, 2, "x", "y", &zip), 0);
  zip.OnMessageCallback = [&](uint16_t id, uint16_t type, int32_t, int32_t, const char*, const char*, int32_t& rtn) {
    rtn = id * 100 + type;
  };
  EXPECT_EQ(TZipComponent::MessageAdapter(0x50003, 0x10002, 1, 2, "x", "y", &zip), 302);

  int renamed = 0;
  zip.OnRenameCallback = [&](void* record) { renamed = *static_cast<int*>(record); };
  int record = 99;
  EXPECT_EQ(TZipComponent::RenameAdapter(&record, &zip), 0);
  EXPECT_EQ(renamed, 99);

  zip.OnMemToMem = [](int32_t action, char*, int32_t* size, int32_t, int32_t, int32_t, int32_t, int32_t* ret) {
    *ret = action + *size;
  };
  int32_t size = 5, ret = 0;
  TZipComponent::MemToMemAdapter(10, nullptr, &size, 0, 0, 0, 0, &zip, &ret);
  EXPECT_EQ(ret, 15);
}

// The handlers run inside the library's frames, which on i686 no exception may cross:
// a throwing handler gets the library the answer that cancels, and the run fails with
// the handler's text even when the library goes on to the end.
TEST_F(Binding, ThrowingHandlersCancelTheRunAndKeepTheirText) {
  const auto fail = [](const char*, int32_t, bool&) { throw std::runtime_error("gauge gone"); };
  const auto failMessage = [](uint16_t, uint16_t, int32_t, int32_t, const char*, const char*, int32_t&) { throw 7; };
  std::vector<int32_t> answers;
  system_->dzip = [&](ZipParams* p) {
    answers = {p->messageCallback(3, 0, 0, 0, "a", "b", p->messageUserData),
               p->majorStatus("A", 5, p->majorUserData), p->minorStatus("A", 5, p->minorUserData)};
    return 0;
  };
  struct Case {
    std::function<void(TZipComponent&)> arm;
    const char* text;
    std::vector<int32_t> answers;  // message, major, minor
  };
  const Case cases[] = {
      {[&](TZipComponent& zip) { zip.OnMajorCallback = fail; }, "gauge gone", {0, -1, -1}},
      {[&](TZipComponent& zip) { zip.OnMinorCallback = fail; }, "gauge gone", {0, 0, -1}},
      {[&](TZipComponent& zip) { zip.OnMessageCallback = failMessage; }, kUnknownExceptionText, {0, -1, -1}},
  };
  for (const Case& c : cases) {
    TZipFile zip;
    c.arm(zip);
    bool done = true;
    EXPECT_NO_THROW(done = zip.Execute(4));
    EXPECT_FALSE(done);
    EXPECT_EQ(zip.LastError(), c.text);
    EXPECT_EQ(answers, c.answers);
    zip.OnMajorCallback = zip.OnMinorCallback = nullptr;  // the next run starts clean
    zip.OnMessageCallback = nullptr;
    EXPECT_TRUE(zip.Execute(4));
    EXPECT_EQ(answers, (std::vector<int32_t>{0, 0, 0}));
  }

  TUnzipFile unzip;
  unzip.OnMajorCallback = fail;
  system_->dunzip = [](UnzipParams* p) { return p->majorStatus("A", 5, p->majorUserData) == -1 ? 8 : 0; };
  bool done = true;
  EXPECT_NO_THROW(done = unzip.Execute(1));
  EXPECT_FALSE(done);
  EXPECT_EQ(unzip.LastError(), "gauge gone");
}

TEST_F(Binding, HoldersRefuseDirectAssignment) {
  TZipFile zip;
  zip.lpszZipFile.SetText("KEEP.ZIP");
  TLPStr other;
  other.SetText("OTHER.ZIP");
  zip.AssignHolder(zip.lpszZipFile, other);
  EXPECT_STREQ(zip.lpszZipFile.Text(), "KEEP.ZIP");
  EXPECT_EQ(system_->informs, std::vector<std::string>{"Cannot Directly assign a value to type LPSTR.  Use SetText"});
}

TEST_F(Binding, OneReferencePerLiveComponent) {
  {
    TZipFile first;
    TZipFile second;
    TUnzipFile third;
    EXPECT_EQ(system_->loads, 3);
    EXPECT_NE(DzipLibrary().Entry(), nullptr);
    EXPECT_EQ(system_->releases, 0);
  }
  EXPECT_EQ(system_->releases, 3);
  EXPECT_EQ(DzipLibrary().Entry(), nullptr);
}

TEST_F(Binding, MissingLibrariesWarnAndEndTheProgram) {
  const std::pair<const char*, const char*> cases[] = {{"KVXZIP.DLL", ""}, {"", "dzip"}, {"KVXUNZIP.DLL", ""},
                                                       {"", "dunzip"}};
  const char* texts[] = {"Could not load KVXZIP.DLL!", "Could not load dzip function!",
                         "Could not load KVXUNZIP.DLL!", "Could not load dunzip function!"};
  for (size_t i = 0; i < 4; ++i) {
    system_->missingLibrary = cases[i].first;
    system_->missingEntry = cases[i].second;
    system_->warnings.clear();
    system_->exits.clear();
    if (i < 2) {
      TZipFile zip;
      EXPECT_FALSE(zip.Execute(4));
    } else {
      TUnzipFile unzip;
      EXPECT_FALSE(unzip.Execute(1));
    }
    EXPECT_EQ(system_->warnings, std::vector<std::string>{texts[i]});
    EXPECT_EQ(system_->exits, std::vector<int>{1});
  }
  EXPECT_EQ(system_->loads, system_->releases);  // a found library without its entry is let go
}

}  // namespace
}  // namespace kvx
