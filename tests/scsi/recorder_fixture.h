// The command layer over virtual recorders reached in-process: a configuration file in
// a fresh folder, the ASPI manager on a manual clock, and a device whose waits advance
// that clock instead of sleeping.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "scsi/scsi_device.h"
#include "standins/aspi/aspi_manager.h"
#include "standins/aspi/inprocess_transport.h"
#include "tests/scsi/scripted_transport.h"

namespace kvx::scsi::testing {

class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Writes the configuration, starts the manager and the transport, and selects unit 0.
  void Start(const std::string& config);
  // Ends this run (units save their discs) and starts a new one with the same file.
  void Restart();
  void Stop();
  std::string ImagePath(const std::string& name = "disc.img") const { return (folder / name).string(); }
  aspi::VirtualRecorder& Unit(uint8_t target = 0) { return *manager->UnitAt(0, target, 0); }
  std::vector<uint8_t> ReadImage(const std::string& name = "disc.img") const;

  std::filesystem::path folder;
  std::string configText;
  aspi::ManualClock clock;
  std::unique_ptr<aspi::ASPIManager> manager;
  std::unique_ptr<aspi::InProcessPlatform> platform;
  std::unique_ptr<TransportInstall> install;
  std::unique_ptr<TSCSIDevice> device;
  std::vector<std::string> debugLines;
};

// n sectors of recognisable data: each sector holds its own number.
std::vector<uint8_t> Sectors(uint32_t first, uint32_t count);

}  // namespace kvx::scsi::testing
