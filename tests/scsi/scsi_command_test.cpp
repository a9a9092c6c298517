// The command descriptor blocks of every operation, byte for byte, with their
// direction, transfer length and time-out; the rules of ExecSCSICommand.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "scsi/sense_text.h"
#include "tests/scsi/scripted_unit.h"

namespace kvx::scsi::testing {
namespace {

using Bytes = std::vector<uint8_t>;

struct CDBCase {
  const char* name;
  std::function<void(TSCSIDevice&)> call;
  Bytes cdb;  // up to 16 bytes; the rest must be 0
  uint8_t flags;
  uint8_t cdbLength;
  uint32_t bufLen;
  uint32_t waitMs;
};

class CommandBlocks : public ScriptedUnitTest {};

TEST_F(CommandBlocks, EveryOperationSendsItsExactBlock) {
  std::vector<uint8_t> b40(40), b26(26), b4(4), b114(114), b56(56), b255(255), b6144(6144);
  const std::vector<uint8_t> list12 = {0x00, 0x82, 0x00, 0x08, 0x00, 0x22, 0x21, 0x20, 0x00, 0x00, 0x08, 0x00};
  const std::vector<uint8_t> write(63488, 0xA5), select60(60), cue24(24), stream28(28), dvd22(22);
  uint32_t size, free;
  const std::vector<CDBCase> cases = {
      {"TEST UNIT READY", [](TSCSIDevice& d) { d.TestUnitReady(5000); }, {0x00}, 0x40, 6, 0, 10000},
      {"REZERO", [](TSCSIDevice& d) { d.RezeroUnit(); }, {0x01}, 0x40, 6, 0, 10000},
      {"REQUEST SENSE", [&](TSCSIDevice& d) { d.RequestSense(b40); }, {0x03, 0, 0, 0, 40, 0}, 0x48, 6, 40, 10000},
      {"FORMAT UNIT", [&](TSCSIDevice& d) { d.FormatUnit(0x11, list12); }, {0x04, 0x11}, 0x50, 6, 16, 10000},
      {"INQUIRY", [](TSCSIDevice& d) { d.Inquiry(); }, {0x12, 0, 0, 0, 0x80, 0}, 0x48, 6, 128, 10000},
      {"EJECT", [](TSCSIDevice& d) { d.LoadEject(true); }, {0x1B, 0, 0, 0, 0x02}, 0x40, 6, 0, 20000},
      {"LOAD", [](TSCSIDevice& d) { d.LoadEject(false); }, {0x1B, 0, 0, 0, 0x03}, 0x40, 6, 0, 20000},
      {"PREVENT", [](TSCSIDevice& d) { d.PreventAllowRemoval(false); }, {0x1E, 0, 0, 0, 0x01}, 0x40, 6, 0, 10000},
      {"ALLOW", [](TSCSIDevice& d) { d.PreventAllowRemoval(true); }, {0x1E}, 0x40, 6, 0, 10000},
      {"READ FORMAT CAPACITIES", [](TSCSIDevice& d) { d.ReadFormatCapacities(); },
       {0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0}, 0x48, 10, 248, 10000},
      {"READ (10)", [&](TSCSIDevice& d) { d.Read10(0x12345678, 3, b6144); },
       {0x28, 0, 0x12, 0x34, 0x56, 0x78, 0, 0, 0x03, 0}, 0x48, 10, 6144, 10000},
      {"WRITE (10)", [&](TSCSIDevice& d) { d.Write10(0x00ABCDEF, 31, 0x50, write); },
       {0x2A, 0, 0x00, 0xAB, 0xCD, 0xEF, 0, 0, 0x1F, 0}, 0x50, 10, 63488, 120000},
      {"SYNCHRONIZE CACHE immediate", [](TSCSIDevice& d) { d.SynchronizeCache(1800000, true); }, {0x35, 0x02}, 0x40, 10,
       0, 1800000},
      {"SYNCHRONIZE CACHE", [](TSCSIDevice& d) { d.SynchronizeCache(5000, false); }, {0x35, 0x00}, 0x40, 10, 0, 10000},
      {"READ TOC ATIP", [&](TSCSIDevice& d) { d.ReadTOC(TOCFormat::ATIP, b26, 0, true, 0); },
       {0x43, 0x02, 0x04, 0, 0, 0, 0, 0, 26, 0}, 0x48, 10, 26, 10000},
      {"READ TOC session", [&](TSCSIDevice& d) { d.ReadTOC(TOCFormat::SessionInformation, b4, 3, false, 0x40); },
       {0x43, 0x00, 0x01, 0, 0, 0, 0x03, 0, 4, 0x40}, 0x48, 10, 4, 10000},
      {"GET CONFIGURATION", [&](TSCSIDevice& d) { d.GetConfiguration(FeatureRequest::One, Feature::DVDPlusRW, b114); },
       {0x46, 0x02, 0x00, 0x2A, 0, 0, 0, 0, 0x72, 0}, 0x48, 10, 114, 30000},
      {"READ DISC INFORMATION", [&](TSCSIDevice& d) { d.ReadDiscInformation(b56); },
       {0x51, 0, 0, 0, 0, 0, 0, 0, 0x38, 0}, 0x48, 10, 56, 10000},
      {"READ TRACK INFORMATION", [](TSCSIDevice& d) { d.ReadTrackInformation(2); },
       {0x52, 0x01, 0, 0, 0, 0x02, 0, 0, 0x26, 0}, 0x48, 10, 38, 60000},
      {"RESERVE TRACK", [](TSCSIDevice& d) { d.ReserveTrack(0x00012345); },
       {0x53, 0, 0, 0, 0, 0x00, 0x01, 0x23, 0x45, 0}, 0x48, 10, 8, 10000},
      {"SEND OPC INFORMATION", [](TSCSIDevice& d) { d.SendOPCInformation(); }, {0x54, 0x01}, 0x40, 10, 0, 150000},
      {"MODE SELECT (10)", [&](TSCSIDevice& d) { d.ModeSelect10(select60); },
       {0x55, 0x10, 0, 0, 0, 0, 0, 0, 0x3C, 0}, 0x50, 10, 60, 10000},
      {"MODE SENSE defaults",
       [&](TSCSIDevice& d) { d.ModeSense10(ModePage::Capabilities, PageControl::Default, b255, 128); },
       {0x5A, 0, 0xAA, 0, 0, 0, 0, 0, 0x80, 0}, 0x48, 10, 128, 20000},
      {"MODE SENSE current",
       [&](TSCSIDevice& d) { d.ModeSense10(ModePage::WriteParameters, PageControl::Current, b255, 0x1FF); },
       {0x5A, 0, 0x05, 0, 0, 0, 0, 0x01, 0xFF, 0}, 0x48, 10, 0x1FF, 20000},
      {"CLOSE TRACK", [](TSCSIDevice& d) { d.CloseTrackSession(CloseFunction::Track, false); },
       {0x5B, 0x00, 0x01, 0, 0, 0xFF}, 0x40, 10, 0, 180000},
      {"CLOSE SESSION", [](TSCSIDevice& d) { d.CloseTrackSession(CloseFunction::Session, true); },
       {0x5B, 0x01, 0x02}, 0x40, 10, 0, 180000},
      {"FINALIZE", [](TSCSIDevice& d) { d.CloseTrackSession(CloseFunction::Finalize, true); },
       {0x5B, 0x01, 0x05}, 0x40, 10, 0, 180000},
      {"READ BUFFER CAPACITY", [&](TSCSIDevice& d) { d.ReadBufferCapacity(size, free); },
       {0x5C, 0, 0, 0, 0, 0, 0, 0, 0x20, 0}, 0x48, 10, 32, 10000},
      {"SEND CUE SHEET", [&](TSCSIDevice& d) { d.SendCueSheet(cue24); }, {0x5D, 0, 0, 0, 0, 0, 0, 0, 0x18, 0}, 0x50,
       10, 24, 30000},
      {"BLANK", [](TSCSIDevice& d) { d.Blank(BlankType::Minimal); }, {0xA1, 0x11}, 0x40, 12, 0, 4800000},
      {"SET STREAMING", [&](TSCSIDevice& d) { d.SetStreaming(stream28); },
       {0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1C, 0}, 0x50, 12, 28, 10000},
      {"SET CD SPEED", [](TSCSIDevice& d) { d.SetCDSpeed(8, 0); }, {0xBB, 0, 0x05, 0x88, 0xFF, 0xFF}, 0x40, 12, 0,
       10000},
      {"SET CD SPEED maximum", [](TSCSIDevice& d) { d.SetCDSpeed(0, 0); }, {0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF}, 0x40, 12,
       0, 10000},
      {"SEND DVD STRUCTURE", [&](TSCSIDevice& d) { d.SendDVDStructure(0x0F, dvd22); },
       {0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0x00, 0x16, 0, 0}, 0x50, 12, 22, 10000},
  };
  script.completion = UnitScript::Completion::WhenWaitedFor;
  for (const CDBCase& c : cases) {
    SCOPED_TRACE(c.name);
    script.Clear();
    c.call(*device);
    ASSERT_EQ(script.sent.size(), 1u);
    const SentRequest& sent = script.sent[0];
    std::array<uint8_t, 16> expected{};
    std::copy(c.cdb.begin(), c.cdb.end(), expected.begin());
    EXPECT_EQ(sent.cdb, expected);
    EXPECT_EQ(sent.flags, c.flags);
    EXPECT_EQ(sent.cdbLength, c.cdbLength);
    EXPECT_EQ(sent.bufLen, c.bufLen);
    EXPECT_EQ(sent.senseLength, 14);
    EXPECT_TRUE(sent.withEvent);
    EXPECT_EQ(script.waits, std::vector<uint32_t>{c.waitMs});
  }
}

TEST_F(CommandBlocks, DataOutBuffersGoOutAsGiven) {
  const std::vector<uint8_t> list = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x98, 0x00, 0x00, 0x00};
  device->FormatUnit(0x11, list);
  Bytes expected = list;
  expected.resize(16, 0);
  EXPECT_EQ(script.sent.back().dataOut, expected);

