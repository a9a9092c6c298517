// The configuration file, the saved disc state and the request blocks of the manager.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <span>
#include <stdexcept>
#include <vector>

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
                                  "FormatTime=20\nCloseTime=30\nLongWrite=1\nDvdPlusOnly=1\n"
                                  "Faults=35 3/0C/00; 2a@0x7D0 gone;A1 3/31/00;5B NoSense\n[Unit0]\n",
                                  units, error))
      << error;
  ASSERT_EQ(units.size(), 2u);
  EXPECT_EQ(units[0].number, 0);
  EXPECT_EQ(units[0].media, MediaType::CDR);  // defaults
  const UnitConfig& u = units[1];
  EXPECT_EQ(u.number, 3);
  EXPECT_EQ(u.vendor, "PLEXTOR");
  EXPECT_EQ(u.product, "PX-716A");
  EXPECT_EQ(u.revision, "1.11");
  EXPECT_EQ(u.media, MediaType::DVDPlusRW);
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
  EXPECT_EQ(u.writeErrorLBA, 77);
  EXPECT_EQ(u.writeErrorSense.key, 2);
  EXPECT_EQ(u.writeErrorSense.asc, 4);
  EXPECT_EQ(u.writeErrorSense.ascq, 1);
  EXPECT_EQ(u.blankMs, 10u);
  EXPECT_EQ(u.formatMs, 20u);
  EXPECT_EQ(u.closeMs, 30u);
  EXPECT_TRUE(u.longWrite);
  EXPECT_TRUE(u.dvdPlusOnly);
  EXPECT_FALSE(units[0].dvdPlusOnly);
  ASSERT_EQ(u.faults.size(), 4u);
  EXPECT_EQ(u.faults[0].opcode, 0x35);
  EXPECT_EQ(u.faults[0].lba, -1);
  EXPECT_FALSE(u.faults[0].gone);
  EXPECT_EQ(u.faults[0].sense.asc, 0x0C);
  EXPECT_EQ(u.faults[1].opcode, 0x2A);
  EXPECT_EQ(u.faults[1].lba, 2000);
  EXPECT_TRUE(u.faults[1].gone);
  EXPECT_EQ(u.faults[2].sense.key, 3);
  EXPECT_EQ(u.faults[2].sense.asc, 0x31);
  EXPECT_FALSE(u.faults[2].noSense);
  EXPECT_TRUE(u.faults[3].noSense);
  EXPECT_TRUE(units[0].faults.empty());
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
                           "[Unit0]\nColour=blue\n", "[Unit0]\nFast=yes\n", "[Unit0]\nFaults=35\n",
                           "[Unit0]\nFaults=135 3/0C/00\n", "[Unit0]\nFaults=00@10 3/0C/00\n",
                           "[Unit0]\nFaults=2A@-1 gone\n", "[Unit0]\nFaults=2A away\n",
                           "[Unit0]\nFaults=2A 3/0C/00 gone\n", "[Unit0]\nFaults=28@10 garble\n",
                           "[Unit0]\nFaults=2A garble\n"}) {
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
  config.media = MediaType::CDRW;
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
                              "Media=CD-R\nOther=1\n", "Media=CD-R\nTrack=0,300,65537\n"})
    EXPECT_FALSE(Medium::Parse(damaged, back)) << damaged;
}

TEST(SavedDisc, ConfiguredStates) {
  UnitConfig config;
  config.media = MediaType::DVDROM;
  config.state = MediumState::Blank;
  EXPECT_TRUE(Medium::Configured(config).finalised);  // pressed discs are never blank
  config.media = MediaType::DVDRAM;
  EXPECT_FALSE(Medium::Configured(config).formatted);
  config.state = MediumState::Closed;
  EXPECT_TRUE(Medium::Configured(config).formatted);
  config.media = MediaType::DVDPlusR;
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
    manager = std::make_unique<ASPIManager>(std::move(units));
  }
  ManualClock clock;
  std::unique_ptr<ASPIManager> manager;
};

