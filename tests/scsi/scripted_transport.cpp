#include "tests/scsi/scripted_transport.h"

#include <algorithm>
#include <cstring>

#include "base/folders.h"

namespace kvx::scsi::testing {
namespace {

class ScriptedEvent : public CompletionEvent {
 public:
  explicit ScriptedEvent(UnitScript& script) : script_(script) {}
  void* PostProcHandle() override { return this; }
  void Set() { set_ = true; }
  bool Wait(uint32_t timeoutMs) override {
    if (set_) return true;
    script_.waits.push_back(timeoutMs);
    if (script_.completion != UnitScript::Completion::WhenWaitedFor || script_.pending == nullptr) return false;
    script_.Answer(*script_.pending);
    script_.pending = nullptr;
    return true;
  }

 private:
  UnitScript& script_;
  bool set_ = false;
};

}  // namespace

void UnitScript::CompleteLate() {
  Answer(*pending);
  static_cast<ScriptedEvent*>(pending->SRB_PostProc)->Set();
  pending = nullptr;
}

void UnitScript::Answer(SCSIRequest& request) {
  request.SRB_Status = SS_COMP;
  if (respond) respond(request);
}

std::vector<uint8_t> UnitScript::Opcodes() const {
  std::vector<uint8_t> opcodes;
  for (const SentRequest& request : sent) opcodes.push_back(request.cdb[0]);
  return opcodes;
}

uint32_t ScriptedTransport::SendCommand(void* srb) {
  auto* header = static_cast<SRB_Header*>(srb);
  switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY: {
      auto* inquiry = static_cast<SRB_HAInquiry*>(srb);
      inquiry->HA_Count = script_.adapterCount;
      std::memcpy(inquiry->HA_ManagerId, "SCRIPTED MANAGER", 16);
      std::memcpy(inquiry->HA_Identifier, "  SCRIPT  ", 10);
      return inquiry->SRB_Status = inquiry->SRB_HaId < script_.adapterCount ? SS_COMP : SS_INVALID_HA;
    }
    case SC_ABORT_SRB:
      script_.aborted.push_back(static_cast<void*>(static_cast<SRB_Abort*>(srb)->SRB_ToAbort));
      // The manager ends the aborted request and posts it, unless it keeps holding it.
      if (script_.completion != UnitScript::Completion::HeldAfterAbort && script_.pending != nullptr) {
        script_.pending->SRB_Status = SS_ABORTED;
        if (script_.pending->SRB_PostProc != nullptr) static_cast<ScriptedEvent*>(script_.pending->SRB_PostProc)->Set();
        script_.pending = nullptr;
      }
      return header->SRB_Status = SS_COMP;
    case SC_GET_DISK_INFO:
      if (script_.driveNumber < 0) return header->SRB_Status = SS_ERR;
      static_cast<SRB_GetDiskInfo*>(srb)->SRB_Int13HDriveInfo = static_cast<uint8_t>(script_.driveNumber);
      return header->SRB_Status = SS_COMP;
    case SC_EXEC_SCSI_CMD:
      break;
    default:
      return header->SRB_Status = SS_INVALID_CMD;
  }
  auto& request = *static_cast<SCSIRequest*>(srb);
  SentRequest sent;
  std::copy(std::begin(request.CDBByte), std::end(request.CDBByte), sent.cdb.begin());
  sent.flags = request.SRB_Flags;
  sent.cdbLength = request.SRB_CDBLen;
  sent.haId = request.SRB_HaId;
  sent.target = request.SRB_Target;
  sent.lun = request.SRB_Lun;
  sent.senseLength = request.SRB_SenseLen;
  sent.bufLen = request.SRB_BufLen;
  sent.withEvent = request.SRB_PostProc != nullptr;
  if ((request.SRB_Flags & SRB_DIR_OUT) && request.SRB_BufPointer != nullptr)
    sent.dataOut.assign(request.SRB_BufPointer, request.SRB_BufPointer + request.SRB_BufLen);
  script_.sent.push_back(sent);
  if (script_.completion != UnitScript::Completion::AtOnce) {
    script_.pending = &request;
    return SS_PENDING;
  }
  script_.Answer(request);
  return request.SRB_Status;
}

std::unique_ptr<CompletionEvent> ScriptedTransport::NewCompletionEvent() {
  return std::make_unique<ScriptedEvent>(script_);
}

TransportPlatform::LibraryLoad ScriptedPlatform::LoadASPILibrary(const std::string& path,
                                                                  std::unique_ptr<SCSITransport>& transport) {
  loadedPaths.push_back(path);
  const LibraryLoad result = path == ProgramFolder() + "WNASPI32.DLL"            ? besideProgram
                             : path == std::string(kSystemFolder) + "WNASPI32.DLL" ? inSystemFolder
                                                                                  : LibraryLoad::NotFound;
  if (result == LibraryLoad::Loaded && script_ != nullptr) transport = std::make_unique<ScriptedTransport>(*script_);
  return script_ == nullptr && result == LibraryLoad::Loaded ? LibraryLoad::NotFound : result;
}

TransportInstall::TransportInstall(TransportPlatform& platform, bool initialise, bool preferPassThrough)
    : hub_(platform) {
  if (initialise) hub_.Initialize(preferPassThrough);
}

}  // namespace kvx::scsi::testing
