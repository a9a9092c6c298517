// Unit scan and selection, quirks, the capabilities page, the write parameters page,
// disc type and readiness, against scripted units.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "base/event.h"
#include "tests/scsi/scripted_unit.h"

namespace kvx::scsi::testing {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

// Answers MODE SENSE (10) for the given pages, each placed at the given offset;
// other pages are rejected as the unit does not have them.
void AnswerModeSense(SCSIRequest& r, const std::map<uint8_t, Bytes>& pages, size_t offset = 8) {
  const auto page = pages.find(r.CDBByte[2] & 0x3F);
  if (page == pages.end() || offset + page->second.size() > r.SRB_BufLen) {
    r.SRB_Status = SS_ERR;
    r.SRB_TargStat = STATUS_CHKCOND;
    r.SenseArea[0] = 0x70;
    r.SenseArea[2] = 0x05;
    r.SenseArea[7] = 10;
    r.SenseArea[12] = 0x24;
    return;
  }
  std::memset(r.SRB_BufPointer, 0, r.SRB_BufLen);
  if (offset == 16) r.SRB_BufPointer[7] = 8;  // a block descriptor
  std::memcpy(r.SRB_BufPointer + offset, page->second.data(), page->second.size());
}

Bytes CapabilitiesPage(uint8_t reads, uint8_t writes, uint8_t flags) {
  Bytes page(28, 0);
  page[0] = 0x2A;
  page[1] = 26;
  page[2] = reads;
  page[3] = writes;
  page[4] = flags;
  Put16(&page[8], 7056);   // 40X
  Put16(&page[12], 2048);  // buffer, kB
  Put16(&page[14], 7056);
  Put16(&page[18], 4234);  // 24X
  Put16(&page[20], 2822);  // 16X
  return page;
}

Bytes WriteParametersPage() {
  Bytes page(52, 0);
  page[0] = 0x05;
  page[1] = 0x32;
  page[2] = 0x61;  // BUFE, LS_V, TAO
  page[3] = 0xC4;
  page[4] = 0x08;
  page[5] = 0x07;
  page[7] = 0x11;
  page[8] = 0x20;
  page[13] = 0x10;
  Put16(&page[14], 0x0010);
  page[16] = 'M';
  return page;
}

class Selection : public ScriptedUnitTest {};

TEST_F(Selection, ScanListsCDAndDVDUnitsWithTheirLetters) {
  script.adapterCount = 2;
  script.respond = [](SCSIRequest& r) {
    if (r.CDBByte[0] != 0x12) return;
    if (r.SRB_HaId == 0 && r.SRB_Target == 0 && r.SRB_Lun == 0)
      FillInquiry(r, 0x05, "VENDOR  PRODUCT NAME    1.00");
    else if (r.SRB_HaId == 1 && r.SRB_Target == 2 && r.SRB_Lun == 0)
      FillInquiry(r, 0x04, "WORM    OPTICAL         0.1a");
    else if (r.SRB_HaId == 1 && r.SRB_Target == 3 && r.SRB_Lun == 0)
      FillInquiry(r, 0x00, "DISK    HARD DISK       9.99");
    else
      r.SRB_Status = SS_NO_DEVICE;
  };
  device->SetDoDebug(true);
  const std::string kept = device->Device();
  device->HostAdapterInquiry(0);
  device->ScanDevices();
  EXPECT_EQ(device->Devices(), (std::vector<std::string>{"0:0:0,E: VENDOR  PRODUCT NAME    1.00",
                                                         "1:2:0,E: WORM    OPTICAL         0.1a (not supported)"}));
  EXPECT_EQ(debugLines, (std::vector<std::string>{">>> WNASPI32.DLL", ">>> SCRIPTED MANAGER (SCRIPT)",
                                                  ">>> SCRIPTED MANAGER (SCRIPT)"}));
  // 2 adapters x 8 targets x 8 luns.
  EXPECT_EQ(script.sent.size(), 128u);
  EXPECT_EQ(device->HaId(), 0);
  EXPECT_EQ(device->Device(), kept);
  EXPECT_EQ(device->LastError(), "");
  script.driveNumber = -1;
  device->ScanDevices();
  EXPECT_EQ(device->Devices()[0], "0:0:0,?: VENDOR  PRODUCT NAME    1.00");
}

TEST_F(Selection, AFailedAdapterInquiryMeansNoAdapters) {
  script.adapterCount = 0;
  EXPECT_FALSE(device->HostAdapterInquiry(0));
  EXPECT_EQ(device->AdapterCount(), -1);
  script.Clear();
  device->ScanDevices();
  EXPECT_TRUE(device->Devices().empty());
  EXPECT_TRUE(script.sent.empty());
}

TEST_F(Selection, DeviceLineDigitsGiveTheAddress) {
  unitAddress = {1, 0, 0};
  int changes = 0;
  device->SetOnDeviceChange([&](TSCSIDevice*) { ++changes; });
  Select("1:0:0,E: VENDOR  PRODUCT NAME    1.00");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(device->HaId(), 1);
  EXPECT_EQ(device->Target(), 0);
  EXPECT_EQ(device->Lun(), 0);
  EXPECT_EQ(device->DeviceType(), 0x05);
  EXPECT_EQ(device->DeviceDescription(), "VENDOR   PRODUCT NAME     1.00");
  EXPECT_TRUE(debugLines.empty());
}

TEST_F(Selection, InvalidLinesResetToNoUnit) {
  for (const char* line : {"1:0:", "x:0:0,E:", "0:0:0,E: DISK"}) {
    SCOPED_TRACE(line);
    if (std::string(line).find("DISK") != std::string::npos) inquiryType = 0x00;
    Select("0:0:0,E: VENDOR  PRODUCT NAME    1.00");
    debugLines.clear();
    Select(line);
    EXPECT_EQ(debugLines, std::vector<std::string>{"INVALID DEVICE ID / NOT A CD OR DVD DRIVE"});
    EXPECT_EQ(device->HaId(), 254);
    EXPECT_EQ(device->Target(), 254);
    EXPECT_EQ(device->Lun(), 254);
    EXPECT_EQ(device->DeviceType(), 0x7F);
    EXPECT_EQ(device->Device(), "");
    EXPECT_EQ(device->DeviceDescription(), "");
  }
  debugLines.clear();
  Select("");
  EXPECT_TRUE(debugLines.empty());
}

TEST_F(Selection, ControlCharactersOfTheIdentityBecomeBlanks) {
  inquiryIdentity = std::string("VEND\x01R  PRODUCT\tNAME    1.0\x1F", 28);
  Select("0:0:0,E:");
  EXPECT_EQ(device->DeviceDescription(), "VEND R   PRODUCT NAME     1.0 ");
}

TEST_F(Selection, UnitQuirksFollowTheProductStrings) {
  struct Case {
    std::string identity;
    bool forced, linkSize, ujda, closeImmediate, longWrite;
  };
  const Case cases[] = {
      {"VENDOR  CD-W512EB       1.00", true, false, false, true, false},
      {"VENDOR  CRX175E         1.00", false, true, false, true, false},
      {"VENDOR  CD-RW  CRX800E  1.00", false, true, false, true, false},
      {"VENDOR  UJDA740         1.00", false, false, true, true, false},
      {"TDK     VELOCD          1.00", false, false, true, true, false},
      {"VENDOR  CDRW321040X     1.00", false, false, false, false, false},
      {"PIONEER DVD-RW  DVR-104 1.00", false, false, false, true, true},
      {"PIONEER DVD-RW  DVR-103 1.00", false, false, false, true, true},
      {"PIONEER DVD-RW  DVR-105 1.00", false, false, false, true, false},
      {"PIONEER DVD-RW  DVR-104X1.00", false, false, false, true, false},
      // A short vendor counts as blanks: "TDK" must begin it.
      {"TD      X               1.00", false, false, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.identity);
    inquiryIdentity = c.identity;
    Select("0:0:0,E:");
    EXPECT_EQ(device->ForcedUnderrunProtection(), c.forced);
    EXPECT_EQ(device->LinkSizeValidUnit(), c.linkSize);
    EXPECT_EQ(device->UjdaTdkUnit(), c.ujda);
    EXPECT_EQ(device->CloseImmediate(), c.closeImmediate);
    EXPECT_EQ(device->LongWriteUnit(), c.longWrite);
  }
}

class Capabilities : public ScriptedUnitTest {
 protected:
  void AnswerUnit(const Bytes& defaults, const Bytes& current, size_t offset, bool vendorPage,
                  uint8_t plusRWWrite = 1) {
    Respond([=](SCSIRequest& r) {
      if (r.CDBByte[0] == 0x5A) {
        std::map<uint8_t, Bytes> pages = {{0x2A, (r.CDBByte[2] & 0x80) ? defaults : current}};
        if (vendorPage) pages[0x30] = Bytes{0x30, 2, 0, 0};
        AnswerModeSense(r, pages, offset);
      } else if (r.CDBByte[0] == 0x46) {
        const uint8_t feature = r.CDBByte[3];
        std::memset(r.SRB_BufPointer, 0, r.SRB_BufLen);
        r.SRB_BufPointer[9] = feature;
        r.SRB_BufPointer[12] = feature == 0x2A ? plusRWWrite : 0x46;
      }
    });
  }
};

TEST_F(Capabilities, BitsComeFromThePageAndTheFeatures) {
  const Bytes page = CapabilitiesPage(0x3F, 0x17, 0x00);
  AnswerUnit(page, page, 8, false);
  EXPECT_TRUE(device->ReadCapabilities());
  EXPECT_EQ(device->Capabilities(), 0x7Fu | 0x180 | 0x200 | 0x400 | 0x800 | 0x3000 | 0x18000);
  EXPECT_EQ(device->DeviceMaxReadSpeed(), 40);
  EXPECT_EQ(device->DeviceMaxWriteSpeed(), 24);
  EXPECT_EQ(device->GetMaxWriteSpeed(), 24);
  EXPECT_EQ(device->GetMaxReadSpeed(), 40);
  EXPECT_EQ(device->GetCurrentWriteSpeed(), 16);
  EXPECT_EQ(device->CapabilitiesPage().bufferKB, 2048);
  // A DVD+RW unit that does not write DVD+RW; the vendor page marks underrun protection.
  AnswerUnit(page, page, 8, true, 0x00);
  EXPECT_TRUE(device->ReadCapabilities());
  EXPECT_EQ(device->Capabilities(), 0x7Fu | 0x180 | 0x200 | 0x400 | 0x800 | 0x3000 | 0x40000);
}

TEST_F(Capabilities, ThePageIsFoundAfterABlockDescriptorOrOneByteEarly) {
  const Bytes page = CapabilitiesPage(0x01, 0x01, 0x80);
  for (size_t offset : {16u, 7u}) {
    SCOPED_TRACE(offset);
    AnswerUnit(page, page, offset, false);
    EXPECT_TRUE(device->ReadCapabilities());
    EXPECT_EQ(device->Capabilities() & 0x40201u, 0x40201u);
    EXPECT_EQ(device->GetCurrentWriteSpeed(), 16);
  }
}

TEST_F(Capabilities, ADVDRAMWriterReportsOneXWriting) {
  const Bytes page = CapabilitiesPage(0x20, 0x20, 0x00);
  AnswerUnit(page, page, 8, false);
  EXPECT_TRUE(device->ReadCapabilities());
  EXPECT_EQ(device->CapabilitiesPage().maxWriteKBs, 177);
  EXPECT_EQ(device->CapabilitiesPage().currentWriteKBs, 177);
  EXPECT_EQ(device->GetMaxWriteSpeed(), 1);
  EXPECT_EQ(device->DeviceMaxWriteSpeed(), 24);  // the default page's value stays the larger
}

TEST_F(Capabilities, FailuresLeaveZeroSpeeds) {
  Respond([](SCSIRequest& r) { Fail(r, 0x05, 0x24, 0x00); });
  EXPECT_FALSE(device->ReadCapabilities());
  EXPECT_EQ(device->Capabilities(), 0u);
  EXPECT_EQ(device->DeviceMaxWriteSpeed(), 0);
  EXPECT_EQ(device->GetMaxWriteSpeed(), 0);
  EXPECT_EQ(device->GetCurrentWriteSpeed(), 0);
}

TEST_F(Capabilities, ForcedUnderrunProtectionQuirk) {
  inquiryIdentity = "VENDOR  CD-W512EB       1.00";
  Select("0:0:0,E:");
  const Bytes page = CapabilitiesPage(0x01, 0x01, 0x00);
  AnswerUnit(page, page, 8, false);
  EXPECT_TRUE(device->ReadCapabilities());
  EXPECT_TRUE(device->Capabilities() & capability::kUnderrunFree);
}

class WriteParameters : public ScriptedUnitTest {
 protected:
  // Answers page 05h and 2Ah; returns the page of each MODE SELECT sent.
  void AnswerUnit(uint8_t writes, uint8_t flags) {
    Respond([=](SCSIRequest& r) {
      if (r.CDBByte[0] == 0x5A)
        AnswerModeSense(r, {{0x05, WriteParametersPage()}, {0x2A, CapabilitiesPage(0x3F, writes, flags)}});
    });
    device->ReadCapabilities();
    script.Clear();
  }
  Bytes SelectedPage() {
    for (auto it = script.sent.rbegin(); it != script.sent.rend(); ++it)
      if (it->cdb[0] == 0x55) return it->dataOut;
    return {};
  }
};

Bytes Expected(uint8_t byte2, uint8_t byte3, uint8_t linkSize = 0) {
  Bytes data(60, 0);
  Bytes page = WriteParametersPage();
  page[2] = byte2;
  page[3] = byte3;
  page[4] = 0x08;
  for (int i = 5; i < 14; ++i) page[i] = 0;
  page[5] = linkSize;
  std::copy(page.begin(), page.end(), data.begin() + 8);
  return data;
}

TEST_F(WriteParameters, PageBytesPerDiscAndSettings) {
  AnswerUnit(0x15, 0x80);  // test write, underrun-free
  EXPECT_TRUE(device->SetWriteParameters({.underrunProtection = true}, DiscKind::CDR));
  EXPECT_EQ(script.sent.back().cdb[8], 60);
  EXPECT_EQ(SelectedPage(), Expected(0x41, 0xC4));  // TAO, BUFE, next session allowed
  device->SetFinalizeDisc(true);
  EXPECT_TRUE(device->SetWriteParameters({}, DiscKind::CDRW));
  EXPECT_EQ(SelectedPage(), Expected(0x01, 0x04));
  device->SetFinalizeDisc(false);
  EXPECT_TRUE(device->SetWriteParameters({.testWrite = true, .underrunProtection = true}, DiscKind::CDR));
  EXPECT_EQ(SelectedPage(), Expected(0x51, 0x04));  // test write: no next session
  EXPECT_TRUE(device->SetWriteParameters({.underrunProtection = true}, DiscKind::DVDMinusR));
  EXPECT_EQ(SelectedPage(), Expected(0x42, 0x05));  // disc at once
  EXPECT_TRUE(device->SetWriteParameters({}, DiscKind::DVDMinusRW));
  EXPECT_EQ(SelectedPage(), Expected(0x02, 0x05));
  EXPECT_TRUE(device->SetWriteParameters({.underrunProtection = true}, DiscKind::DVDPlusR));
  EXPECT_EQ(SelectedPage(), Expected(0x62, 0xC4, 16));
}

TEST_F(WriteParameters, WithoutTheCapabilitiesTheBitsAreCleared) {
  AnswerUnit(0x01, 0x00);
  EXPECT_TRUE(device->SetWriteParameters({.testWrite = true, .underrunProtection = true}, DiscKind::CDR));
  EXPECT_EQ(SelectedPage(), Expected(0x01, 0x04));
}

TEST_F(WriteParameters, LongWriteAndLinkSizeUnits) {
  inquiryIdentity = "PIONEER DVD-RW  DVR-104 1.00";
  Select("0:0:0,E:");
  AnswerUnit(0x15, 0x80);
  EXPECT_TRUE(device->SetWriteParameters({.underrunProtection = true}, DiscKind::CDR));
  EXPECT_EQ(SelectedPage(), Expected(0x41, 0xC4));
  EXPECT_TRUE(device->SetWriteParameters({}, DiscKind::DVDMinusR));
  EXPECT_EQ(SelectedPage(), Expected(0x02, 0x05));
  inquiryIdentity = "VENDOR  CRX175E         1.00";
  Select("0:0:0,E:");
  AnswerUnit(0x15, 0x00);
  EXPECT_TRUE(device->SetWriteParameters({.underrunProtection = true}, DiscKind::CDR));
  EXPECT_EQ(SelectedPage(), Expected(0x21, 0xC4));
}

TEST_F(WriteParameters, DVDRAMSendsNothing) {
  AnswerUnit(0x15, 0x80);
  EXPECT_TRUE(device->SetWriteParameters({.underrunProtection = true}, DiscKind::DVDRAM));
  EXPECT_TRUE(script.sent.empty());
}

TEST_F(WriteParameters, ProbeTriesRawSAOTAOAndKeepsWhatTheUnitTakes) {
  std::vector<uint8_t> writeTypes;
  Respond([&](SCSIRequest& r) {
    if (r.CDBByte[0] == 0x5A) AnswerModeSense(r, {{0x05, WriteParametersPage()}}, 16);
    if (r.CDBByte[0] == 0x55) {
      const uint8_t type = r.SRB_BufPointer[8 + 2];
      writeTypes.push_back(type);
      if (type != 0x01) Fail(r, 0x05, 0x26, 0x00);
    }
  });
  Select("0:0:0,E:");
  EXPECT_EQ(writeTypes, (std::vector<uint8_t>{0x03, 0x02, 0x01}));
  EXPECT_EQ(device->SupportedWriteModes(), kWriteModeTAO);
  const auto& page = device->WriteParametersPage();
  EXPECT_EQ(page[2], 0x01);
  EXPECT_EQ(page[3], 0x00);
  EXPECT_EQ(page[4], 0x00);
  EXPECT_EQ(page[14], 0x00);
  EXPECT_EQ(page[15], 0x96);
  EXPECT_EQ(page[5], 0x07);  // link size kept by the probe
  const SentRequest& select = script.sent.back();
  EXPECT_EQ(select.cdb[8], 0x32 + 10);
  EXPECT_EQ(select.bufLen, 60u);
}

class DiscQueries : public ScriptedUnitTest {};

TEST_F(DiscQueries, TheCurrentProfileGivesTheDiscType) {
  const std::pair<uint16_t, uint16_t> profiles[] = {
      {0x0008, 1}, {0x0009, 2}, {0x000A, 3}, {0x0010, 4},  {0x0011, 5},  {0x0012, 6}, {0x0013, 7},
      {0x0014, 7}, {0x001A, 9}, {0x001B, 10}, {0x0020, 11}, {0x0021, 12}, {0x0022, 13}};
  for (const auto& [profile, type] : profiles) {
    Respond([profile = profile](SCSIRequest& r) {
      if (r.CDBByte[0] == 0x46) Put16(r.SRB_BufPointer + 6, profile);
    });
    EXPECT_EQ(Code(device->GetDiscType()), type) << std::hex << profile;
  }
}

TEST_F(DiscQueries, WithoutAProfileTheATIPThenTheDiscInformationDecide) {
  uint8_t atipByte6 = 0;
  bool atip = true, erasable = false, discInfo = true;
  Respond([&](SCSIRequest& r) {
    if (r.CDBByte[0] == 0x43) {
      if (!atip) return Fail(r, 0x05, 0x24, 0x00);
      r.SRB_BufPointer[6] = atipByte6;
    }
    if (r.CDBByte[0] == 0x51) {
      if (!discInfo) return Fail(r, 0x05, 0x24, 0x00);
      r.SRB_BufPointer[2] = erasable ? 0x10 : 0x00;
    }
  });
  atipByte6 = 0x00;
  EXPECT_EQ(device->GetDiscType(), DiscKind::CDROM);
  atipByte6 = 0xC0;
  EXPECT_EQ(device->GetDiscType(), DiscKind::CDRW);
  atipByte6 = 0x80;
  EXPECT_EQ(device->GetDiscType(), DiscKind::CDR);
  EXPECT_EQ(device->ATIP()[6], 0x80);
  atip = false;
  erasable = true;
  EXPECT_EQ(device->GetDiscType(), DiscKind::CDRW);
  erasable = false;
  EXPECT_EQ(device->GetDiscType(), DiscKind::CDR);
  discInfo = false;
  EXPECT_EQ(device->GetDiscType(), DiscKind::CDROM);  // the unit is ready
  Respond([](SCSIRequest& r) { Fail(r, 0x02, 0x3A, 0x00); });
  EXPECT_EQ(device->GetDiscType(), DiscKind::Unknown);
}

TEST_F(DiscQueries, InformationFieldsAreReadInHostOrder) {
  Respond([](SCSIRequest& r) {
    if (r.CDBByte[0] == 0x52) {
      const Bytes info = {0x00, 0x22, 2, 1, 0, 0x04, 0x41, 0x01, 0x00, 0x00, 0x2C, 0x94, 0x00, 0x00,
                          0x2C, 0x94, 0x00, 0x05, 0x49, 0xF5, 0, 0, 0, 0x10, 0x00, 0x05, 0x76, 0x89,
                          0x00, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0};
      std::copy(info.begin(), info.end(), r.SRB_BufPointer);
    }
    if (r.CDBByte[0] == 0x51) {
      r.SRB_BufPointer[0] = 0x00;
      r.SRB_BufPointer[1] = 0x20;
      r.SRB_BufPointer[2] = 0x1E;  // erasable, last session complete, disc complete
      r.SRB_BufPointer[4] = 2;
    }
    if (r.CDBByte[0] == 0x43) r.SRB_BufPointer[3] = 3;
  });
  EXPECT_TRUE(device->ReadTrackInformation(2));
  const TrackInformation& track = device->TrackInfo();
  EXPECT_EQ(track.DataLength(), 0x22);
  EXPECT_EQ(track.TrackStart(), 11412u);
  EXPECT_EQ(track.NextWritableAddress(), 11412u);
  EXPECT_TRUE(track.NextWritableValid());
  EXPECT_TRUE(track.Blank());
  EXPECT_EQ(track.FreeBlocks(), 346613u);
  EXPECT_EQ(track.FixedPacketSize(), 16u);
  EXPECT_EQ(track.TrackSize(), 358025u);
  EXPECT_TRUE(device->ReadDiscInfo());
  EXPECT_EQ(device->DiscInfo().DataLength(), 0x20);
  EXPECT_TRUE(device->DiscInfo().Erasable());
  EXPECT_EQ(device->DiscInfo().LastSessionState(), 3);
  EXPECT_EQ(device->DiscInfo().DiscStatus(), DiscState::Complete);
  EXPECT_EQ(device->GetLastSessionNumber(), 3);
  Respond([](SCSIRequest& r) { Fail(r, 0x05, 0x24, 0x00); });
  EXPECT_EQ(device->GetLastSessionNumber(), 0);
}

class Readiness : public ScriptedUnitTest {
 protected:
  void SetUp() override {
    ScriptedUnitTest::SetUp();
    device->SetSleepFunction([this](uint32_t ms) { sleeps.push_back(ms); });
  }
  // Each listed opcode answers busy (04h/07h) for its count of calls, then succeeds.
  void BusyFor(std::map<uint8_t, int> counts, std::vector<Bytes> requestSenseAnswers = {}) {
    Respond([this, counts, requestSenseAnswers](SCSIRequest& r) mutable {
      const uint8_t opcode = r.CDBByte[0];
      if (opcode == 0x03) {
        if (!requestSenseAnswers.empty()) {
          std::copy(requestSenseAnswers.front().begin(), requestSenseAnswers.front().end(), r.SRB_BufPointer);
          requestSenseAnswers.erase(requestSenseAnswers.begin());
        }
        return;
      }
      if (counts[opcode]-- > 0) Fail(r, 0x02, 0x04, 0x07);
    });
  }
  std::vector<uint32_t> sleeps;
};

Bytes SenseAnswer(uint8_t response, uint8_t asc) {
  Bytes answer(18, 0);
  answer[0] = response;
  answer[7] = 10;
  answer[12] = asc;
  return answer;
}

// Which failed answers count as a unit busy with a long operation: fixed-format sense
// (current or deferred, VALID bit or not) with NOT READY and ASC 04h or none.
TEST_F(Readiness, BusyIsNotReadySenseWithoutCauseOrWithAnOperationInProgress) {
  struct Case {
    uint8_t response, key, asc;
    bool busy;
  };
  const Case cases[] = {
      {0x70, 0x02, 0x04, true},  {0x71, 0x02, 0x04, true},  {0xF0, 0x02, 0x04, true},
      {0x70, 0x02, 0x00, true},  {0x70, 0x12, 0x04, true},  {0x70, 0x02, 0x3A, false},
      {0x70, 0x06, 0x04, false}, {0x70, 0x03, 0x04, false}, {0x72, 0x02, 0x04, false},
      {0x00, 0x02, 0x04, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << int{c.response} << "/" << int{c.key} << "/" << int{c.asc});
    Respond([c](SCSIRequest& r) {
      Fail(r, c.key, c.asc, 0x07);
      r.SenseArea[0] = c.response;
    });
    EXPECT_FALSE(device->TestUnitReady(5000));
    EXPECT_EQ(device->UnitBusy(), c.busy);
  }
}

TEST_F(Readiness, AReadyUnitNeedsOnePoll) {
  BusyFor({});
  EXPECT_TRUE(device->WaitUntilReady(10000, 1000));
  EXPECT_EQ(sleeps, std::vector<uint32_t>{1000});
}

TEST_F(Readiness, DiscInformationIsPolledWhileTheUnitIsBusy) {
  BusyFor({{0x51, 3}});
  EXPECT_TRUE(device->WaitUntilReady(10000, 1000));
  EXPECT_EQ(sleeps.size(), 4u);
}

TEST_F(Readiness, TheBudgetEndsTheWait) {
  BusyFor({{0x51, 1000}});
  EXPECT_FALSE(device->WaitUntilReady(10000, 1000));
  EXPECT_EQ(sleeps.size(), 11u);
}

TEST_F(Readiness, DVDRAMGoesThroughTestUnitReadyAndRequestSense) {
  device->SetDiscType(DiscKind::DVDRAM);
  BusyFor({{0x00, 2}}, {SenseAnswer(0xF0, 0x00), SenseAnswer(0x70, 0x04), SenseAnswer(0x70, 0x00)});
  EXPECT_TRUE(device->WaitUntilReady(30000, 5000));
  const auto opcodes = script.Opcodes();
  EXPECT_EQ(opcodes, (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x03, 0x03, 0x03}));
  // A wait before each of the two test polls, then one after each busy sense answer.
  EXPECT_EQ(sleeps, (std::vector<uint32_t>{5000, 5000, 5000, 5000}));
}