TEST_F(Manager, HostAdapterAndDevices) {
  EXPECT_EQ(manager->SupportInfo(), 0x0101u);
  EXPECT_EQ(ASPIManager({}).SupportInfo(), 0xE800u);
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

// Sends one command block to target 0 and returns SRB_Status.
uint8_t Send(ASPIManager& manager, scsi::SCSIRequest& request, std::vector<uint8_t> cdb, std::span<uint8_t> data = {}) {
  request = scsi::SCSIRequest{};
  request.SRB_Cmd = scsi::SC_EXEC_SCSI_CMD;
  request.SRB_SenseLen = scsi::SENSE_LEN;
  request.SRB_CDBLen = static_cast<uint8_t>(cdb.size());
  std::copy(cdb.begin(), cdb.end(), request.CDBByte);
  request.SRB_BufPointer = data.data();
  request.SRB_BufLen = static_cast<uint32_t>(data.size());
  return manager.Execute(&request);
}

std::unique_ptr<ASPIManager> FaultyUnit(const std::string& keys, RecorderClock& clock) {
  std::vector<UnitConfig> configs;
  std::string error;
  EXPECT_TRUE(ParseRecorderConfig("[Unit0]\n" + keys, configs, error)) << error;
  std::vector<std::unique_ptr<VirtualRecorder>> units;
  units.push_back(std::make_unique<VirtualRecorder>(configs.at(0), clock));
  return std::make_unique<ASPIManager>(std::move(units));
}

// The clock of a unit that fails inside the model once armed.
class FailingClock : public ManualClock {
 public:
  uint64_t NowMs() override {
    if (failing) throw std::runtime_error("clock gone");
    return ManualClock::NowMs();
  }
  std::atomic<bool> failing{false};
};

// Nothing may leave the DLL's entry points, nor end the completion thread: a request the
// model throws on fails with SS_ERR, its text goes to the failure report.
TEST(Faults, AnExceptionInTheModelFailsTheRequest) {
  FailingClock clock;
  std::unique_ptr<ASPIManager> manager = FaultyUnit("Media=CD-R\n", clock);
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::string> reports;
  int completions = 0;
  manager->SetFailureReport([&](const std::string& text) {
    std::lock_guard<std::mutex> guard(lock);
    reports.push_back(text);
  });
  clock.failing = true;
  scsi::SCSIRequest r;
  uint8_t status = 0;
  EXPECT_NO_THROW(status = Send(*manager, r, {0x00, 0, 0, 0, 0, 0}));
  EXPECT_EQ(status, scsi::SS_ERR);
  EXPECT_EQ(r.SRB_Status, scsi::SS_ERR);
  EXPECT_EQ(reports, std::vector<std::string>{"clock gone"});

  manager->CompleteLater([&](void*) {
    std::lock_guard<std::mutex> guard(lock);
    ++completions;
    changed.notify_all();
  });
  EXPECT_EQ(Send(*manager, r, {0x00, 0, 0, 0, 0, 0}), scsi::SS_PENDING);
  std::unique_lock<std::mutex> wait(lock);
  ASSERT_TRUE(changed.wait_for(wait, std::chrono::seconds(10), [&] { return completions == 1; }));
  EXPECT_EQ(std::atomic_ref<uint8_t>(r.SRB_Status).load(), scsi::SS_ERR);
  EXPECT_EQ(reports.size(), 2u);
}

// The exported entry points' guards: what the work answers, or the ASPI failure.
TEST(Faults, EntryPointGuardsAnswerTheASPIFailure) {
  std::vector<std::string> reports;
  const FailureReport report = [&](const std::string& text) { reports.push_back(text); };
  EXPECT_EQ(GuardSupportInfo([] { return 0x0101u; }, report), 0x0101u);
  EXPECT_EQ(GuardSupportInfo([]() -> uint32_t { throw std::runtime_error("no memory"); }, report),
            uint32_t{scsi::SS_FAILED_INIT} << 8);
  scsi::SCSIRequest request{};
  request.SRB_Cmd = scsi::SC_EXEC_SCSI_CMD;
  EXPECT_EQ(GuardRequest(&request, [] { return uint32_t{scsi::SS_COMP}; }, report), scsi::SS_COMP);
  EXPECT_EQ(GuardRequest(&request, []() -> uint32_t { throw 5; }, report), scsi::SS_ERR);
  EXPECT_EQ(request.SRB_Status, scsi::SS_ERR);
  EXPECT_EQ(GuardRequest(nullptr, []() -> uint32_t { throw 5; }, report), scsi::SS_ERR);
  EXPECT_EQ(reports, (std::vector<std::string>{"no memory", "unknown exception", "unknown exception"}));
}

TEST(Faults, ACommandFailsWhereItCoversTheLBAAndAGoneUnitAnswersNothingMore) {
  ManualClock clock;
  auto manager = FaultyUnit("Media=CD-R\nState=appendable\nLetter=R\nFaults=28@10 3/11/00;35 gone\n", clock);
  std::vector<uint8_t> data(4 * 2048);
  scsi::SCSIRequest r;
  EXPECT_EQ(Send(*manager, r, {0x28, 0, 0, 0, 0, 8, 0, 0, 2, 0}, data), scsi::SS_COMP);  // 8 and 9
  EXPECT_EQ(Send(*manager, r, {0x28, 0, 0, 0, 0, 9, 0, 0, 2, 0}, data), scsi::SS_ERR);   // 9 and 10
  EXPECT_EQ(r.SRB_TargStat, kStatusCheckCondition);
  EXPECT_EQ(r.SenseArea[2], 0x03);
  EXPECT_EQ(r.SenseArea[12], 0x11);
  EXPECT_EQ(Send(*manager, r, {0x00, 0, 0, 0, 0, 0}), scsi::SS_COMP);
  // The flush takes the unit off the bus: selection time-outs from then on.
  for (const std::vector<uint8_t>& cdb : {std::vector<uint8_t>{0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                                          std::vector<uint8_t>{0x00, 0, 0, 0, 0, 0}}) {
    EXPECT_EQ(Send(*manager, r, cdb), scsi::SS_ERR);
    EXPECT_EQ(r.SRB_HaStat, scsi::HASTAT_SEL_TO);
    EXPECT_EQ(r.SenseArea[0], 0);
  }
  scsi::SRB_GDEVBlock type{};
  type.SRB_Cmd = scsi::SC_GET_DEV_TYPE;
  EXPECT_EQ(manager->Execute(&type), scsi::SS_NO_DEVICE);
  scsi::SRB_GetDiskInfo disk{};
  disk.SRB_Cmd = scsi::SC_GET_DISK_INFO;
  EXPECT_EQ(manager->Execute(&disk), scsi::SS_NO_DEVICE);
}

// A garbled sector is written without any error and read back as recorded: the sector
// the fault names differs from what was sent, in one byte; its neighbours do not.
TEST(Faults, AGarbledWriteSucceedsAndItsSectorReadsBackAltered) {
  ManualClock clock;
  const std::string image = (std::filesystem::temp_directory_path() / "kvx_garbled.img").string();
  std::filesystem::remove(image);
  std::filesystem::remove(image + ".state");
  auto manager = FaultyUnit("Media=CD-R\nFast=1\nImage=" + image + "\nFaults=2A@2 garble\n", clock);
  std::vector<uint8_t> sent(4 * 2048), read(4 * 2048);
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 13 + i / 2048);
  scsi::SCSIRequest r;
  EXPECT_EQ(Send(*manager, r, {0x2A, 0, 0, 0, 0, 0, 0, 0, 4, 0}, sent), scsi::SS_COMP);
  EXPECT_EQ(Send(*manager, r, {0x28, 0, 0, 0, 0, 0, 0, 0, 4, 0}, read), scsi::SS_COMP);
  std::vector<size_t> differ;
  for (size_t i = 0; i < read.size(); ++i)
    if (read[i] != sent[i]) differ.push_back(i);
  EXPECT_EQ(differ, std::vector<size_t>{2 * 2048 + 1000});
  manager.reset();
  std::filesystem::remove(image);
  std::filesystem::remove(image + ".state");
}

TEST(Faults, AFailedBlankingShowsOnceItsBusyPeriodIsOver) {
  ManualClock clock;
  auto manager = FaultyUnit("Media=CD-RW\nState=appendable\nBlankTime=1000\nFaults=A1 3/31/00\n", clock);
  scsi::SCSIRequest r;
  EXPECT_EQ(Send(*manager, r, {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), scsi::SS_COMP);  // immediate
  EXPECT_EQ(Send(*manager, r, {0x00, 0, 0, 0, 0, 0}), scsi::SS_ERR);
  EXPECT_EQ(r.SenseArea[12], 0x04);  // busy blanking
  clock.Advance(1000);
  std::vector<uint8_t> sense(18);
  EXPECT_EQ(Send(*manager, r, {0x03, 0, 0, 0, 18, 0}, sense), scsi::SS_COMP);
  EXPECT_EQ(sense[2], 0x03);
  EXPECT_EQ(sense[12], 0x31);
  EXPECT_EQ(Send(*manager, r, {0x00, 0, 0, 0, 0, 0}), scsi::SS_COMP);  // reported once
}

// A unit that ends a command in CHECK CONDITION and gives no sense bytes: at once, or
// for a blanking once its busy period is over (REQUEST SENSE has none to give either).
TEST(Faults, NoSenseEndsInCheckConditionWithAnEmptySenseArea) {
  ManualClock clock;
  auto manager = FaultyUnit("Media=CD-RW\nState=appendable\nBlankTime=1000\nFaults=35 nosense;A1 nosense\n", clock);
  scsi::SCSIRequest r;
  EXPECT_EQ(Send(*manager, r, {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}), scsi::SS_ERR);
  EXPECT_EQ(r.SRB_TargStat, kStatusCheckCondition);
  EXPECT_EQ(std::count(std::begin(r.SenseArea), std::end(r.SenseArea), 0), std::ssize(r.SenseArea));
  EXPECT_EQ(Send(*manager, r, {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), scsi::SS_COMP);
  clock.Advance(1000);
  std::vector<uint8_t> sense(18, 0xEE);
  EXPECT_EQ(Send(*manager, r, {0x03, 0, 0, 0, 18, 0}, sense), scsi::SS_ERR);
  EXPECT_EQ(r.SRB_TargStat, kStatusCheckCondition);
  EXPECT_EQ(r.SenseArea[0], 0);
  EXPECT_EQ(sense[0], 0xEE);  // no sense data transferred
  EXPECT_EQ(Send(*manager, r, {0x00, 0, 0, 0, 0, 0}), scsi::SS_COMP);  // reported once
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