  // 5 March 2024, 14:07:09.
  device->SendTimeStamp(EncodeDateTime(CivilTime{2024, 3, 5, 14, 7, 9, 0}));
  const Bytes stamp = {0x00, 0x14, 0, 0, 0, 0, 0, 0, '2', '0', '2', '4', '0', '3', '0', '5', '1', '4', '0', '7', '0', '9'};
  EXPECT_EQ(script.sent.back().cdb[7], 0x0F);
  EXPECT_EQ(script.sent.back().dataOut, stamp);
}

TEST_F(CommandBlocks, TheUnitAddressAndItsLunGoIntoEveryRequest) {
  Respond([](SCSIRequest&) {});
  script.respond = [this](SCSIRequest& request) {
    if (request.CDBByte[0] == 0x12) FillInquiry(request, 0x05, inquiryIdentity);
  };
  Select("3:6:1,F: VENDOR  PRODUCT NAME    1.00");
  script.Clear();
  device->SynchronizeCache(120000, true);
  ASSERT_EQ(script.sent.size(), 1u);
  EXPECT_EQ(script.sent[0].haId, 3);
  EXPECT_EQ(script.sent[0].target, 6);
  EXPECT_EQ(script.sent[0].lun, 1);
  EXPECT_EQ(script.sent[0].cdb[1], 0x22);  // lun in bits 5-7, immediate bit kept
}

class ExecRules : public ScriptedUnitTest {};

TEST_F(ExecRules, TheWaitIsAtLeastTenSeconds) {
  script.completion = UnitScript::Completion::WhenWaitedFor;
  EXPECT_TRUE(device->TestUnitReady(5000));
  EXPECT_TRUE(device->SynchronizeCache(120000, false));
  EXPECT_EQ(script.waits, (std::vector<uint32_t>{10000, 120000}));
}

TEST_F(ExecRules, ARequestThatNeverCompletesIsAbortedAndFailsWithCommandTimeout) {
  script.completion = UnitScript::Completion::Never;
  std::vector<uint8_t> data(2048, 0x11);
  EXPECT_FALSE(device->Write10(7, 1, 0x50, data));
  ASSERT_EQ(script.aborted.size(), 1u);
  EXPECT_EQ(device->LastError(), "COMMAND TIMEOUT");
  ASSERT_EQ(debugLines.size(), 1u);
  EXPECT_EQ(debugLines[0].substr(0, 60), "<<< WRITE (10)             (2A) {50|0A} - 0:0:0 <04> [0800] ");
  EXPECT_NE(debugLines[0].find("= 09 00 00 00 ASC:00,ASQ:00 COMMAND TIMEOUT"), std::string::npos);
  // A timed-out TEST UNIT READY is expected to fail quietly.
  debugLines.clear();
  EXPECT_FALSE(device->TestUnitReady(5000));
  EXPECT_EQ(device->LastError(), "COMMAND TIMEOUT");
  EXPECT_TRUE(debugLines.empty());
}

// An asynchronous manager may complete a timed-out request after all: into a block and
// a buffer of the command layer's that are still there, not into the caller's.
TEST_F(ExecRules, ABlockTheManagerStillHoldsAfterATimeOutOutlivesTheCommand) {
  script.completion = UnitScript::Completion::HeldAfterAbort;
  std::vector<uint8_t> buffer(2048, 0x11);
  EXPECT_FALSE(device->Read10(7, 1, buffer));
  EXPECT_EQ(device->LastError(), "COMMAND TIMEOUT");
  ASSERT_EQ(script.aborted.size(), 1u);
  ASSERT_EQ(script.aborted[0], static_cast<void*>(script.pending));
  script.respond = [](SCSIRequest& request) {
    std::fill_n(request.SRB_BufPointer, request.SRB_BufLen, 0xEE);
    request.SenseArea[0] = 0x70;
  };
  script.CompleteLate();
  EXPECT_EQ(buffer, std::vector<uint8_t>(2048, 0x11));
  // Once let go, the block is freed and the unit answers as before.
  script.completion = UnitScript::Completion::AtOnce;
  script.respond = nullptr;
  EXPECT_TRUE(device->TestUnitReady(5000));
}

TEST_F(ExecRules, OpcodeFFCompletesWithoutReachingTheUnit) {
  SCSIRequest request{};
  request.CDBByte[0] = 0xFF;
  request.SRB_Flags = 0x40;
  EXPECT_TRUE(device->ExecSCSICommand(request, 5000));
  EXPECT_EQ(request.SRB_Status, SS_COMP);
  EXPECT_TRUE(script.sent.empty());
}

TEST_F(ExecRules, WithoutASelectedUnitNothingIsSentAndNothingLogged) {
  Select("");
  EXPECT_EQ(device->HaId(), 254);
  script.Clear();
  SCSIRequest request{};
  request.SRB_Flags = 0x40;
  EXPECT_FALSE(device->ExecSCSICommand(request, 5000));
  EXPECT_EQ(request.SRB_Status, SS_NO_DEVICE);  // not pending: nothing was accepted
  EXPECT_FALSE(device->SynchronizeCache(1000, false));
  EXPECT_TRUE(script.sent.empty());
  EXPECT_TRUE(debugLines.empty());
}

TEST_F(ExecRules, WithoutATransportCommandsFailAndSayWhy) {
  install->Hub().Finalize();
  EXPECT_FALSE(device->ASPIInitialized());
  SCSIRequest request{};
  EXPECT_FALSE(device->ExecSCSICommand(request, 5000));
  EXPECT_EQ(device->LastError(), StatusText(SS_NO_DEVICE, 0, 0));
  EXPECT_FALSE(device->TestUnitReady(5000));
  EXPECT_TRUE(debugLines.empty());
}

TEST_F(ExecRules, LastErrorAndSenseDescribeOnlyTheLastCommand) {
  Respond([](SCSIRequest& r) {
    if (r.CDBByte[0] == 0x00) Fail(r, 0x02, 0x3A, 0x01);
  });
  EXPECT_FALSE(device->TestUnitReady(5000));
  EXPECT_EQ(device->LastError(), "NOT READY (MEDIUM NOT PRESENT - TRAY CLOSED)");
  EXPECT_EQ(device->SenseData()[12], 0x3A);
  EXPECT_EQ(device->LastASC(), 0x3A);
  EXPECT_TRUE(device->RezeroUnit());
  EXPECT_EQ(device->LastError(), "");
  EXPECT_EQ(device->LastASC(), 0);
}

TEST_F(ExecRules, WriteCountsAPendingRequestAsAccepted) {
  script.completion = UnitScript::Completion::Never;
  std::vector<uint8_t> data(2048);
  // Without notification nothing is waited for.
  EXPECT_TRUE(device->Write10(0, 1, 0x10, data));
  EXPECT_TRUE(script.waits.empty());
  EXPECT_FALSE(script.sent[0].withEvent);
}

TEST_F(ExecRules, ReadBufferCapacityKeepsTheSizesAndTreatsAllOnesAsAllFree) {
  uint32_t answerFree = 0x00012000;
  Respond([&](SCSIRequest& r) {
    if (r.CDBByte[0] != 0x5C) return;
    const uint8_t answer[12] = {0, 10, 0, 0, 0x00, 0x20, 0x00, 0x00,
                                static_cast<uint8_t>(answerFree >> 24), static_cast<uint8_t>(answerFree >> 16),
                                static_cast<uint8_t>(answerFree >> 8), static_cast<uint8_t>(answerFree)};
    std::copy(std::begin(answer), std::end(answer), r.SRB_BufPointer);
  });
  uint32_t size = 0, free = 0;
  EXPECT_TRUE(device->ReadBufferCapacity(size, free));
  EXPECT_EQ(size, 0x200000u);
  EXPECT_EQ(free, 0x12000u);
  answerFree = 0xFFFFFFFF;
  EXPECT_TRUE(device->ReadBufferCapacity(size, free));
  EXPECT_EQ(free, 0x200000u);
  Respond([](SCSIRequest& r) { Fail(r, 0x02, 0x04, 0x00); });
  EXPECT_FALSE(device->ReadBufferCapacity(size, free));
  EXPECT_EQ(device->DeviceFreeBufferSize(), 0u);
  EXPECT_EQ(device->DeviceBufferSize(), 0x200000u);
}

}  // namespace
}  // namespace kvx::scsi::testing
