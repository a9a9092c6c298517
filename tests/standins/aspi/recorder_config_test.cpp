// The configuration file, the saved disc state and the request blocks of the manager.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "scsi/aspi_defs.h"
#include "standins/aspi/aspi_manager.h"
#include "standins/aspi/medium.h"
#include "standins/aspi/recorder_config.h"

namespace kvx::aspi {
namespace {

TEST(RecorderConfig, EveryKeyIsRead) {
  std::vector<UnitConfig> units;
  std::string error;
  ASSERT_TRUE(ParseRecorderConfig("; units\n[General]\nMedia=nonsense\n\n[Unit3]\nvendor = PLEXTOR \n"
                                  "Product=PX-716A\nRevision=1.11\nMedia=dvd+rw\nState=Appendable\n"
                                  "Capacity=0x1000\nImage=C:\\disc.img\nMaxWriteSpeed=8\nMaxReadSpeed=12\n"
                                  "BufferSize=65536\nLetter=q\nFolder=Z:\\cd\nFast=1\nUnderrunFree=0\nUsedBlocks=400\n"
                                  "BusyWrites=3\nWriteErrorLba=77\nWriteErrorSense=2/4/1\nBlankTime=10\n"
                                  "FormatTime=20\nCloseTime=30\nLongWrite=1\nDvdPlusOnly=1\n[Unit0]\n",
                                  units, error))
      << error;
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[0].number, 0);
  EXPECT_EQ(units[0].media, MediaType::CdR);  // defaults
  const UnitConfig& u = units[1];
  EXPECT_EQ(u.number, 3);
  EXPECT_EQ(u.vendor, "PLEXTOR");
  EXPECT_EQ(u.product, "PX-716A");
  EXPECT_EQ(u.revision, "1.11");
  EXPECT_EQ(u.media, MediaType::DvdPlusRw);
  EXPECT_EQ(u.state, MediumState::Appendable);
  EXPECT_EQ(u.capacity, 4096u);
  EXPECT_EQ(u.image, "C:\\disc.img");
  EXPECT_EQ(u.maxWriteSpeed, 8);
  EXPECT_EQ(u.maxReadSpeed, 12);
  EXPECT_EQ(u.bufferSize, 65536u);
  EXPECT_EQ(u.letter, 'Q');
  EXPECT_EQ(u.folder, "Z:\\cd");
  EXPECT_TRUE(u.fast);
  EXPECT_FALSE(u.underrunFree);
  EXPECT_EQ(u.usedBlocks, 400u);
  EXPECT_EQ(u.busyWrites, 3u);
  EXPECT_EQ(u.writeErrorLba, 77);
  EXPECT_EQ(u.writeErrorKey, 2);
  EXPECT_EQ(u.writeErrorAsc, 4);
  EXPECT_EQ(u.writeErrorAscq, 1);
  EXPECT_EQ(u.blankMs, 10u);
  EXPECT_EQ(u.formatMs, 20u);
  EXPECT_EQ(u.closeMs, 30u);
  EXPECT_TRUE(u.longWrite);
  EXPECT_TRUE(u.dvdPlusOnly);
  EXPECT_FALSE(units[0].dvdPlusOnly);
}

TEST(RecorderConfig, TheLongWriteProductsAreLongWriteUnits) {
  std::vector<UnitConfig> units;
  std::string error;
  ASSERT_TRUE(ParseRecorderConfig("[Unit0]\nProduct=DVD-RW  DVR-103\n[Unit1]\nProduct=DVD-RW  DVR-104\nLongWrite=0\n"
                                  "[Unit2]\nProduct=DVD-RW  DVR-105\n",
                                  units, error));
  EXPECT_TRUE(units[0].longWrite);
  EXPECT_FALSE(units[1].longWrite);
  EXPECT_FALSE(units[2].longWrite);
}

TEST(RecorderConfig, BadValuesMakeTheFileUnusable) {
  for (const char* text : {"[Unit0]\nMedia=BD-R\n", "[Unit0]\nState=full\n", "[Unit0]\nCapacity=-5\n",
                           "[Unit0]\nMaxWriteSpeed=70000\n", "[Unit0]\nLetter=12\n", "[Unit0]\nWriteErrorSense=3-0C-00\n",
                           "[Unit0]\nColour=blue\n", "[Unit0]\nFast=yes\n"}) {
    std::vector<UnitConfig> units;
    std::string error;
    EXPECT_FALSE(ParseRecorderConfig(text, units, error)) << text;
    EXPECT_EQ(error.rfind("line 2: invalid ", 0), 0u) << error;
  }
  std::vector<UnitConfig> units;
  std::string error;
  EXPECT_FALSE(ReadRecorderConfig("/nonexistent/kvxaspi.ini", units, error));
  EXPECT_EQ(error, "cannot read /nonexistent/kvxaspi.ini");
}

TEST(SavedDisc, TheStateSurvivesTextAndRejectsDamage) {
  UnitConfig config;
  config.media = MediaType::CdRw;
  config.state = MediumState::Appendable;
  Medium disc = Medium::Configured(config);
  disc.written = 12;
  disc.reserved = 40;
  Medium back;
  ASSERT_TRUE(Medium::Parse(disc.Serialize(), back));
  EXPECT_EQ(back.Serialize(), disc.Serialize());
  EXPECT_EQ(back.tracks.size(), 1u);
  EXPECT_EQ(back.leadOuts, std::vector<uint32_t>{300});
  EXPECT_EQ(back.nextStart, 300u + 11400);
  EXPECT_EQ(disc.Serialize(),
            "Media=CD-RW\nCapacity=359849\nFormatted=0\nFinalised=0\nTrack=0,300,1\nLeadOut=300\n"
            "Current=11700,12,40\nRecordedEnd=0\n");
  for (const char* damaged : {"Media=CD-RW\nTrack=1,2\n", "Media=XX\n", "Capacity=5\n", "Media=CD-R\nCurrent=a,b,c\n",
                              "Media=CD-R\nOther=1\n"})
    EXPECT_FALSE(Medium::Parse(damaged, back)) << damaged;
}

TEST(SavedDisc, ConfiguredStates) {
  UnitConfig config;
  config.media = MediaType::DvdRom;
  config.state = MediumState::Blank;
  EXPECT_TRUE(Medium::Configured(config).finalised);  // pressed discs are never blank
  config.media = MediaType::DvdRam;
  EXPECT_FALSE(Medium::Configured(config).formatted);
  config.state = MediumState::Closed;
  EXPECT_TRUE(Medium::Configured(config).formatted);
  config.media = MediaType::DvdPlusR;
  config.usedBlocks = 1000;
  const Medium closed = Medium::Configured(config);
  EXPECT_TRUE(closed.finalised);
  EXPECT_EQ(closed.leadOuts, std::vector<uint32_t>{1000});
  EXPECT_EQ(closed.capacity, 2295104u);
}

// --- Request blocks ------------------------------------------------------------------------

class Manager : public ::testing::Test {
 protected:
  void SetUp() override {
    UnitConfig first, second;
    first.number = 0;
    first.letter = 'R';
    second.number = 2;
    std::vector<std::unique_ptr<VirtualRecorder>> units;
    units.push_back(std::make_unique<VirtualRecorder>(first, clock));
    units.push_back(std::make_unique<VirtualRecorder>(second, clock));
    manager = std::make_unique<AspiManager>(std::move(units));
  }
  ManualClock clock;
  std::unique_ptr<AspiManager> manager;
};

TEST_F(Manager, HostAdapterAndDevices) {
  EXPECT_EQ(manager->SupportInfo(), 0x0101u);
  EXPECT_EQ(AspiManager({}).SupportInfo(), 0xE800u);
  scsi::SRB_HAInquiry inquiry{};
  EXPECT_EQ(manager->Execute(&inquiry), scsi::SS_COMP);
  EXPECT_EQ(inquiry.HA_Count, 1);
  EXPECT_EQ(inquiry.HA_SCSI_ID, 7);
  EXPECT_EQ(std::string(inquiry.HA_ManagerId, 16), "KVXASPI STAND-IN");
  EXPECT_EQ(std::string(inquiry.HA_Identifier), "VIRTUAL MMC");
  inquiry.SRB_HaId = 1;
  EXPECT_EQ(manager->Execute(&inquiry), scsi::SS_INVALID_HA);

  scsi::SRB_GDEVBlock type{};
  type.SRB_Cmd = scsi::SC_GET_DEV_TYPE;
  type.SRB_Target = 2;
  EXPECT_EQ(manager->Execute(&type), scsi::SS_COMP);
  EXPECT_EQ(type.SRB_DeviceType, 0x05);
  type.SRB_Target = 1;
  EXPECT_EQ(manager->Execute(&type), scsi::SS_NO_DEVICE);

  scsi::SRB_GetDiskInfo disk{};
  disk.SRB_Cmd = scsi::SC_GET_DISK_INFO;
  EXPECT_EQ(manager->Execute(&disk), scsi::SS_COMP);
  EXPECT_EQ(disk.SRB_Int13HDriveInfo, 'R' - 'A');
  disk.SRB_Target = 2;
  EXPECT_EQ(manager->Execute(&disk), scsi::SS_ERR);  // no letter configured
  scsi::SRB_Header other{};
  other.SRB_Cmd = 0x09;
  EXPECT_EQ(manager->Execute(&other), scsi::SS_INVALID_CMD);
}

TEST_F(Manager, SenseIsCopiedUpToTheLengthAsked) {
  scsi::SCSIRequest request{};
  request.SRB_Cmd = scsi::SC_EXEC_SCSI_CMD;
  request.SRB_CDBLen = 6;
  request.SRB_SenseLen = 8;
  request.CDBByte[0] = 0x01;  // not an MMC command
  EXPECT_EQ(manager->Execute(&request), scsi::SS_ERR);
  EXPECT_EQ(request.SRB_TargStat, 0x02);
  EXPECT_EQ(request.SenseArea[0], 0x70);
  EXPECT_EQ(request.SenseArea[2], 0x05);
  EXPECT_EQ(request.SenseArea[12], 0x00);  // beyond the 8 bytes asked
  request.SRB_SenseLen = 14;
  EXPECT_EQ(manager->Execute(&request), scsi::SS_ERR);
  EXPECT_EQ(request.SenseArea[12], 0x20);
  EXPECT_EQ(request.SenseArea[14], 0x00);
  request.SRB_Target = 5;
  EXPECT_EQ(manager->Execute(&request), scsi::SS_NO_DEVICE);
  EXPECT_EQ(request.SRB_Status, scsi::SS_NO_DEVICE);
}

}  // namespace
}  // namespace kvx::aspi
