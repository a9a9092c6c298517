// The command layer through the real WNASPI32.DLL stand-in, loaded the way the product
// loads it: unit scan with drive letters, a burn whose disc the next run continues, a
// blanking on the worker thread, and the Win32 completion events.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/event.h"
#include "scsi/scsi_device.h"
#include "scsi/transport.h"

namespace kvx::scsi {
namespace {

// The run where the library completes requests later on its own thread.
bool Asynchronous() {
  char value[4] = {};
  return GetEnvironmentVariableA("KVXASPI_ASYNC", value, sizeof(value)) == 1 && value[0] == '1';
}

std::filesystem::path TempFolder(const char* name) {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  std::filesystem::path folder = std::filesystem::path(base) / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

class ASPILibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = TempFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::string config = "[Unit0]\nMedia=CD-RW\nFast=1\nLetter=R\nBlankTime=300\nImage=" +
                               (folder / "cdrw.img").string() +
                               "\n\n[Unit1]\nVendor=PIONEER\nProduct=DVD-RW  DVR-104\nRevision=1.00\n"
                               "Media=DVD+RW\nLetter=S\nImage=" + (folder / "dvd.img").string() + "\n";
    std::ofstream(folder / "kvxaspi.ini") << config;
    SetEnvironmentVariableA("KVXASPI_CONFIG", (folder / "kvxaspi.ini").string().c_str());
  }
  void TearDown() override {
    transport.Finalize();
    SetEnvironmentVariableA("KVXASPI_CONFIG", nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  std::unique_ptr<TSCSIDevice> Started() {
    auto device = std::make_unique<TSCSIDevice>(transport);
    device->SetOnDebugMessage([this](TSCSIDevice*, const std::string& line, uint8_t) { debugLines.push_back(line); });
    EXPECT_TRUE(device->InitializeASPI(false));
    return device;
  }
  SCSITransportHub transport;  // over the system's platform
  std::filesystem::path folder;
  std::vector<std::string> debugLines;
};

TEST_F(ASPILibrary, ScanFindsTheTwoConfiguredUnits) {
  auto device = Started();
  EXPECT_EQ(transport.Name(), "WNASPI32.DLL");
  EXPECT_EQ(transport.Active()->SupportInfo(), 0x0101u);
  EXPECT_EQ(device->AdapterCount(), 1);
  EXPECT_EQ(std::string(device->HostAdapterInfo().HA_ManagerId, 16), "KVXASPI STAND-IN");
  ASSERT_EQ(device->Devices(), (std::vector<std::string>{"0:0:0,R: KVX     VIRTUAL RECORDER1.00",
                                                         "0:1:0,S: PIONEER DVD-RW  DVR-104 1.00"}));
  device->SetDevice(device->Devices()[1]);
  EXPECT_EQ(device->DeviceDescription(), "PIONEER  DVD-RW  DVR-104  1.00");
  EXPECT_TRUE(device->LongWriteUnit());
  EXPECT_EQ(device->GetDiscType(), DiscKind::DVDPlusRW);
  EXPECT_TRUE(debugLines.empty());
}

TEST_F(ASPILibrary, ABurnedSessionIsThereInTheNextRun) {
  {
    auto device = Started();
    ASSERT_EQ(device->Devices().size(), 2u);
    device->SetDevice(device->Devices()[0]);
    EXPECT_EQ(device->GetDiscType(), DiscKind::CDRW);
    EXPECT_TRUE(device->SetWriteParameters({.underrunProtection = true}, DiscKind::CDRW));
    std::vector<uint8_t> data(31 * 2048);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i / 2048 + 1);
    for (uint32_t lba = 0; lba < 310; lba += 31) EXPECT_TRUE(device->Write10(lba, 31, 0x50, data));
    EXPECT_TRUE(device->SynchronizeCache(120000, false));
    EXPECT_TRUE(device->CloseTrackSession(CloseFunction::Session, device->CloseImmediate()));
  }
  transport.Finalize();  // unloads the library: the unit saves its disc
  EXPECT_EQ(std::filesystem::file_size(folder / "cdrw.img"), 310u * 2048);
  auto device = Started();
  ASSERT_EQ(device->Devices().size(), 2u);
  device->SetDevice(device->Devices()[0]);
  EXPECT_EQ(device->GetLastSessionNumber(), 1);
  ASSERT_TRUE(device->ReadTrackInformation(2));
  EXPECT_EQ(device->TrackInfo().NextWritableAddress(), 310u + 11400);
  std::vector<uint8_t> sector(2048);
  EXPECT_TRUE(device->Read10(31, 1, sector));
  EXPECT_EQ(sector[0], 1);
}

TEST_F(ASPILibrary, BlankingRunsOnItsThreadWithRealEvents) {
  auto device = Started();
  ASSERT_EQ(device->Devices().size(), 2u);
  device->SetDevice(device->Devices()[0]);
  // The unit blanks in 300 ms; the polling waits are shortened fiftyfold.
  device->SetSleepFunction([](uint32_t ms) { Sleep(ms / 50); });
  Event done;
  std::atomic<bool> withError{true};
  device->SetOnEraseDone([&](TSCSIDevice*, bool failed, const std::string&) {
    withError = failed;
    done.Set();
  });
  ASSERT_TRUE(device->Erase(BlankType::WholeDisc));
  ASSERT_TRUE(done.Wait(60000));
  EXPECT_FALSE(withError.load());
  while (device->Erasing()) Sleep(1);
  EXPECT_EQ(debugLines.front(), ">>> STARTING ERASE PROCESS ON CD-RW AT 48X");
  ASSERT_TRUE(device->ReadDiscInfo());
  EXPECT_EQ(device->DiscInfo().DiscStatus(), DiscState::Blank);
}

TEST_F(ASPILibrary, TheLibrarySetsTheEventOfANotifiedRequest) {
  auto device = Started();
  std::shared_ptr<SCSITransport> library = transport.Active();
  std::unique_ptr<CompletionEvent> event = library->NewCompletionEvent();
  EXPECT_FALSE(event->Wait(0));
  SCSIRequest request{};
  request.SRB_Cmd = SC_EXEC_SCSI_CMD;
  request.SRB_Target = 1;
  request.SRB_Flags = SRB_EVENT_NOTIFY;
  request.SRB_SenseLen = SENSE_LEN;
  request.SRB_CDBLen = 6;
  request.SRB_PostProc = event->PostProcHandle();
  EXPECT_EQ(library->SendCommand(&request), Asynchronous() ? SS_PENDING : SS_COMP);
  EXPECT_TRUE(event->Wait(10000));
  EXPECT_EQ(LoadSRBStatus(request), SS_COMP);
  // A Win32 event set from another thread releases the wait.
  std::unique_ptr<CompletionEvent> later = library->NewCompletionEvent();
  HANDLE handle = static_cast<HANDLE>(later->PostProcHandle());
  std::thread setter([handle] {
    Sleep(20);
    SetEvent(handle);
  });
  EXPECT_TRUE(later->Wait(10000));
  setter.join();
  EXPECT_FALSE(library->NewCompletionEvent()->Wait(10));
}

// Requests still queued when the program lets the library go: the library stays until
// its thread has completed them, and an abort ends one that had not started.
TEST_F(ASPILibrary, RequestsCompletingLaterOutliveTheReleaseOfTheLibrary) {
  if (!Asynchronous()) GTEST_SKIP() << "requests complete at once";
  auto device = Started();
  std::shared_ptr<SCSITransport> library = transport.Active();
  constexpr int kRequests = 64;
  std::vector<SCSIRequest> requests(kRequests);
  std::vector<std::unique_ptr<CompletionEvent>> events;
  for (SCSIRequest& request : requests) {
    events.push_back(library->NewCompletionEvent());
    request.SRB_Cmd = SC_EXEC_SCSI_CMD;
    request.SRB_Flags = SRB_EVENT_NOTIFY;
    request.SRB_SenseLen = SENSE_LEN;
    request.SRB_CDBLen = 6;  // TEST UNIT READY
    request.SRB_PostProc = events.back()->PostProcHandle();
    ASSERT_EQ(library->SendCommand(&request), SS_PENDING);
  }
  SRB_Abort abort{};
  abort.SRB_Cmd = SC_ABORT_SRB;
  abort.SRB_ToAbort = &requests.back();
  EXPECT_EQ(library->SendCommand(&abort), SS_COMP);
  library.reset();
  device.reset();
  transport.Finalize();
  for (int i = 0; i < kRequests; ++i) {
    ASSERT_TRUE(events[i]->Wait(10000)) << i;
    const uint8_t status = LoadSRBStatus(requests[i]);
    if (i + 1 < kRequests) EXPECT_EQ(status, SS_COMP) << i;
    else EXPECT_TRUE(status == SS_COMP || status == SS_ABORTED) << int{status};
  }
}

TEST_F(ASPILibrary, ALibraryWithoutTheEntryPointsIsRefused) {
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  const auto runtime = std::filesystem::path(program).parent_path() / "WD110LE.DLL";
  ASSERT_TRUE(std::filesystem::exists(runtime));
  std::filesystem::copy_file(runtime, folder / "NOTASPI.DLL");
  std::unique_ptr<SCSITransport> loaded;
  TransportPlatform& platform = transport.Platform();
  EXPECT_EQ(platform.LoadASPILibrary((folder / "NOTASPI.DLL").string(), loaded),
            TransportPlatform::LibraryLoad::MissingEntryPoint);
  EXPECT_FALSE(loaded);
  EXPECT_EQ(platform.LoadASPILibrary((folder / "NONE.DLL").string(), loaded), TransportPlatform::LibraryLoad::NotFound);
  EXPECT_EQ(GetModuleHandleA("NOTASPI.DLL"), nullptr);  // released again
}

}  // namespace
}  // namespace kvx::scsi
