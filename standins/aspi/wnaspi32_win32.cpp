// WNASPI32.DLL, the ASPI manager stand-in: the two ASPI for Win32 entry points over the
// virtual recorders configured by the file that KVXASPI_CONFIG names. Requests complete
// before SendASPI32Command returns; with SRB_EVENT_NOTIFY their event is set.
// KVXASPI_ASYNC=1 makes SCSI requests answer SS_PENDING and complete later, in order, on
// a thread of the library's own, as a real manager does; SC_ABORT_SRB then ends a request
// still queued with SS_ABORTED. No exception leaves the library: a failure inside it
// answers SS_ERR (SS_FAILED_INIT for the support information) and goes to the debugger's
// output.
#include <windows.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "base/exception_text.h"
#include "scsi/aspi_defs.h"
#include "standins/aspi/aspi_manager.h"

namespace {

using kvx::aspi::ASPIManager;
using kvx::scsi::SRB_ExecSCSICmd;

std::string EnvironmentValue(const char* name) {
  char value[MAX_PATH * 2];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
  return length > 0 && length < sizeof(value) ? std::string(value, length) : std::string();
}

void Tell(const std::string& text) noexcept {
  try {
    OutputDebugStringA(("WNASPI32: " + text + "\n").c_str());
  } catch (...) {  // no memory for the line
  }
}

// The units of this process, read from the configuration on first use; they save
// their discs when the library is unloaded. No configuration, or an unusable one: no units.
ASPIManager& Manager() {
  static std::unique_ptr<ASPIManager> manager = [] {
    std::unique_ptr<ASPIManager> loaded;
    const std::string path = EnvironmentValue("KVXASPI_CONFIG");
    std::string error;
    if (!path.empty()) loaded = kvx::aspi::LoadASPIManager(path, kvx::aspi::SystemClock(), error);
    if (!loaded) {
      if (!error.empty()) Tell(error);
      loaded = std::make_unique<ASPIManager>(std::vector<std::unique_ptr<kvx::aspi::VirtualRecorder>>{});
    }
    loaded->SetFailureReport(Tell);
    return loaded;
  }();
  return *manager;
}

void SignalCompletion(void* srb) {
  auto* request = static_cast<SRB_ExecSCSICmd*>(srb);
  if ((request->SRB_Flags & kvx::scsi::SRB_EVENT_NOTIFY) && request->SRB_PostProc != nullptr)
    SetEvent(static_cast<HANDLE>(request->SRB_PostProc));
}

// The asynchronous mode's queue. Its thread holds a reference to this library while it
// runs and leaves when the queue is empty, dropping the reference as it ends
// (FreeLibraryAndExitThread): the library is never unloaded under it, and nothing has to
// join it while the loader holds its lock.
class LaterCompletions {
 public:
  static LaterCompletions& Of() {
    static LaterCompletions completions;
    return completions;
  }

  DWORD Queue(void* srb) {
    kvx::scsi::StoreSRBStatus(*static_cast<SRB_ExecSCSICmd*>(srb), kvx::scsi::SS_PENDING);
    std::lock_guard<std::mutex> guard(lock_);
    queue_.push_back(srb);
    if (!running_) running_ = StartThread();
    if (!running_) CompleteAtOnce();  // no thread: the caller is not left waiting
    return kvx::scsi::SS_PENDING;
  }

  DWORD Abort(void* srb) {
    auto* abort = static_cast<kvx::scsi::SRB_Abort*>(srb);
    bool found = false;
    {
      std::lock_guard<std::mutex> guard(lock_);
      const auto queued = std::find(queue_.begin(), queue_.end(), abort->SRB_ToAbort);
      if (queued != queue_.end()) {
        queue_.erase(queued);
        found = true;
      }
    }
    if (found) {
      kvx::scsi::StoreSRBStatus(*static_cast<SRB_ExecSCSICmd*>(abort->SRB_ToAbort), kvx::scsi::SS_ABORTED);
      SignalCompletion(abort->SRB_ToAbort);
    }
    return abort->SRB_Status = kvx::scsi::SS_COMP;
  }

 private:
  bool StartThread() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&SignalCompletion),
                            &self))
      return false;
    const HANDLE thread = CreateThread(nullptr, 0, &LaterCompletions::Run, self, 0, nullptr);
    if (thread == nullptr) {
      FreeLibrary(self);
      return false;
    }
    CloseHandle(thread);
    return true;
  }

  // Under lock_, when no thread could be started.
  void CompleteAtOnce() {
    while (!queue_.empty()) {
      void* srb = queue_.front();
      queue_.pop_front();
      Manager().Execute(srb);
      SignalCompletion(srb);
    }
  }

  static DWORD WINAPI Run(void* module) {
    try {
      Of().CompleteQueued();
    } catch (...) {  // a lock that failed: the thread still lets the library go
      Tell(kvx::CurrentExceptionText());
    }
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
  }

  void CompleteQueued() {
    for (;;) {
      void* srb = nullptr;
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (queue_.empty()) {
          running_ = false;
          break;
        }
        srb = queue_.front();
        queue_.pop_front();
      }
      Manager().Execute(srb);  // the manager itself completes before it returns
      SignalCompletion(srb);
    }
  }

  std::mutex lock_;  // guards the two fields below
  std::deque<void*> queue_;
  bool running_ = false;
};

bool Asynchronous() {
  static const bool asynchronous = EnvironmentValue("KVXASPI_ASYNC") == "1";
  return asynchronous;
}

DWORD Send(void* srb) {
  auto* header = static_cast<kvx::scsi::SRB_Header*>(srb);
  if (header != nullptr && Asynchronous()) {
    if (header->SRB_Cmd == kvx::scsi::SC_EXEC_SCSI_CMD) return LaterCompletions::Of().Queue(srb);
    if (header->SRB_Cmd == kvx::scsi::SC_ABORT_SRB) return LaterCompletions::Of().Abort(srb);
  }
  const uint8_t status = Manager().Execute(srb);
  if (header != nullptr && header->SRB_Cmd == kvx::scsi::SC_EXEC_SCSI_CMD) SignalCompletion(srb);
  return status;
}

}  // namespace

extern "C" __declspec(dllexport) DWORD __cdecl GetASPI32SupportInfo(void) {
  return kvx::aspi::GuardSupportInfo([] { return Manager().SupportInfo(); }, Tell);
}

extern "C" __declspec(dllexport) DWORD __cdecl SendASPI32Command(void* srb) {
  return kvx::aspi::GuardRequest(srb, [srb]() -> uint32_t { return Send(srb); }, Tell);
}
