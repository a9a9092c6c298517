// A command layer over a scripted unit: the transport is installed, the unit at
// 0:0:0 answers INQUIRY as a CD/DVD unit, and the device has it selected.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "scsi/scsi_device.h"
#include "tests/scsi/scripted_transport.h"

namespace kvx::scsi::testing {

// Fills a standard INQUIRY answer (peripheral type, then vendor, product, revision).
void FillInquiry(SCSIRequest& request, uint8_t deviceType, const std::string& identity);

class ScriptedUnitTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Answers INQUIRY for the selected address and leaves every other command to `unit`.
  void Respond(std::function<void(SCSIRequest&)> unit);
  // Fails the command with CHECK CONDITION and fixed-format sense.
  static void Fail(SCSIRequest& request, uint8_t key, uint8_t asc, uint8_t ascq, uint8_t additionalLength = 10);
  void Select(const std::string& line);

  UnitScript script;
  ScriptedPlatform platform{&script};
  std::unique_ptr<TransportInstall> install;
  std::unique_ptr<TSCSIDevice> device;
  std::vector<std::string> debugLines;
  std::string inquiryIdentity = "VENDOR  PRODUCT NAME    1.00";
  uint8_t inquiryType = 0x05;
  std::array<uint8_t, 3> unitAddress{0, 0, 0};  // adapter, target, lun answering INQUIRY
};

}  // namespace kvx::scsi::testing
