// WNASPI32.DLL, the ASPI manager stand-in: the two ASPI for Win32 entry points over the
// virtual recorders configured by the file that KVXASPI_CONFIG names. Requests complete
// before SendASPI32Command returns; with SRB_EVENT_NOTIFY their event is set.
#include <windows.h>

#include <memory>
#include <string>

#include "scsi/aspi_defs.h"
#include "standins/aspi/aspi_manager.h"

namespace {

using kvx::aspi::ASPIManager;

std::string ConfigPath() {
  char path[MAX_PATH * 2];
  const DWORD length = GetEnvironmentVariableA("KVXASPI_CONFIG", path, sizeof(path));
  return length > 0 && length < sizeof(path) ? std::string(path, length) : std::string();
}

// The units of this process, read from the configuration on first use; they save
// their discs when the library is unloaded. No configuration, or an unusable one: no units.
ASPIManager& Manager() {
  static std::unique_ptr<ASPIManager> manager = [] {
    std::unique_ptr<ASPIManager> loaded;
    const std::string path = ConfigPath();
    std::string error;
    if (!path.empty()) loaded = kvx::aspi::LoadASPIManager(path, kvx::aspi::SystemClock(), error);
    if (!loaded) {
      if (!error.empty()) OutputDebugStringA(("WNASPI32: " + error + "\n").c_str());
      loaded = std::make_unique<ASPIManager>(std::vector<std::unique_ptr<kvx::aspi::VirtualRecorder>>{});
    }
    return loaded;
  }();
  return *manager;
}

}  // namespace

extern "C" __declspec(dllexport) DWORD __cdecl GetASPI32SupportInfo(void) { return Manager().SupportInfo(); }

extern "C" __declspec(dllexport) DWORD __cdecl SendASPI32Command(void* srb) {
  const uint8_t status = Manager().Execute(srb);
  auto* request = static_cast<kvx::scsi::SRB_ExecSCSICmd*>(srb);
  if (request != nullptr && request->SRB_Cmd == kvx::scsi::SC_EXEC_SCSI_CMD &&
      (request->SRB_Flags & kvx::scsi::SRB_EVENT_NOTIFY) && request->SRB_PostProc != nullptr)
    SetEvent(static_cast<HANDLE>(request->SRB_PostProc));
  return status;
}