TEST_F(Readiness, LongWriteUnitsPollEveryOneAndAHalfSeconds) {
  inquiryIdentity = "PIONEER DVD-RW  DVR-104 1.00";
  Select("0:0:0,E:");
  script.Clear();
  BusyFor({{0x00, 2}});
  EXPECT_TRUE(device->WaitUntilReady(10000, 1000));
  EXPECT_EQ(sleeps, (std::vector<uint32_t>{1500, 1500, 1500, 1000}));
  // The first loop stops at the budget; the next ends the wait.
  sleeps.clear();
  BusyFor({{0x00, 1000}});
  EXPECT_FALSE(device->WaitUntilReady(4000, 1000));
  EXPECT_EQ(sleeps, (std::vector<uint32_t>{1500, 1500, 1500, 1000}));
}

}  // namespace
}  // namespace kvx::scsi::testing

namespace kvx::scsi::testing {
namespace {

// The command sequence of Erase and of its thread against a unit that is always ready.
class EraseSequence : public ScriptedUnitTest {
 protected:
  void StartErase(uint16_t profile, BlankType blankType) {
    Respond([profile](SCSIRequest& r) {
      if (r.CDBByte[0] == 0x46 && r.CDBByte[3] == 0x00) PutBigEndian16(r.SRB_BufPointer + 6, profile);
      if (r.CDBByte[0] == 0x5A) {
        std::memset(r.SRB_BufPointer, 0, r.SRB_BufLen);
        r.SRB_BufPointer[8] = r.CDBByte[2] & 0x3F;
        r.SRB_BufPointer[9] = 0x32;
        if ((r.CDBByte[2] & 0x3F) == 0x2A) PutBigEndian16(r.SRB_BufPointer + 8 + 20, 4234);  // 24X
      }
    });
    device->SetSleepFunction([this](uint32_t ms) { sleeps.push_back(ms); });
    device->SetOnEraseDone([this](TSCSIDevice*, bool withError, const std::string& error) {
      EXPECT_FALSE(withError) << error;
      done.Set();
    });
    ASSERT_TRUE(device->Erase(blankType));
    ASSERT_TRUE(done.Wait(10000));
    while (device->Erasing()) std::this_thread::yield();
  }
  // Opcodes sent up to and including the one that starts the blanking.
  std::vector<uint8_t> UpToStart(uint8_t last) {
    std::vector<uint8_t> opcodes = script.Opcodes();
    opcodes.resize(std::find(opcodes.begin(), opcodes.end(), last) - opcodes.begin() + 1);
    return opcodes;
  }
  Event done;
  std::vector<uint32_t> sleeps;
};

TEST_F(EraseSequence, CDRWGetsSpeedAndWriteParametersThenBlank) {
  StartErase(0x000A, BlankType::Minimal);
  EXPECT_EQ(UpToStart(0xA1), (std::vector<uint8_t>{0x00, 0x1B, 0x46, 0x51, 0x00, 0xBB, 0x5A, 0x55, 0x5A, 0x5A,
                                                   0x46, 0x46, 0x5A, 0x00, 0xA1}));
  const auto blank = std::find_if(script.sent.begin(), script.sent.end(), [](auto& s) { return s.cdb[0] == 0xA1; });
  EXPECT_EQ(blank->cdb[1], 0x11);
  EXPECT_EQ(debugLines.front(), ">>> STARTING ERASE PROCESS ON CD-RW AT 24X");
  // After the blanking: write parameters, 2X, rezero, unlock, load, rezero, test.
  const std::vector<uint8_t> opcodes = script.Opcodes();
  EXPECT_EQ(std::vector<uint8_t>(opcodes.end() - 6, opcodes.end()),
            (std::vector<uint8_t>{0xBB, 0x01, 0x1E, 0x1B, 0x01, 0x00}));
  EXPECT_EQ(script.sent[script.sent.size() - 6].cdb[4], 0x01);  // 2X = 354 kB/s
  EXPECT_EQ(script.sent[script.sent.size() - 6].cdb[5], 0x62);
  EXPECT_TRUE(sleeps.empty());
}

TEST_F(EraseSequence, DVDRAMIsFormattedWithoutSpeedOrWriteParameters) {
  StartErase(0x0012, BlankType::WholeDisc);
  EXPECT_EQ(UpToStart(0x04), (std::vector<uint8_t>{0x00, 0x1B, 0x46, 0x51, 0x00, 0x5A, 0x5A, 0x46, 0x46, 0x5A, 0x00,
                                                   0x23, 0x04}));
  EXPECT_EQ(script.sent[UpToStart(0x04).size() - 1].dataOut,
            (std::vector<uint8_t>{0x00, 0x82, 0x00, 0x08, 0x00, 0x22, 0x21, 0x20, 0x00, 0x00, 0x08, 0x00, 0, 0, 0, 0}));
  EXPECT_EQ(debugLines.front(), ">>> STARTING ERASE PROCESS ON DVD-RAM AT 1X");
}

TEST_F(EraseSequence, DVDPlusRWIsFormattedWithType26) {
  StartErase(0x001A, BlankType::Minimal);
  const size_t format = UpToStart(0x04).size() - 1;
  EXPECT_EQ(script.sent[format].cdb[1], 0x11);
  EXPECT_EQ(script.sent[format].dataOut,
            (std::vector<uint8_t>{0x00, 0x82, 0x00, 0x08, 0, 0, 0, 0, 0x98, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(debugLines.front(), ">>> STARTING ERASE PROCESS ON DVD+RW AT 3X");  // 24X / 7
}

TEST_F(EraseSequence, UjdaUnitsWaitOnceMoreAfterTheirPoll) {
  inquiryIdentity = "MATSHITAUJDA750 DVD/CDRW1.00";
  Select("0:0:0,E:");
  script.Clear();
  StartErase(0x000A, BlankType::WholeDisc);
  EXPECT_EQ(sleeps, std::vector<uint32_t>(5, 1000));  // 5 s, looking at the stop request each second
}

}  // namespace
}  // namespace kvx::scsi::testing
