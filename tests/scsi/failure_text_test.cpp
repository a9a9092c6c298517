// Failure texts, the additional-sense table, command names and the log line, byte for byte.
#include <gtest/gtest.h>

#include <set>

#include "scsi/command_names.h"
#include "scsi/sense_text.h"
#include "tests/scsi/scripted_unit.h"

namespace kvx::scsi::testing {
namespace {

SCSIRequest Failed(uint8_t status, uint8_t haStat, uint8_t targStat) {
  SCSIRequest request{};
  request.SRB_Status = status;
  request.SRB_HaStat = haStat;
  request.SRB_TargStat = targStat;
  return request;
}

SCSIRequest CheckCondition(uint8_t response, uint8_t keyByte, uint8_t additionalLength, uint8_t asc, uint8_t ascq) {
  SCSIRequest request = Failed(SS_ERR, 0, STATUS_CHKCOND);
  request.SenseArea[0] = response;
  request.SenseArea[2] = keyByte;
  request.SenseArea[7] = additionalLength;
  request.SenseArea[12] = asc;
  request.SenseArea[13] = ascq;
  return request;
}

TEST(FailureText, StatusTexts) {
  const struct {
    uint8_t status, haStat, targStat;
    const char* text;
  } cases[] = {
      {0x00, 0, 0, ""},
      {0x01, 0, 0, ""},
      {0x02, 0, 0, "OPERATION ABORTED BY USER"},
      {0x03, 0, 0, "OPERATION ABORTED BY USER"},
      {0x04, 0x00, 0x08, "TARGET BUSY"},
      {0x04, 0x00, 0x18, "TARGET RESERVATION CONFLICT"},
      {0x04, 0x00, 0x28, "TARGET QUEUE FULL"},
      {0x04, 0x09, 0x00, "COMMAND TIMEOUT"},
      {0x04, 0x0B, 0x00, "SRB TIMEOUT"},
      {0x04, 0x0D, 0x00, "MESSAGE REJECT"},
      {0x04, 0x0E, 0x00, "BUS RESET"},
      {0x04, 0x0F, 0x00, "PARITY ERROR"},
      {0x04, 0x10, 0x00, "REQUEST SENSE FAILED"},
      {0x04, 0x11, 0x00, "SELECTION TIMEOUT"},
      {0x04, 0x12, 0x00, "DATA OVERRUN"},
      {0x04, 0x13, 0x00, "UNEXPECTED BUS FREE"},
      {0x80, 0, 0, "INVALID REQUEST"},
      {0x81, 0, 0, "INVALID HOST ADAPTER"},
      {0x82, 0, 0, "NO DEVICE"},
      {0xE0, 0, 0, "INVALID SRB"},
      {0xE1, 0, 0, "BUFFER ALIGNMENT"},
      {0xE5, 0, 0, "ASPI IS BUSY"},
      {0xE6, 0, 0, "BUFFER TOO BIG"},
      {0xE2, 0, 0, "UNKNOWN"},
      {0x07, 0, 0, "UNKNOWN"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const FailureText failure = BuildFailureText(Failed(c.status, c.haStat, c.targStat));
    EXPECT_EQ(failure.text, c.text);
    EXPECT_EQ(failure.targetBusy, c.targStat == 0x08);
  }
}

TEST(FailureText, SenseKeyReplacesCheckCondition) {
  const struct {
    uint8_t keyByte;
    const char* text;
  } cases[] = {
      {0x80, "FILEMARK"},         {0x40, "END OF MEDIA"},     {0x20, "ILLEGAL LENGTH"},
      {0x00, "NO ADDITIONAL SENSE INFORMATION"},              {0x01, "RECOVERED ERROR"},
      {0x02, "NOT READY"},        {0x03, "MEDIUM ERROR"},     {0x04, "HARDWARE ERROR"},
      {0x05, "ILLEGAL REQUEST"},  {0x06, "UNIT ATTENTION"},   {0x07, "DATA PROTECT"},
      {0x08, "ERASE CHECK"},      {0x09, "CHECK CONDITION"},  {0x0A, "COPYABORTED"},
      {0x0B, "ABORTED COMMAND"},  {0x0C, "CHECK CONDITION"},  {0x0D, "VOLUME OVERFLOW"},
      {0x0E, "MISCOMPARE"},       {0x0F, "RESERVED"},         {0xE5, "ILLEGAL REQUEST"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(BuildFailureText(CheckCondition(0x70, c.keyByte, 0, 0, 0)).text, c.text);
  }
  // Deferred errors (71h) and the valid bit (F0h) read the same way; other formats do not.
  EXPECT_EQ(BuildFailureText(CheckCondition(0xF1, 0x02, 0, 0, 0)).text, "NOT READY");
  EXPECT_EQ(BuildFailureText(CheckCondition(0x72, 0x02, 0, 0, 0)).text, "UNKNOWN");
  EXPECT_EQ(BuildFailureText(CheckCondition(0x00, 0x02, 0, 0, 0)).text, "CHECK CONDITION WITHOUT SENSE DATA");
  // Target status 00h also means the sense decides.
  SCSIRequest noStatus = CheckCondition(0x70, 0x03, 0, 0, 0);
  noStatus.SRB_TargStat = 0;
  EXPECT_EQ(BuildFailureText(noStatus).text, "MEDIUM ERROR");
}

TEST(FailureText, AdditionalSenseInParenthesesWhenTheSenseHasMore) {
  EXPECT_EQ(BuildFailureText(CheckCondition(0x70, 0x05, 10, 0x24, 0x00)).text, "ILLEGAL REQUEST (INVALID FIELD IN CDB)");
  // A pair the table lacks: ASC and ASCQ in decimal.
  EXPECT_EQ(BuildFailureText(CheckCondition(0x70, 0x05, 10, 0x58, 0x00)).text, "ILLEGAL REQUEST (88,0)");
  EXPECT_EQ(BuildFailureText(CheckCondition(0x70, 0x02, 10, 0xFF, 0xEE)).text, "NOT READY (255,238)");
  EXPECT_EQ(BuildFailureText(CheckCondition(0x70, 0x05, 0, 0x24, 0x00)).text, "ILLEGAL REQUEST");
  // The additional sense is added whatever gave the first text.
  SCSIRequest busy = CheckCondition(0x70, 0x02, 6, 0x04, 0x08);
  busy.SRB_TargStat = STATUS_BUSY;
  EXPECT_EQ(BuildFailureText(busy).text, "TARGET BUSY (LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS)");
}

TEST(AdditionalSenseTable, HoldsTheListedPairsWithTheStandardsDescriptions) {
  EXPECT_EQ(AdditionalSenseCount(), 256);
  const std::vector<std::pair<uint8_t, std::vector<uint8_t>>> keys = {
      {0x00, {0x00, 0x06, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17}}, {0x02, {0x00}},
      {0x04, {0x00, 0x01, 0x02, 0x03, 0x04, 0x07, 0x08, 0x09}},      {0x05, {0x00}}, {0x06, {0x00}}, {0x07, {0x00}},
      {0x08, {0, 1, 2, 3, 4}}, {0x09, {0, 1, 2, 3, 4}}, {0x0A, {0}}, {0x0B, {0, 1, 2}}, {0x0C, {0, 7, 8, 9, 0x0A}},
      {0x0D, {0, 1, 2, 3, 4, 5}}, {0x11, {0, 1, 2, 5, 6, 0x0D, 0x0E, 0x0F, 0x10, 0x11}}, {0x14, {0, 1}},
      {0x15, {0, 1, 2}}, {0x17, {0, 1, 2, 3, 4, 5, 7, 8, 9}}, {0x18, {0, 1, 2, 3, 4, 5, 6, 8}}, {0x1A, {0}},
      {0x1B, {0}}, {0x1D, {0}}, {0x20, {0}}, {0x21, {0, 1, 2}}, {0x24, {0, 1}}, {0x25, {0}},
      {0x26, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x0A, 0x0B, 0x0C, 0x0D}}, {0x27, {0, 1, 2, 3, 4, 5, 6}}, {0x28, {0, 1}},
      {0x29, {0, 1, 2, 3, 4, 5, 6}}, {0x2A, {0, 1, 2, 3, 4, 5}}, {0x2B, {0}}, {0x2C, {0, 3, 4, 6}}, {0x2E, {0}},
      {0x2F, {0}}, {0x30, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x10}}, {0x31, {0, 1, 2}}, {0x34, {0}},
      {0x35, {0, 1, 2, 3, 4}}, {0x37, {0}}, {0x39, {0}}, {0x3A, {0, 1, 2, 3, 4}},
      {0x3B, {0x0D, 0x0E, 0x0F, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16}}, {0x3D, {0}}, {0x3E, {0, 1, 2, 3, 4}},
      {0x3F, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11}}, {0x43, {0}},
      {0x44, {0}}, {0x45, {0}}, {0x46, {0}}, {0x47, {0, 1, 2, 3, 4}}, {0x48, {0}}, {0x49, {0}}, {0x4A, {0}},
      {0x4B, {0}}, {0x4C, {0}}, {0x4E, {0}}, {0x51, {0, 1}}, {0x53, {0, 2}}, {0x55, {2, 3, 4}}, {0x57, {0}},
      {0x5A, {0, 1, 2, 3}}, {0x5B, {0, 1, 2, 3}}, {0x5D, {0, 1, 2, 3, 0xFF}}, {0x5E, {0, 1, 2, 3, 4}},
      {0x63, {0, 1}}, {0x64, {0, 1}}, {0x65, {0}}, {0x6F, {0, 1, 2, 3, 4, 5}}, {0x72, {0, 1, 2, 3, 4, 5}},
      {0x73, {0, 1, 2, 3, 4, 5, 6}},
  };
  std::set<std::pair<int, int>> listed;
  for (const auto& [asc, qualifiers] : keys)
    for (uint8_t ascq : qualifiers) {
      listed.insert({asc, ascq});
      const char* text = AdditionalSenseText(asc, ascq);
      ASSERT_NE(text, nullptr) << std::hex << int(asc) << "/" << int(ascq);
      for (const char* c = text; *c; ++c) EXPECT_FALSE(*c >= 'a' && *c <= 'z') << text;
    }
  EXPECT_EQ(listed.size(), 256u);
  int found = 0;
  for (int asc = 0; asc < 256; ++asc)
    for (int ascq = 0; ascq < 256; ++ascq)
      if (AdditionalSenseText(static_cast<uint8_t>(asc), static_cast<uint8_t>(ascq))) {
        ++found;
        EXPECT_TRUE(listed.count({asc, ascq})) << asc << "/" << ascq;
      }
  EXPECT_EQ(found, 256);
  EXPECT_STREQ(AdditionalSenseText(0x04, 0x08), "LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS");
  EXPECT_STREQ(AdditionalSenseText(0x24, 0x00), "INVALID FIELD IN CDB");
  EXPECT_STREQ(AdditionalSenseText(0x3A, 0x02), "MEDIUM NOT PRESENT - TRAY OPEN");
  EXPECT_STREQ(AdditionalSenseText(0x73, 0x02), "POWER CALIBRATION AREA IS FULL");
  EXPECT_STREQ(AdditionalSenseText(0x72, 0x02), "SESSION FIXATION ERROR WRITING LEAD-OUT");
  EXPECT_STREQ(AdditionalSenseText(0x21, 0x02), "INVALID ADDRESS FOR WRITE");
}

TEST(CommandNames, NamesArePaddedAndOthersAreHex) {
  EXPECT_EQ(CommandNames(0x2A), "WRITE (10)            ");
  EXPECT_EQ(CommandNames(0x4A), "GET EVENT/STATUS NOTIF");
  EXPECT_EQ(CommandNames(0x52), "READ TRACK INFORMATION");
  EXPECT_EQ(CommandNames(0x02), "02");
  EXPECT_EQ(CommandNames(0xFF), "FF");
  EXPECT_EQ(CommandNames(0xC0), "C0");
  int named = 0;
  for (int opcode = 0; opcode < 256; ++opcode) named += CommandNames(static_cast<uint8_t>(opcode)).size() == 22;
  EXPECT_EQ(named, 51);
}

// The log lines name each command by its operation code.
TEST(CommandNames, EachNameAtItsOperationCode) {
  const std::pair<uint8_t, const char*> named[] = {
      {0x00, "TEST UNIT READY"},        {0x01, "REWIND UNIT"},           {0x03, "REQUEST SENSE"},
      {0x04, "FORMAT UNIT"},            {0x12, "INQUIRY"},               {0x1B, "START STOP UNIT"},
      {0x1E, "PREVENT/ALLOW REMOVAL"},  {0x23, "READ FORMAT CAPACITIES"}, {0x25, "READ CAPACITY"},
      {0x28, "READ (10)"},              {0x2A, "WRITE (10)"},            {0x2B, "SEEK (10)"},
      {0x2E, "WRITE AND VERIFY (10)"},  {0x2F, "VERIFY (10)"},           {0x35, "SYNCHRONIZE CACHE"},
      {0x42, "READ SUB-CHANNEL"},       {0x43, "READ TOC/PMA/ATIP"},     {0x45, "PLAY AUDIO (10)"},
      {0x46, "GET CONFIGURATION"},      {0x47, "PLAY AUDIO MSF"},        {0x4A, "GET EVENT/STATUS NOTIF"},
      {0x4B, "PAUSE/RESUME"},           {0x4E, "STOP PLAY/SCAN"},        {0x51, "READ DISC INFORMATION"},
      {0x52, "READ TRACK INFORMATION"}, {0x53, "RESERVE TRACK"},         {0x54, "SEND OPC INFORMATION"},
      {0x55, "MODE SELECT (10)"},       {0x58, "REPAIR TRACK"},          {0x5A, "MODE SENSE (10)"},
      {0x5B, "CLOSE TRACK/SESSION"},    {0x5C, "READ BUFFER CAPACITY"},  {0x5D, "SEND CUE SHEET"},
      {0xA1, "BLANK"},                  {0xA2, "SEND EVENT"},            {0xA3, "SEND KEY"},
      {0xA4, "REPORT KEY"},             {0xA5, "PLAY AUDIO (12)"},       {0xA6, "LOAD/UNLOAD CD/DVD"},
      {0xA7, "SET READ AHEAD"},         {0xA8, "READ (12)"},             {0xAA, "WRITE (12)"},
      {0xAC, "GET PERFORMANCE"},        {0xAD, "READ DVD STRUCTURE"},    {0xB6, "SET STREAMING"},
      {0xB9, "READ CD MSF"},            {0xBA, "SCAN"},                  {0xBB, "SET CD SPEED"},
      {0xBD, "MECHANISM STATUS"},       {0xBE, "READ CD"},               {0xBF, "SEND DVD STRUCTURE"},
  };
  for (const auto& [opcode, name] : named) {
    std::string padded = name;
    padded.resize(22, ' ');
    EXPECT_EQ(CommandNames(opcode), padded) << std::hex << int{opcode};
  }
}

TEST(DiscTypeNames, FourteenNamesWithDVDRWTwice) {
  const char* names[] = {"UNKNOWN", "CD-ROM", "CD-R",   "CD-RW",    "DVD-ROM", "DVD-R",  "DVD-RAM",
                         "DVD-RW",  "DVD-RW", "DVD+RW", "DVD+R",    "DDCD-ROM", "DDCD-R", "DDCD-RW"};
  for (uint16_t type = 0; type < 14; ++type) EXPECT_STREQ(DiscTypeName(static_cast<DiscKind>(type)), names[type]);
  EXPECT_STREQ(DiscTypeName(static_cast<DiscKind>(14)), "UNKNOWN");
}

class LogLines : public ScriptedUnitTest {};

TEST_F(LogLines, AFailedWriteLogsItsBlockDataAndSense) {
  Respond([](SCSIRequest& r) { Fail(r, 0x03, 0x0C, 0x00); });
  std::vector<uint8_t> data(4096);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  EXPECT_FALSE(device->Write10(0x10, 2, 0x50, data));
  EXPECT_EQ(device->LastError(), "MEDIUM ERROR (WRITE ERROR)");
  std::string dump;
  for (int i = 0; i < 257; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof(hex), "%02X ", i & 0xFF);
    dump += hex;
  }
  ASSERT_EQ(debugLines.size(), 1u);
  EXPECT_EQ(debugLines[0],
            "<<< WRITE (10)             (2A) {50|0A} - 0:0:0 <04> [1000] 00 00 00 00 10 00 00 02 00 00 00 00 00 00 00  | " +
                dump + "= 00 02 70 03 ASC:0C,ASQ:00 MEDIUM ERROR (WRITE ERROR)");
}

