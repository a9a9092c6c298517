#include "scsi/transport.h"

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

// Where the library may lie, by full path: beside the program, then in the system
// folder. The current folder is never searched: a library lying in the folder the
// program was started from is not ours.
std::vector<std::string> LibraryPaths(TransportPlatform& platform) {
  std::vector<std::string> paths{ProgramFolder() + kLibraryTransportName};
  const std::string systemFolder = platform.SystemFolder();
  if (!systemFolder.empty()) paths.push_back(systemFolder + kLibraryTransportName);
  return paths;
}

}  // namespace

std::unique_ptr<CompletionEvent> NewLocalCompletionEvent() { return std::make_unique<LocalCompletionEvent>(); }

void SignalLocalCompletion(void* postProcHandle) {
  if (postProcHandle != nullptr) static_cast<Event*>(postProcHandle)->Set();
}

SCSITransportHub::SCSITransportHub()
    : systemPlatform_(NewSystemTransportPlatform()), platform_(*systemPlatform_) {}

SCSITransportHub::SCSITransportHub(TransportPlatform& platform) : platform_(platform) {}

void SCSITransportHub::Shutdown() {
  active_.reset();
  library_.reset();
  name_.clear();
  initialised_ = false;
  passThroughBuilt_ = false;
}

// Builds the pass-through table once; installs the emulation when it found a unit.
void SCSITransportHub::TryPassThrough() {
  if (passThroughBuilt_) return;
  passThroughBuilt_ = true;
  VolumeSystem* volumes = platform_.Volumes();
  if (volumes == nullptr) return;
  auto emulation = std::make_shared<PassThroughTransport>(*volumes, closeAfterCommand_);
  if (emulation->BuildTable() == 0) return;
  active_ = emulation;
  name_ = kPassThroughTransportName;
  initialised_ = true;
}

// The library beside the program wins over the system's. False when a library lacks
// an entry point: it is not used, and no other transport is tried.
bool SCSITransportHub::TryLibrary() {
  for (const std::string& path : LibraryPaths(platform_)) {
    std::unique_ptr<SCSITransport> library;
    switch (platform_.LoadASPILibrary(path, library)) {
      case TransportPlatform::LibraryLoad::Loaded:
        library_ = std::move(library);
        active_ = library_;
        name_ = kLibraryTransportName;
        initialised_ = true;
        return true;
      case TransportPlatform::LibraryLoad::MissingEntryPoint:
        return false;
      case TransportPlatform::LibraryLoad::NotFound:
        break;
    }
  }
  return true;
}

bool SCSITransportHub::InitializeLocked(bool preferPassThrough) {
  const uint32_t previousMode = platform_.QuietErrorMode();
  bool usable = true;
  if (preferPassThrough) TryPassThrough();
  if (!initialised_) usable = TryLibrary();
  if (usable && !initialised_) TryPassThrough();
  if (initialised_) active_->SupportInfo();
  preferPassThrough_ = preferPassThrough;
  platform_.RestoreErrorMode(previousMode);
  return initialised_;
}

bool SCSITransportHub::Initialize(bool preferPassThrough) {
  std::lock_guard<std::mutex> guard(lock_);
  return InitializeLocked(preferPassThrough);
}

bool SCSITransportHub::Reinitialize() {
  std::lock_guard<std::mutex> guard(lock_);
  Shutdown();
  return InitializeLocked(preferPassThrough_);
}

void SCSITransportHub::Finalize() {
  std::lock_guard<std::mutex> guard(lock_);
  Shutdown();
}

bool SCSITransportHub::Initialized() const {
  std::lock_guard<std::mutex> guard(lock_);
  return initialised_;
}

std::string SCSITransportHub::Name() const {
  std::lock_guard<std::mutex> guard(lock_);
  return name_;
}

void SCSITransportHub::KeepUntilReleased(std::shared_ptr<void> held) {
  std::lock_guard<std::mutex> guard(lock_);
  held_.push_back(std::move(held));
}

std::shared_ptr<SCSITransport> SCSITransportHub::Active() const {
  std::lock_guard<std::mutex> guard(lock_);
  return active_;
}

}  // namespace kvx::scsi
