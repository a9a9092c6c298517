// The pass-through emulation over scripted volumes, and how the transport is chosen.
#include <gtest/gtest.h>

#include <cstring>

#include "base/event.h"
#include "base/folders.h"
#include "scsi/pass_through.h"
#include "scsi/scsi_device.h"
#include "scsi/sense_text.h"
#include "tests/scsi/scripted_transport.h"
#include "tests/scsi/scripted_volumes.h"

namespace kvx::scsi::testing {
namespace {

// A machine with real units on ports 0 and 1, two units without an address, one that
// cannot be opened, one that does not answer, and a hard disk.
ScriptedVolume Volume(char letter, const std::string& identity = "VENDOR  PRODUCT NAME    1.00") {
  ScriptedVolume volume;
  volume.letter = letter;
  volume.identity = identity;
  return volume;
}

void AddMachine(ScriptedVolumes& volumes) {
  volumes.Add(Volume('C')).driveType = 3;
  volumes.Add(Volume('D', "VENDOR  D UNIT          1.00")).address = Address(0, 1);
  volumes.Add(Volume('E', "VENDOR  E UNIT          1.00")).opensReadWrite = false;
  ScriptedVolume& closed = volumes.Add(Volume('F'));
  closed.opensReadWrite = closed.opensReadOnly = false;
  volumes.Add(Volume('G')).ioctlFails = true;
  volumes.Add(Volume('H', "VENDOR  H UNIT          1.00"));
  volumes.Add(Volume('K', "VENDOR  K UNIT          1.00")).address = Address(1, 0);
}

SCSIRequest Request(uint8_t adapter, uint8_t target, uint8_t opcode, uint8_t flags, uint8_t* buffer = nullptr,
                    uint32_t length = 0) {
  SCSIRequest request{};
  request.SRB_Cmd = SC_EXEC_SCSI_CMD;
  request.SRB_HaId = adapter;
  request.SRB_Target = target;
  request.SRB_Flags = flags;
  request.SRB_SenseLen = SENSE_LEN;
  request.SRB_CDBLen = 6;
  request.SRB_BufPointer = buffer;
  request.SRB_BufLen = length;
  request.CDBByte[0] = opcode;
  return request;
}

TEST(PassThroughTable, UnitsWithoutAddressFormOneMoreAdapter) {
  ScriptedVolumes volumes;
  AddMachine(volumes);
  const std::atomic<bool> closeAfterCommand{true};
  PassThroughTransport emulation(volumes, closeAfterCommand);
  EXPECT_EQ(emulation.BuildTable(), 4);
  const SPTIDeviceTable& table = emulation.Table();
  EXPECT_EQ(table.count, 3);
  const auto entry = [&](char letter) -> const SPTIDeviceEntry& { return table.entries[letter - 'A']; };
  EXPECT_TRUE(entry('D').present);
  EXPECT_EQ(entry('D').adapter, 0);
  EXPECT_EQ(entry('D').target, 1);
  EXPECT_EQ(entry('K').adapter, 1);
  EXPECT_EQ(entry('E').adapter, 2);
  EXPECT_EQ(entry('E').target, 0);
  EXPECT_EQ(entry('E').lun, 0);
  EXPECT_EQ(entry('H').adapter, 2);
  EXPECT_EQ(entry('H').target, 1);
  EXPECT_EQ(entry('H').letter, 'H' - 'A');
  EXPECT_FALSE(entry('C').present);
  EXPECT_FALSE(entry('F').present);
  EXPECT_FALSE(entry('G').present);
  EXPECT_EQ(std::memcmp(entry('E').inquiry.data() + 8, "VENDOR  E UNIT", 14), 0);
  EXPECT_EQ(volumes.openHandles, 0);
  // Every letter from C: to Z: is asked for its type.
  EXPECT_EQ(volumes.driveTypeRoots.size(), 24u);
  EXPECT_EQ(volumes.driveTypeRoots.front(), "C:\\");
  EXPECT_EQ(emulation.SupportInfo(), 0x0103u);
}

TEST(PassThroughTable, VolumesAreOpenedForWritingThenForReading) {
  ScriptedVolumes volumes;
  volumes.Add(Volume('E')).opensReadWrite = false;
  const std::atomic<bool> closeAfterCommand{true};
  PassThroughTransport emulation(volumes, closeAfterCommand);
  EXPECT_EQ(emulation.BuildTable(), 1);
  ASSERT_EQ(volumes.opens.size(), 2u);
  EXPECT_EQ(volumes.opens[0].path, "\\\\.\\E:");
  EXPECT_EQ(volumes.opens[0].access, 0xC0000000u);
  EXPECT_EQ(volumes.opens[0].share, 3u);
  EXPECT_EQ(volumes.opens[0].disposition, 3u);
  EXPECT_EQ(volumes.opens[0].flags, 0x80u);
  EXPECT_EQ(volumes.opens[1].access, 0x80000000u);
  EXPECT_EQ(volumes.opens[1].share, 1u);
  EXPECT_EQ(volumes.opens[1].flags, 0u);
  // The INQUIRY that probes the unit.
  ASSERT_EQ(volumes.passThroughs.size(), 1u);
  const SCSI_PASS_THROUGH_DIRECT& sptd = volumes.passThroughs[0].Sptd;
  EXPECT_EQ(sptd.Length, sizeof(SCSI_PASS_THROUGH_DIRECT));
  EXPECT_EQ(sptd.CDBLength, 6);
  EXPECT_EQ(sptd.SenseInfoLength, 24);
  EXPECT_EQ(sptd.DataIn, SCSI_IOCTL_DATA_IN);
  EXPECT_EQ(sptd.DataTransferLength, 96u);
  EXPECT_EQ(sptd.TimeOutValue, 120u);
  EXPECT_EQ(sptd.SenseInfoOffset, offsetof(PassThroughWithSense, SenseBuf));
  EXPECT_EQ(volumes.cdbsSent[0], (std::array<uint8_t, 16>{0x12, 0, 0, 0, 0x60, 0}));
  EXPECT_EQ(volumes.passThroughLengths[0], sizeof(PassThroughWithSense));
  // Built once until the table is cleared.
  EXPECT_EQ(PassThroughTransport(volumes, closeAfterCommand).SupportInfo(), 0xE800u);
}

class Emulation : public ::testing::Test {
 protected:
  void SetUp() override {
    AddMachine(volumes);
    ASSERT_EQ(emulation.BuildTable(), 4);
    volumes.opens.clear();
    volumes.passThroughs.clear();
    volumes.cdbsSent.clear();
  }
  ScriptedVolumes volumes;
  std::atomic<bool> closeAfterCommand{true};
  PassThroughTransport emulation{volumes, closeAfterCommand};
};

TEST_F(Emulation, HostAdapterInquiryAndDeviceType) {
  SRB_HAInquiry inquiry{};
  inquiry.SRB_HaId = 2;
  EXPECT_EQ(emulation.SendCommand(&inquiry), SS_COMP);
  EXPECT_EQ(inquiry.HA_Count, 3);
  EXPECT_EQ(inquiry.HA_SCSI_ID, 7);
  EXPECT_EQ(std::string(inquiry.HA_ManagerId, 16), "VTASPI32 EMULATE");
  EXPECT_EQ(std::string(inquiry.HA_Identifier, 16), std::string("SPTI 2\0\0\0\0\0\0\0\0\0\0", 16));
  const uint8_t unique[16] = {0x07, 0, 0, 0x08, 0, 0, 0xFF, 0};
  EXPECT_EQ(std::memcmp(inquiry.HA_Unique, unique, 16), 0);
  inquiry.SRB_HaId = 3;
  EXPECT_EQ(emulation.SendCommand(&inquiry), SS_INVALID_HA);
  EXPECT_EQ(inquiry.HA_Count, 3);

  SRB_GDEVBlock type{};
  type.SRB_Cmd = SC_GET_DEV_TYPE;
  type.SRB_HaId = 2;
  type.SRB_Target = 1;
  EXPECT_EQ(emulation.SendCommand(&type), SS_COMP);
  EXPECT_EQ(type.SRB_DeviceType, 0x05);
  type.SRB_Lun = 1;
  EXPECT_EQ(emulation.SendCommand(&type), SS_NO_DEVICE);
  EXPECT_EQ(type.SRB_DeviceType, 0x1F);
}

TEST_F(Emulation, InquiryIsAnsweredFromTheTable) {
  uint8_t answer[96];
  std::memset(answer, 0xEE, sizeof(answer));
  SCSIRequest request = Request(1, 0, 0x12, 0x48, answer, sizeof(answer));
  EXPECT_EQ(emulation.SendCommand(&request), SS_COMP);
  EXPECT_EQ(std::memcmp(answer + 8, "VENDOR  K UNIT", 14), 0);
  EXPECT_EQ(answer[36], 0xEE);  // 36 bytes only
  EXPECT_TRUE(volumes.opens.empty());
  // A short buffer gets no more than it holds.
  uint8_t small[8] = {};
  SCSIRequest shortRequest = Request(1, 0, 0x12, 0x48, small, sizeof(small));
  EXPECT_EQ(emulation.SendCommand(&shortRequest), SS_COMP);
  EXPECT_EQ(small[0], 0x05);
}

TEST_F(Emulation, CommandsReachTheUnitWithTheirDirection) {
  uint8_t buffer[40] = {};
  const struct {
    uint8_t flags, dataIn;
  } directions[] = {{0x48, 1}, {0x50, 0}, {0x40, 2}, {0x58, 1}};
  for (const auto& d : directions) {
    SCSIRequest request = Request(0, 1, 0x03, d.flags, buffer, sizeof(buffer));
    request.CDBByte[4] = 40;
    EXPECT_EQ(emulation.SendCommand(&request), SS_COMP);
    const SCSI_PASS_THROUGH_DIRECT& sptd = volumes.passThroughs.back().Sptd;
    EXPECT_EQ(sptd.DataIn, d.dataIn);
    EXPECT_EQ(sptd.CDBLength, 6);
    EXPECT_EQ(sptd.SenseInfoLength, 14);
    EXPECT_EQ(sptd.DataTransferLength, 40u);
    EXPECT_EQ(sptd.DataBuffer, buffer);
    EXPECT_EQ(sptd.TimeOutValue, 120u);
    EXPECT_EQ(sptd.PathId + sptd.TargetId + sptd.Lun, 0);
    EXPECT_EQ(volumes.cdbsSent.back()[4], 40);
  }
  // Each command opened the volume and closed it again.
  EXPECT_EQ(volumes.opens.size(), 4u);
  EXPECT_EQ(volumes.openHandles, 0);
}

TEST_F(Emulation, TheHandleStaysOpenDuringLongOperations) {
  closeAfterCommand = false;
  for (int i = 0; i < 3; ++i) {
    SCSIRequest request = Request(0, 1, 0x00, 0x40);
    EXPECT_EQ(emulation.SendCommand(&request), SS_COMP);
  }
  EXPECT_EQ(volumes.opens.size(), 1u);
  EXPECT_EQ(volumes.openHandles, 1);
  closeAfterCommand = true;
  SCSIRequest request = Request(0, 1, 0x00, 0x40);
  emulation.SendCommand(&request);
  EXPECT_EQ(volumes.openHandles, 0);
}

TEST_F(Emulation, FailuresCarryTheReturnedSense) {
  ScriptedVolume& unit = *volumes.Find('D');
  unit.scsiStatus = STATUS_CHKCOND;
  unit.senseLength = 18;
  unit.sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00, 0, 0, 0, 0};
  SCSIRequest request = Request(0, 1, 0x00, 0x40);
  EXPECT_EQ(emulation.SendCommand(&request), SS_ERR);
  EXPECT_EQ(request.SRB_Status, SS_ERR);
  EXPECT_EQ(request.SRB_TargStat, STATUS_CHKCOND);
  EXPECT_EQ(request.SenseArea[2], 0x05);
  EXPECT_EQ(request.SenseArea[12], 0x24);
  // An odd length from the driver is cut to the 32 bytes the request has room for.
  unit.senseLength = 200;
  unit.sense.assign(32, 0x5A);
  SCSIRequest odd = Request(0, 1, 0x00, 0x40);
  EXPECT_EQ(emulation.SendCommand(&odd), SS_ERR);
  EXPECT_EQ(odd.SenseArea[31], 0x5A);
  EXPECT_EQ(odd.SenseArea[32], 0x00);
  // A good status with a sense length other than 0 or 32 still counts as failed.
  unit.scsiStatus = STATUS_GOOD;
  unit.senseLength = 5;
  SCSIRequest partial = Request(0, 1, 0x00, 0x40);
  EXPECT_EQ(emulation.SendCommand(&partial), SS_ERR);
  unit.senseLength = 32;
  SCSIRequest full = Request(0, 1, 0x00, 0x40);
  EXPECT_EQ(emulation.SendCommand(&full), SS_COMP);
  // A failing driver call.
  unit.ioctlFails = true;
  SCSIRequest failing = Request(0, 1, 0x00, 0x40);
  EXPECT_EQ(emulation.SendCommand(&failing), SS_ERR);
  EXPECT_EQ(failing.SRB_HaStat, HASTAT_SEL_TO);  // a unit gone, never a busy one
  EXPECT_EQ(BuildFailureText(failing).text, "SELECTION TIMEOUT");
}

TEST_F(Emulation, OtherRequests) {
  SCSIRequest nobody = Request(0, 5, 0x00, 0x40);
  EXPECT_EQ(emulation.SendCommand(&nobody), SS_NO_DEVICE);
  SRB_GetDiskInfo info{};
  info.SRB_Cmd = SC_GET_DISK_INFO;
  EXPECT_EQ(emulation.SendCommand(&info), SS_ERR);
  EXPECT_EQ(info.SRB_Status, SS_PENDING);
  SRB_Header unknown{};
  unknown.SRB_Cmd = 0x05;
  EXPECT_EQ(emulation.SendCommand(&unknown), SS_ERR);
  EXPECT_EQ(unknown.SRB_Status, SS_ERR);
  EXPECT_EQ(emulation.SendCommand(nullptr), SS_ERR);
}

TEST(VolumeLetters, TheVolumeWithTheUnitsAddressGivesTheLetter) {
  ScriptedVolumes volumes;
  AddMachine(volumes);
  EXPECT_EQ(VolumeLetterOf(volumes, 1, 0), 'K');
  EXPECT_EQ(VolumeLetterOf(volumes, 0, 1), 'D');
  EXPECT_EQ(VolumeLetterOf(volumes, 2, 0), 0);
  EXPECT_EQ(volumes.opens.front().path, "\\\\.\\B:");
  EXPECT_EQ(volumes.openHandles, 0);
}

// --- Choosing the transport ----------------------------------------------------------------

class TransportChoice : public ::testing::Test {
 protected:
  UnitScript script;
  ScriptedVolumes volumes;
};

TEST_F(TransportChoice, TheLibraryBesideTheProgramWins) {
  ScriptedPlatform platform(&script);
  SCSITransportHub hub(platform);
  EXPECT_TRUE(hub.Initialize(false));
  EXPECT_EQ(hub.Name(), "WNASPI32.DLL");
  EXPECT_EQ(platform.loadedPaths, std::vector<std::string>{ProgramFolder() + "WNASPI32.DLL"});
  EXPECT_EQ(platform.quietCalls, 1u);
  EXPECT_EQ(platform.restored, std::vector<uint32_t>{1});
}

// Both by full path: a library in the current folder is never reached.
TEST_F(TransportChoice, ThenTheSystemFolder) {
  ScriptedPlatform platform(&script);
  platform.besideProgram = TransportPlatform::LibraryLoad::NotFound;
  SCSITransportHub hub(platform);
  EXPECT_TRUE(hub.Initialize(false));
  EXPECT_EQ(platform.loadedPaths, (std::vector<std::string>{ProgramFolder() + "WNASPI32.DLL",
                                                            "C:\\WINDOWS\\system32\\WNASPI32.DLL"}));
  EXPECT_EQ(hub.Name(), "WNASPI32.DLL");
}

TEST_F(TransportChoice, PreferringPassThroughLoadsNoLibrary) {
  AddMachine(volumes);
  ScriptedPlatform platform(&script, &volumes);
  SCSITransportHub hub(platform);
  EXPECT_TRUE(hub.Initialize(true));
  EXPECT_EQ(hub.Name(), "VTASPI32");
  EXPECT_TRUE(platform.loadedPaths.empty());
  EXPECT_EQ(hub.Active()->SupportInfo(), 0x0103u);
}

TEST_F(TransportChoice, WithoutALibraryTheEmulationAnswers) {
  AddMachine(volumes);
  ScriptedPlatform platform(nullptr, &volumes);
  SCSITransportHub hub(platform);
  EXPECT_TRUE(hub.Initialize(false));
  EXPECT_EQ(hub.Name(), "VTASPI32");
  EXPECT_EQ(platform.loadedPaths.size(), 2u);
}

TEST_F(TransportChoice, NothingToReach) {
  ScriptedPlatform platform(nullptr, &volumes);
  SCSITransportHub hub(platform);
  EXPECT_FALSE(hub.Initialize(true));
  EXPECT_FALSE(hub.Initialized());
  EXPECT_EQ(hub.Name(), "");
  // The table was built (empty) once; a second build is not tried in the same round.
  EXPECT_EQ(volumes.driveTypeRoots.size(), 24u);
  TSCSIDevice device(hub);
  EXPECT_FALSE(device.InitializeASPI(false));
  EXPECT_FALSE(device.ASPIInitialized());
  EXPECT_TRUE(device.Devices().empty());
}

TEST_F(TransportChoice, ALibraryWithoutItsEntryPointsIsNotUsed) {
  AddMachine(volumes);
  ScriptedPlatform platform(&script, &volumes);
  platform.besideProgram = TransportPlatform::LibraryLoad::MissingEntryPoint;
  SCSITransportHub hub(platform);
  EXPECT_FALSE(hub.Initialize(false));
  EXPECT_FALSE(hub.Initialized());
  EXPECT_EQ(platform.restored.size(), 1u);
  EXPECT_TRUE(volumes.driveTypeRoots.empty());
}

TEST_F(TransportChoice, ReinitialisationKeepsThePreferenceAndRebuildsTheTable) {
  AddMachine(volumes);
  ScriptedPlatform platform(&script, &volumes);
  SCSITransportHub hub(platform);
  EXPECT_TRUE(hub.Initialize(true));
  EXPECT_TRUE(hub.Reinitialize());
  EXPECT_EQ(hub.Name(), "VTASPI32");
  EXPECT_EQ(volumes.driveTypeRoots.size(), 48u);
  hub.Finalize();
  EXPECT_FALSE(hub.Initialized());
  EXPECT_EQ(hub.Name(), "");
}

TEST_F(TransportChoice, PreferringPassThroughLaterSwitchesFromTheLibrary) {
  AddMachine(volumes);
  ScriptedPlatform platform(&script, &volumes);
  SCSITransportHub hub(platform);
  EXPECT_TRUE(hub.Initialize(false));
  EXPECT_EQ(hub.Name(), "WNASPI32.DLL");
  EXPECT_TRUE(hub.Initialize(true));
  EXPECT_EQ(hub.Name(), "VTASPI32");
  EXPECT_EQ(platform.loadedPaths.size(), 1u);
}

// Each hub chooses, keeps and drops its own transport, flag and claims.
TEST_F(TransportChoice, HubsAreIndependent) {
  AddMachine(volumes);
  ScriptedPlatform withLibrary(&script), withVolumes(nullptr, &volumes);
  SCSITransportHub first(withLibrary), second(withVolumes);
  EXPECT_TRUE(first.Initialize(false));
  EXPECT_TRUE(second.Initialize(false));
  EXPECT_EQ(first.Name(), "WNASPI32.DLL");
  EXPECT_EQ(second.Name(), "VTASPI32");
  first.SetCloseAfterCommand(false);
  EXPECT_TRUE(second.CloseAfterCommand());
  first.Finalize();
  EXPECT_FALSE(first.Initialized());
  EXPECT_EQ(second.Name(), "VTASPI32");
  UnitUse holder = UnitUse::None;
  EXPECT_TRUE(first.Claims().Claim({0, 1, 0}, UnitUse::Writing, holder));
  EXPECT_TRUE(second.Claims().Claim({0, 1, 0}, UnitUse::Erasing, holder));
  EXPECT_EQ(holder, UnitUse::None);
}

// A claim ends only by the use that made it: a refused erase must not free a writer's unit.
TEST(UnitClaimTable, ClaimsAndReleasesInTurn) {
  enum class Step { Claim, Release };
  const UnitAddress unit{0, 1, 0}, sameTargetOtherLun{0, 1, 1};
  const struct {
    Step step;
    UnitAddress address;
    UnitUse use;
    bool claimed;    // Claim's result
    UnitUse holder;  // what a refused Claim reports
  } steps[] = {
      {Step::Claim, unit, UnitUse::Writing, true, UnitUse::None},
      {Step::Claim, unit, UnitUse::Erasing, false, UnitUse::Writing},
      {Step::Claim, sameTargetOtherLun, UnitUse::Erasing, true, UnitUse::None},
      {Step::Release, unit, UnitUse::Erasing, false, UnitUse::None},
      {Step::Claim, unit, UnitUse::Writing, false, UnitUse::Writing},
      {Step::Release, unit, UnitUse::Writing, false, UnitUse::None},
      {Step::Claim, unit, UnitUse::Erasing, true, UnitUse::None},
      {Step::Claim, sameTargetOtherLun, UnitUse::Writing, false, UnitUse::Erasing},
  };
  UnitClaims claims;
  for (size_t i = 0; i < std::size(steps); ++i) {
    const auto& s = steps[i];
    if (s.step == Step::Release) {
      claims.Release(s.address, s.use);
      continue;
    }
    UnitUse holder = UnitUse::None;
    EXPECT_EQ(claims.Claim(s.address, s.use, holder), s.claimed) << "step " << i;
    EXPECT_EQ(holder, s.holder) << "step " << i;
  }
}

TEST_F(TransportChoice, ScanThroughTheEmulation) {
  AddMachine(volumes);
  ScriptedPlatform platform(&script, &volumes);
  SCSITransportHub hub(platform);
  TSCSIDevice device(hub);
  EXPECT_TRUE(device.InitializeASPI(true));
  EXPECT_EQ(device.AdapterCount(), 3);
  EXPECT_EQ(device.Devices(), (std::vector<std::string>{"0:1:0,D: VENDOR  D UNIT          1.00",
                                                        "1:0:0,K: VENDOR  K UNIT          1.00",
                                                        "2:0:0,?: VENDOR  E UNIT          1.00",
                                                        "2:1:0,?: VENDOR  H UNIT          1.00"}));
}

TEST_F(TransportChoice, BlankingThroughTheEmulationRebuildsTheUnitTable) {
  aspi::UnitConfig config;
  config.media = aspi::MediaType::CDRW;
  config.state = aspi::MediumState::Closed;
  config.fast = true;
  config.blankMs = 20000;
  aspi::ManualClock clock;
  aspi::VirtualRecorder recorder(config, clock);
  ScriptedVolume& unit = volumes.Add(Volume('E'));
  unit.address = Address(0, 0);
  unit.recorder = &recorder;
  ScriptedPlatform platform(nullptr, &volumes);
  SCSITransportHub hub(platform);
  TSCSIDevice device(hub);
  ASSERT_TRUE(device.InitializeASPI(true));
  ASSERT_EQ(device.Devices(), std::vector<std::string>{"0:0:0,E: KVX     VIRTUAL RECORDER1.00"});
  device.SetDevice(device.Devices()[0]);
  device.SetSleepFunction([&](uint32_t ms) { clock.Advance(ms); });
  Event done;
  device.SetOnEraseDone([&](TSCSIDevice*, bool withError, const std::string& error) {
    EXPECT_FALSE(withError) << error;
    done.Set();
  });
  const size_t probesBefore = volumes.driveTypeRoots.size();
  const size_t opensBefore = volumes.opens.size();
  ASSERT_TRUE(device.Erase(BlankType::Minimal));
  ASSERT_TRUE(done.Wait(60000));
  while (device.Erasing()) std::this_thread::yield();
  EXPECT_EQ(volumes.driveTypeRoots.size(), probesBefore + 24);  // the table was built again
  EXPECT_EQ(hub.Name(), "VTASPI32");
  EXPECT_TRUE(recorder.DiscState().Empty());
  // While the thread polled, the unit's handle stayed open: far fewer opens than commands.
  EXPECT_LT(volumes.opens.size() - opensBefore, volumes.cdbsSent.size() / 2);
  EXPECT_EQ(volumes.openHandles, 0);
  EXPECT_TRUE(hub.CloseAfterCommand());
}

}  // namespace
}  // namespace kvx::scsi::testing