TEST_F(LogLines, ACommandWithoutDataLogsAnEmptyDump) {
  Respond([](SCSIRequest& r) {
    Fail(r, 0x05, 0x2C, 0x00);
    r.SRB_HaStat = 0;
  });
  EXPECT_FALSE(device->SendOPCInformation());
  ASSERT_EQ(debugLines.size(), 1u);
  EXPECT_EQ(debugLines[0],
            "<<< SEND OPC INFORMATION   (54) {40|0A} - 0:0:0 <04> [0000] 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00  | "
            "= 00 02 70 05 ASC:2C,ASQ:00 ILLEGAL REQUEST (COMMAND SEQUENCE ERROR)");
}

TEST_F(LogLines, ExpectedFailuresAreNotLogged) {
  Respond([](SCSIRequest& r) { Fail(r, 0x05, 0x24, 0x00); });
  std::vector<uint8_t> buffer(255);
  uint32_t size, free;
  EXPECT_FALSE(device->TestUnitReady(5000));
  EXPECT_FALSE(device->RezeroUnit());
  EXPECT_FALSE(device->LoadEject(true));
  EXPECT_FALSE(device->PreventAllowRemoval(true));
  EXPECT_FALSE(device->ReadFormatCapacities());
  EXPECT_FALSE(device->SynchronizeCache(1000, false));
  EXPECT_FALSE(device->ReadTOC(TOCFormat::SessionInformation, buffer, 0, false, 0));
  EXPECT_FALSE(device->GetConfiguration(FeatureRequest::One, Feature::ProfileList, buffer));
  EXPECT_FALSE(device->ReadDiscInformation(buffer));
  EXPECT_FALSE(device->ReadTrackInformation(1));
  EXPECT_FALSE(device->ModeSelect10(buffer));
  EXPECT_FALSE(device->ModeSense10(ModePage::Capabilities, PageControl::Current, buffer, 128));
  EXPECT_FALSE(device->ReadBufferCapacity(size, free));
  EXPECT_FALSE(device->SetStreaming(buffer));
  EXPECT_FALSE(device->SetCDSpeed(1, 1));
  EXPECT_TRUE(debugLines.empty());
  EXPECT_EQ(device->LastError(), "ILLEGAL REQUEST (INVALID FIELD IN CDB)");
  // INQUIRY failures are expected too.
  script.respond = [](SCSIRequest& r) { Fail(r, 0x05, 0x24, 0x00); };
  EXPECT_FALSE(device->Inquiry());
  EXPECT_TRUE(debugLines.empty());
  EXPECT_FALSE(device->Blank(BlankType::Minimal));
  EXPECT_EQ(debugLines.size(), 1u);
}

