#include "standins/aspi/inprocess_transport.h"

#include "scsi/aspi_defs.h"

namespace kvx::aspi {

// Sets the completion signal of a SCSI request that asked for one.
void NotifyCompletion(void* srb) {
  auto* request = static_cast<scsi::SRB_ExecSCSICmd*>(srb);
  if (request->SRB_Cmd == scsi::SC_EXEC_SCSI_CMD && (request->SRB_Flags & scsi::SRB_EVENT_NOTIFY))
    scsi::SignalLocalCompletion(request->SRB_PostProc);
}

void CompleteInProcessLater(ASPIManager& manager) { manager.CompleteLater(NotifyCompletion); }

uint32_t InProcessTransport::SendCommand(void* srb) {
  const uint8_t status = manager_.Execute(srb);
  if (srb != nullptr && status != scsi::SS_PENDING) NotifyCompletion(srb);
  return status;
}

scsi::TransportPlatform::LibraryLoad InProcessPlatform::LoadASPILibrary(const std::string&,
                                                                  std::unique_ptr<scsi::SCSITransport>& transport) {
  transport = std::make_unique<InProcessTransport>(manager_);
  return LibraryLoad::Loaded;
}

}  // namespace kvx::aspi
