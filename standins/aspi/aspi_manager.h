// The ASPI manager of the stand-in: interprets ASPI for Win32 request blocks for a set
// of virtual recorders on one host adapter (unit N of the configuration is target N,
// lun 0). Portable; WNASPI32.DLL and the in-process transport both use it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "standins/aspi/recorder_clock.h"
#include "standins/aspi/virtual_recorder.h"

namespace kvx::aspi {

class ASPIManager {
 public:
  explicit ASPIManager(std::vector<std::unique_ptr<VirtualRecorder>> units);

  // GetASPI32SupportInfo: SS_COMP and one adapter, or SS_NO_ADAPTERS without units.
  uint32_t SupportInfo() const;
  // Carries out a request block at once; returns the SRB_Status it stored.
  uint8_t Execute(void* srb);

  VirtualRecorder* UnitAt(uint8_t adapter, uint8_t target, uint8_t lun);
  size_t UnitCount() const { return units_.size(); }

 private:
  uint8_t HostAdapterInquiry(void* srb);
  uint8_t DeviceType(void* srb);
  uint8_t ExecuteCommand(void* srb);
  uint8_t DiskInfo(void* srb);

  std::vector<std::unique_ptr<VirtualRecorder>> units_;
};

// The manager of a configuration file (KVXASPI_CONFIG names it); null with the reason
// in error when the file cannot be used.
std::unique_ptr<ASPIManager> LoadASPIManager(const std::string& configPath, RecorderClock& clock, std::string& error);

}  // namespace kvx::aspi