TEST_F(LogLines, LongWriteInProgressIsNeverLogged) {
  Respond([](SCSIRequest& r) { Fail(r, 0x02, 0x04, 0x08); });
  std::vector<uint8_t> data(2048);
  EXPECT_FALSE(device->Write10(0, 1, 0x50, data));
  EXPECT_FALSE(device->CloseTrackSession(CloseFunction::Session, true));
  EXPECT_EQ(device->LastError(), "NOT READY (LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS)");
  EXPECT_TRUE(debugLines.empty());
  Respond([](SCSIRequest& r) { Fail(r, 0x02, 0x04, 0x07); });
  EXPECT_FALSE(device->Write10(0, 1, 0x50, data));
  EXPECT_EQ(debugLines.size(), 1u);
}

TEST_F(LogLines, TargetBusySetsTheFlag) {
  Respond([](SCSIRequest& r) {
    if (r.CDBByte[0] != 0x2A) return;
    r.SRB_Status = SS_ERR;
    r.SRB_TargStat = STATUS_BUSY;
  });
  std::vector<uint8_t> data(2048);
  EXPECT_FALSE(device->Write10(0, 1, 0x50, data));
  EXPECT_TRUE(device->TargetBusy());
  EXPECT_EQ(device->LastError(), "TARGET BUSY");
  EXPECT_TRUE(device->TestUnitReady(5000));
  EXPECT_FALSE(device->TargetBusy());
}

}  // namespace
}  // namespace kvx::scsi::testing
