#include "scsi/transport.h"

#include <atomic>
#include <mutex>
#include <vector>

#include "base/event.h"
#include "base/folders.h"
#include "scsi/pass_through.h"

namespace kvx::scsi {
namespace {

class LocalCompletionEvent : public CompletionEvent {
 public:
  void* PostProcHandle() override { return &event_; }
  bool Wait(uint32_t timeoutMs) override { return event_.Wait(timeoutMs); }

 private:
  Event event_{true, false};
};

// The process-wide transport state, as the engine keeps it in unit variables.
struct TransportState {
  std::mutex lock;
  TransportPlatform* platform = nullptr;  // null: the system's
  std::shared_ptr<ScsiTransport> active;
  std::shared_ptr<ScsiTransport> library;  // stays loaded when the emulation takes over
  std::string name;
  bool initialised = false;
  bool preferPassThrough = false;
  bool passThroughBuilt = false;
};

TransportState& State() {
  static TransportState state;
  return state;
}

std::atomic<bool> closeAfterCommand{true};

TransportPlatform& Platform(TransportState& state) {
  return state.platform != nullptr ? *state.platform : SystemTransportPlatform();
}

void Shutdown(TransportState& state) {
  state.active.reset();
  state.library.reset();
  state.name.clear();
  state.initialised = false;
  state.passThroughBuilt = false;
}

// Builds the pass-through table once; installs the emulation when it found a unit.
void TryPassThrough(TransportState& state) {
  if (state.passThroughBuilt) return;
  state.passThroughBuilt = true;
  VolumeSystem* volumes = Platform(state).Volumes();
  if (volumes == nullptr) return;
  auto emulation = std::make_shared<PassThroughTransport>(*volumes);
  if (emulation->BuildTable() == 0) return;
  state.active = emulation;
  state.name = kPassThroughTransportName;
  state.initialised = true;
}

// Where the library may lie, by full path: beside the program, then in the system
// folder. The current folder is never searched: a library lying in the folder the
// program was started from is not ours.
std::vector<std::string> LibraryPaths(TransportPlatform& platform) {
  std::vector<std::string> paths{ProgramFolder() + kLibraryTransportName};
  const std::string systemFolder = platform.SystemFolder();
  if (!systemFolder.empty()) paths.push_back(systemFolder + kLibraryTransportName);
  return paths;
}

// The library beside the program wins over the system's. False when a library lacks
// an entry point: it is not used, and no other transport is tried.
bool TryLibrary(TransportState& state) {
  for (const std::string& path : LibraryPaths(Platform(state))) {
    std::unique_ptr<ScsiTransport> library;
    switch (Platform(state).LoadAspiLibrary(path, library)) {
      case TransportPlatform::LibraryLoad::Loaded:
        state.library = std::move(library);
        state.active = state.library;
        state.name = kLibraryTransportName;
        state.initialised = true;
        return true;
      case TransportPlatform::LibraryLoad::MissingEntryPoint:
        return false;
      case TransportPlatform::LibraryLoad::NotFound:
        break;
    }
  }
  return true;
}

bool Initialize(TransportState& state, bool preferPassThrough) {
  TransportPlatform& platform = Platform(state);
  const uint32_t previousMode = platform.QuietErrorMode();
  bool usable = true;
  if (preferPassThrough) TryPassThrough(state);
  if (!state.initialised) usable = TryLibrary(state);
  if (usable && !state.initialised) TryPassThrough(state);
  if (state.initialised) state.active->SupportInfo();
  state.preferPassThrough = preferPassThrough;
  platform.RestoreErrorMode(previousMode);
  return state.initialised;
}

}  // namespace

std::unique_ptr<CompletionEvent> NewLocalCompletionEvent() { return std::make_unique<LocalCompletionEvent>(); }

void SignalLocalCompletion(void* postProcHandle) {
  if (postProcHandle != nullptr) static_cast<Event*>(postProcHandle)->Set();
}

void UseTransportPlatform(TransportPlatform* platform) {
  TransportState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  Shutdown(state);
  state.platform = platform;
}

TransportPlatform& CurrentTransportPlatform() {
  TransportState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  return Platform(state);
}

bool InitializeTransport(bool preferPassThrough) {
  TransportState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  return Initialize(state, preferPassThrough);
}

bool ReinitializeTransport() {
  TransportState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  Shutdown(state);
  return Initialize(state, state.preferPassThrough);
}

void FinalizeTransport() {
  TransportState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  Shutdown(state);
}

bool TransportInitialized() {
  TransportState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  return state.initialised;
}

std::string TransportName() {
  TransportState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  return state.name;
}

std::shared_ptr<ScsiTransport> ActiveTransport() {
  TransportState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  return state.active;
}

bool PassThroughCloseAfterCommand() { return closeAfterCommand; }
void SetPassThroughCloseAfterCommand(bool value) { closeAfterCommand = value; }

}  // namespace kvx::scsi
