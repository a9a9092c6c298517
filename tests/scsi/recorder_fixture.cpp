#include "tests/scsi/recorder_fixture.h"

#include <cstdlib>
#include <fstream>
#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace kvx::scsi::testing {

void RecorderTest::SetUp() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  // The process id keeps apart the runs of these cases that ctest starts side by side
  // (the synchronous and the asynchronous manager).
  folder = std::filesystem::temp_directory_path() / (std::string("kvx_recorder_") + std::to_string(getpid()) + "_" +
                                                     test->test_suite_name() + "_" + test->name());
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
}

void RecorderTest::TearDown() {
  Stop();
  std::filesystem::remove_all(folder);
}

void RecorderTest::Start(const std::string& config) {
  configText = config;
  const std::string path = (folder / "kvxaspi.ini").string();
  std::ofstream(path) << config;
  std::string error;
  manager = aspi::LoadASPIManager(path, clock, error);
  ASSERT_TRUE(manager) << error;
  if (std::getenv("KVXASPI_ASYNC") != nullptr) aspi::CompleteInProcessLater(*manager);
  platform = std::make_unique<aspi::InProcessPlatform>(*manager);
  install = std::make_unique<TransportInstall>(*platform, false);
  device = std::make_unique<TSCSIDevice>(install->Hub());
  device->SetSleepFunction([this](uint32_t ms) { clock.Advance(ms); });
  device->SetOnDebugMessage([this](TSCSIDevice*, const std::string& line, uint8_t) { debugLines.push_back(line); });
  ASSERT_TRUE(device->InitializeASPI(false));
  ASSERT_FALSE(device->Devices().empty());
  device->SetDevice(device->Devices()[0]);
  debugLines.clear();
}

void RecorderTest::Stop() {
  device.reset();
  install.reset();
  platform.reset();
  manager.reset();
}

void RecorderTest::Restart() {
  Stop();
  Start(configText);
}

std::vector<uint8_t> RecorderTest::ReadImage(const std::string& name) const {
  std::error_code missing;
  const auto size = std::filesystem::file_size(folder / name, missing);
  if (missing) return {};
  std::vector<uint8_t> bytes(size);
  std::ifstream(folder / name, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), size);
  return bytes;
}

std::vector<uint8_t> Sectors(uint32_t first, uint32_t count) {
  std::vector<uint8_t> data(size_t{count} * 2048);
  for (uint32_t i = 0; i < count; ++i)
    for (size_t b = 0; b < 2048; b += 4) {
      const uint32_t value = first + i;
      data[i * 2048 + b] = static_cast<uint8_t>(value >> 24);
      data[i * 2048 + b + 1] = static_cast<uint8_t>(value >> 16);
      data[i * 2048 + b + 2] = static_cast<uint8_t>(value >> 8);
      data[i * 2048 + b + 3] = static_cast<uint8_t>(value);
    }
  return data;
}

}  // namespace kvx::scsi::testing
