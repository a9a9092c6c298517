// The command layer against the virtual recorders: what a burn, a second session, a
// disc-at-once DVD-R or a fault look like from the engine's side, and what lands in
// the image file.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/scsi/recorder_fixture.h"

namespace kvx::scsi::testing {
namespace {

std::string UnitConfig(const std::string& media, const std::string& extra = "") {
  return "[Unit0]\nVendor=KVX\nProduct=VIRTUAL RECORDER\nRevision=1.00\nMedia=" + media +
         "\nImage=IMAGE\nFast=1\nLetter=E\n" + extra;
}

class Recorder : public RecorderTest {
 protected:
  void StartWith(const std::string& media, const std::string& extra = "") {
    std::string config = UnitConfig(media, extra);
    config.replace(config.find("IMAGE"), 5, ImagePath());
    Start(config);
  }
  // The writer's steps for one track-at-once session on a CD or DVD+R.
  uint32_t BurnSession(const std::vector<uint8_t>& data, DiscKind discType, bool finalize) {
    device->SetFinalizeDisc(true);
    EXPECT_TRUE(device->SetWriteParameters({.underrunProtection = true}, discType));
    device->SetFinalizeDisc(finalize);
    EXPECT_TRUE(device->ReadTrackInformation(device->GetLastSessionNumber() + 1u));
    const uint32_t start = device->TrackInfo().NextWritableAddress();
    const uint32_t sectors = static_cast<uint32_t>(data.size() / 2048);
    for (uint32_t done = 0; done < sectors;) {
      const uint32_t n = std::min(31u, sectors - done);
      EXPECT_TRUE(device->Write10(start + done, static_cast<uint16_t>(n), 0x50,
                                  std::span<const uint8_t>(data.data() + size_t{done} * 2048, size_t{n} * 2048)))
          << device->LastError();
      done += n;
    }
    EXPECT_TRUE(device->SynchronizeCache(120000, false));
    EXPECT_TRUE(device->SetWriteParameters({.underrunProtection = true}, discType));
    EXPECT_TRUE(device->CloseTrackSession(CloseFunction::Session, device->CloseImmediate()));
    EXPECT_TRUE(device->WaitUntilReady(240000, 5000));
    return start;
  }
};

TEST_F(Recorder, ScanShowsTheConfiguredUnits) {
  std::string config = UnitConfig("CD-R") + "[Unit1]\nVendor=PIONEER\nProduct=DVD-RW  DVR-104\nRevision=1.2A\nMedia=DVD-R\n";
  config.replace(config.find("IMAGE"), 5, ImagePath());
  Start(config);
  EXPECT_EQ(device->Devices(), (std::vector<std::string>{"0:0:0,E: KVX     VIRTUAL RECORDER1.00",
                                                         "0:1:0,?: PIONEER DVD-RW  DVR-104 1.2A"}));
  EXPECT_EQ(device->DeviceDescription(), "KVX      VIRTUAL RECORDER 1.00");
  EXPECT_EQ(device->SupportedWriteModes(), kWriteModeRaw | kWriteModeSAO | kWriteModeTAO);
  device->SetDevice(device->Devices()[1]);
  EXPECT_TRUE(device->LongWriteUnit());
  // DVD-R takes disc-at-once or incremental writing only.
  EXPECT_EQ(device->SupportedWriteModes(), kWriteModeSAO);
}

TEST_F(Recorder, EveryMediumGivesItsDiscType) {
  const std::pair<const char*, DiscKind> media[] = {
      {"CD-ROM", DiscKind::CDROM},       {"CD-R", DiscKind::CDR},         {"CD-RW", DiscKind::CDRW},
      {"DVD-ROM", DiscKind::DVDROM},     {"DVD-R", DiscKind::DVDMinusR},  {"DVD-RW", DiscKind::DVDMinusRW},
      {"DVD+R", DiscKind::DVDPlusR},     {"DVD+RW", DiscKind::DVDPlusRW}, {"DVD-RAM", DiscKind::DVDRAM},
      {"none", DiscKind::Unknown}};
  for (const auto& [name, type] : media) {
    SCOPED_TRACE(name);
    Stop();
    StartWith(name);
    EXPECT_EQ(device->GetDiscType(), type);
  }
  EXPECT_EQ(device->LastError(), "NOT READY (MEDIUM NOT PRESENT - TRAY CLOSED)");
}

TEST_F(Recorder, CapabilitiesAndSpeedsOfTheModel) {
  StartWith("CD-RW", "MaxWriteSpeed=24\nMaxReadSpeed=40\n");
  EXPECT_TRUE(device->ReadCapabilities());
  // A DVD recorder that writes DVD+RW (features) but not DVD-RAM.
  EXPECT_EQ(device->Capabilities(), 0x1Fu | 0x30 | 0x180 | 0x200 | 0x400 | 0x800 | 0x3000 | 0x18000 | 0x40000);
  EXPECT_EQ(device->GetMaxWriteSpeed(), 24);
  EXPECT_EQ(device->GetMaxReadSpeed(), 40);
  device->SetWriteSpeed(8);
  EXPECT_EQ(device->GetCurrentWriteSpeed(), 8);
  EXPECT_TRUE(device->SetCDSpeed(0, 0));
  EXPECT_EQ(device->GetCurrentWriteSpeed(), 24);
  Stop();
  StartWith("DVD+RW");
  EXPECT_TRUE(device->ReadCapabilities());
  EXPECT_EQ(device->Capabilities() & capability::kWriteDVDPlusRW, capability::kWriteDVDPlusRW);
  EXPECT_EQ(device->GetMaxWriteSpeed(), 126);  // 16X DVD in CD X factors
  uint32_t size, free;
  EXPECT_TRUE(device->ReadBufferCapacity(size, free));
  EXPECT_EQ(size, 2u * 1024 * 1024);
  EXPECT_EQ(free, size);
}

TEST_F(Recorder, ACDRSessionLandsAtLBAZeroAndTheNextRunAppends) {
  StartWith("CD-R");
  const auto first = Sectors(0, 300);
  EXPECT_EQ(BurnSession(first, DiscKind::CDR, false), 0u);
  EXPECT_EQ(ReadImage(), first);
  ASSERT_TRUE(device->ReadDiscInfo());
  EXPECT_EQ(device->DiscInfo().DiscStatus(), DiscState::Appendable);  // appendable
  EXPECT_EQ(device->DiscInfo().Sessions(), 2);
  std::vector<uint8_t> back(2048 * 2);
  EXPECT_TRUE(device->Read10(298, 2, back));
  EXPECT_TRUE(std::equal(back.begin(), back.end(), first.begin() + 298 * 2048));
  EXPECT_FALSE(device->Read10(300, 1, std::span<uint8_t>(back.data(), 2048)));
  EXPECT_EQ(device->LastError(), "ILLEGAL REQUEST (LOGICAL BLOCK ADDRESS OUT OF RANGE)");

  Restart();
  EXPECT_EQ(device->GetLastSessionNumber(), 1);
  const auto second = Sectors(1000, 40);
  EXPECT_EQ(BurnSession(second, DiscKind::CDR, true), 300u + 11400);
  const auto image = ReadImage();
  ASSERT_EQ(image.size(), (300u + 11400 + 40) * 2048);
  EXPECT_TRUE(std::equal(second.begin(), second.end(), image.begin() + (300 + 11400) * 2048));
  ASSERT_TRUE(device->ReadDiscInfo());
  EXPECT_EQ(device->DiscInfo().DiscStatus(), DiscState::Complete);  // finalised
  EXPECT_EQ(device->GetLastSessionNumber(), 2);
  std::vector<uint8_t> data(2048);
  EXPECT_FALSE(device->Write10(11740, 1, 0x50, data));
  EXPECT_EQ(device->LastError(), "ILLEGAL REQUEST (INVALID ADDRESS FOR WRITE)");
}

TEST_F(Recorder, WriteOnceMediaTakeDataOnlyAtTheNextWritableAddress) {
  StartWith("CD-R");
  device->SetWriteParameters({.underrunProtection = true}, DiscKind::CDR);
  std::vector<uint8_t> data(2048);
  EXPECT_FALSE(device->Write10(16, 1, 0x50, data));
  EXPECT_EQ(device->LastError(), "ILLEGAL REQUEST (INVALID ADDRESS FOR WRITE)");
  ASSERT_EQ(debugLines.size(), 1u);
  EXPECT_EQ(debugLines[0].rfind("<<< WRITE (10)", 0), 0u);
  EXPECT_TRUE(device->Write10(0, 1, 0x50, data));
  EXPECT_TRUE(device->Write10(1, 1, 0x50, data));
  EXPECT_FALSE(device->Write10(1, 1, 0x50, data));
}

TEST_F(Recorder, DVDMinusRDiscAtOnceEndsWithTheLeadOut) {
  StartWith("DVD-R", "CloseTime=20000\n");
  device->SetFinalizeDisc(true);
  EXPECT_TRUE(device->SetWriteParameters({.underrunProtection = true}, DiscKind::DVDMinusR));
  std::vector<uint8_t> streaming(28, 0);
  streaming[10] = 0x23, streaming[9] = 0x00, streaming[8] = 0x00, streaming[11] = 0x7F;
  streaming[14] = 0xAB, streaming[15] = 0xBD, streaming[18] = 0x03, streaming[19] = 0xE8;
  streaming[22] = 0x05, streaming[23] = 0x8A, streaming[26] = 0x03, streaming[27] = 0xE8;
  EXPECT_TRUE(device->SetStreaming(streaming));
  EXPECT_TRUE(device->SendTimeStamp(45000.5));
  const auto data = Sectors(0, 100);
  EXPECT_FALSE(device->Write10(0, 31, 0x50, std::span<const uint8_t>(data.data(), 31 * 2048)));
  EXPECT_EQ(device->LastError(), "ILLEGAL REQUEST (COMMAND SEQUENCE ERROR)");  // no reservation yet
  EXPECT_EQ(debugLines.size(), 1u);
  debugLines.clear();
  EXPECT_TRUE(device->ReserveTrack(101));
  for (uint32_t lba = 0; lba < 100; lba += 25)
    EXPECT_TRUE(device->Write10(lba, 25, 0x50, std::span<const uint8_t>(data.data() + lba * 2048, 25 * 2048)));
  EXPECT_TRUE(device->SynchronizeCache(1800000, true));
  int polls = 0;
  while (!device->ReadDiscInfo()) {
    EXPECT_EQ(device->LastError(), "NOT READY (LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS)");
    clock.Advance(1000);
    ++polls;
  }
  EXPECT_EQ(polls, 20);
  EXPECT_TRUE(debugLines.empty());
  EXPECT_EQ(device->DiscInfo().DiscStatus(), DiscState::Complete);
  ASSERT_TRUE(device->ReadTrackInformation(1));
  EXPECT_EQ(device->TrackInfo().TrackSize(), 101u);
  EXPECT_EQ(ReadImage(), data);
}

TEST_F(Recorder, DVDPlusRClosesItsTrackThenFinalises) {
  StartWith("DVD+R");
  const auto data = Sectors(0, 48);
  EXPECT_TRUE(device->SetWriteParameters({.underrunProtection = true}, DiscKind::DVDPlusR));
  EXPECT_TRUE(device->Write10(0, 24, 0x50, std::span<const uint8_t>(data.data(), 24 * 2048)));
  EXPECT_TRUE(device->Write10(24, 24, 0x50, std::span<const uint8_t>(data.data() + 24 * 2048, 24 * 2048)));
  EXPECT_TRUE(device->CloseTrackSession(CloseFunction::Track, false));
  EXPECT_TRUE(device->CloseTrackSession(CloseFunction::Finalize, true));
  EXPECT_TRUE(device->WaitUntilReady(240000, 5000));
  EXPECT_TRUE(device->ReadDiscInfo());
  EXPECT_EQ(device->DiscInfo().DiscStatus(), DiscState::Complete);
  EXPECT_EQ(ReadImage(), data);
}

TEST_F(Recorder, RandomAccessMediaNeedAFormatAndTakeAnyAddress) {
  StartWith("DVD+RW");
  std::vector<uint8_t> data = Sectors(5000, 2);
  EXPECT_FALSE(device->Write10(5000, 2, 0x50, data));
  EXPECT_EQ(device->LastError(), "ILLEGAL REQUEST (MEDIUM NOT FORMATTED)");
  Stop();
  std::filesystem::remove(ImagePath() + ".state");  // else the saved blank disc continues
  StartWith("DVD+RW", "State=appendable\n");
  EXPECT_TRUE(device->Write10(5000, 2, 0x50, data));
  EXPECT_TRUE(device->Write10(16, 1, 0x50, std::span<const uint8_t>(data.data(), 2048)));
  std::vector<uint8_t> back(4096);
  EXPECT_TRUE(device->Read10(5000, 2, back));
  EXPECT_EQ(back, data);
}

TEST_F(Recorder, BusyWritesAreRetriedLikeTheWriterDoes) {
  StartWith("CD-R", "BusyWrites=2\n");
  device->SetWriteParameters({.underrunProtection = true}, DiscKind::CDR);
  std::vector<uint8_t> data(2048);
  EXPECT_FALSE(device->Write10(0, 1, 0x50, data));
  EXPECT_TRUE(device->TargetBusy());
  EXPECT_EQ(device->LastError(), "TARGET BUSY");
  EXPECT_FALSE(device->Write10(0, 1, 0x50, data));
  EXPECT_TRUE(device->Write10(0, 1, 0x50, data));
  EXPECT_EQ(Unit().DiscState().written, 1u);
}

TEST_F(Recorder, AWriteErrorAtAnLBACarriesTheConfiguredSense) {
  StartWith("CD-R", "WriteErrorLba=40\nWriteErrorSense=3/0C/09\n");
  device->SetWriteParameters({.underrunProtection = true}, DiscKind::CDR);
  const auto data = Sectors(0, 31);
  EXPECT_TRUE(device->Write10(0, 31, 0x50, data));
  EXPECT_FALSE(device->Write10(31, 31, 0x50, data));
  EXPECT_EQ(device->LastError(), "MEDIUM ERROR (WRITE ERROR - LOSS OF STREAMING)");
  ASSERT_EQ(debugLines.size(), 1u);
  EXPECT_NE(debugLines[0].find("= 00 02 70 03 ASC:0C,ASQ:09 MEDIUM ERROR (WRITE ERROR - LOSS OF STREAMING)"),
            std::string::npos);
}

TEST_F(Recorder, TheTrayAndTheMediumNotPresent) {
  StartWith("CD-R");
  EXPECT_TRUE(device->PreventAllowRemoval(false));
  EXPECT_FALSE(device->LoadEject(true));
  EXPECT_EQ(device->LastError(), "ILLEGAL REQUEST (MEDIUM REMOVAL PREVENTED)");
  EXPECT_TRUE(device->PreventAllowRemoval(true));
  EXPECT_TRUE(device->LoadEject(true));
  EXPECT_FALSE(device->TestUnitReady(5000));
  EXPECT_EQ(device->LastError(), "NOT READY (MEDIUM NOT PRESENT - TRAY OPEN)");
  EXPECT_TRUE(device->LoadEject(false));
  EXPECT_TRUE(device->TestUnitReady(5000));
}

TEST_F(Recorder, AThrottledUnitTakesDataAtItsWriteSpeed) {
  StartWith("CD-R", "Fast=0\nMaxWriteSpeed=4\nBufferSize=65536\n");
  device->SetWriteParameters({.underrunProtection = true}, DiscKind::CDR);
  const auto data = Sectors(0, 31);
  const uint64_t before = clock.NowMs();
  for (uint32_t block = 0; block < 10; ++block) EXPECT_TRUE(device->Write10(block * 31, 31, 0x50, data));
  // 4X = 704 bytes per ms; all but one buffer-full had to be burned first.
  const uint64_t expected = (10 * 63488 - 65536) / 704;
  EXPECT_NEAR(static_cast<double>(clock.NowMs() - before), static_cast<double>(expected), 10.0);
  uint32_t size, free;
  EXPECT_TRUE(device->ReadBufferCapacity(size, free));
  EXPECT_EQ(size, 65536u);
  EXPECT_LT(free, 65536u - 63488u + 1);
  EXPECT_TRUE(device->SynchronizeCache(120000, false));
  EXPECT_TRUE(device->ReadBufferCapacity(size, free));
  EXPECT_EQ(free, 65536u);
}

TEST_F(Recorder, TestWritesRecordNothing) {
  StartWith("CD-R");
  EXPECT_TRUE(device->ReadCapabilities());
  const auto data = Sectors(0, 31);
  EXPECT_TRUE(device->SetWriteParameters({.testWrite = true, .underrunProtection = true}, DiscKind::CDR));
  EXPECT_TRUE(device->Write10(0, 31, 0x50, data));
  EXPECT_TRUE(device->Write10(31, 31, 0x50, data));
  EXPECT_TRUE(device->SynchronizeCache(120000, false));
  EXPECT_TRUE(device->ReadDiscInfo());
  EXPECT_EQ(device->DiscInfo().DiscStatus(), DiscState::Blank);
  EXPECT_TRUE(ReadImage().empty());
}

}  // namespace
}  // namespace kvx::scsi::testing
