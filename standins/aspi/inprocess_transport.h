// The virtual recorders reached inside the process: a SCSI transport over an
// ASPIManager (requests complete before SendCommand returns, and their completion
// signal is set), and a transport platform whose "ASPI library" is that transport.
// Native tests drive the command layer through it.
#pragma once

#include <memory>

#include "scsi/transport.h"
#include "standins/aspi/aspi_manager.h"

namespace kvx::aspi {

class InProcessTransport : public scsi::SCSITransport {
 public:
  explicit InProcessTransport(ASPIManager& manager) : manager_(manager) {}
  uint32_t SupportInfo() override { return manager_.SupportInfo(); }
  uint32_t SendCommand(void* srb) override;
  std::unique_ptr<scsi::CompletionEvent> NewCompletionEvent() override { return scsi::NewLocalCompletionEvent(); }

 private:
  ASPIManager& manager_;
};

// Makes the manager complete requests later on its own thread, setting their in-process
// completion signal there (an asynchronous ASPI manager).
void CompleteInProcessLater(ASPIManager& manager);

// Loads the in-process transport as the ASPI library; no volumes unless given.
class InProcessPlatform : public scsi::TransportPlatform {
 public:
  explicit InProcessPlatform(ASPIManager& manager, scsi::VolumeSystem* volumes = nullptr)
      : manager_(manager), volumes_(volumes) {}
  LibraryLoad LoadASPILibrary(const std::string& path, std::unique_ptr<scsi::SCSITransport>& transport) override;
  std::string SystemFolder() override { return {}; }
  scsi::VolumeSystem* Volumes() override { return volumes_; }
  uint32_t QuietErrorMode() override { return 0; }
  void RestoreErrorMode(uint32_t) override {}

 private:
  ASPIManager& manager_;
  scsi::VolumeSystem* volumes_;
};

}  // namespace kvx::aspi
