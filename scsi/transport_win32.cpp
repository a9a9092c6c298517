// The Win32 binding of the transports: the ASPI manager library through LoadLibraryA
// (by full path) and GetProcAddress, its completion events, and the volumes the pass-through
// emulation reaches with CreateFileA and DeviceIoControl.
#include <windows.h>

#include "base/win32_scope.h"
#include "scsi/transport.h"

namespace kvx::scsi {
namespace {

// The two entry points as ASPI for Win32 publishes them (caller removes the argument).
using GetSupportInfoEntry = DWORD(__cdecl*)(void);
using SendCommandEntry = DWORD(__cdecl*)(void*);

class Win32CompletionEvent : public CompletionEvent {
 public:
  Win32CompletionEvent() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  void* PostProcHandle() override { return event_.get(); }
  bool Wait(uint32_t timeoutMs) override {
    return event_ && WaitForSingleObject(event_.get(), timeoutMs) == WAIT_OBJECT_0;
  }

 private:
  win32::ScopedHandle event_;
};

class ASPILibraryTransport : public SCSITransport {
 public:
  ASPILibraryTransport(win32::ScopedModule library, GetSupportInfoEntry supportInfo, SendCommandEntry sendCommand)
      : library_(std::move(library)), supportInfo_(supportInfo), sendCommand_(sendCommand) {}
  uint32_t SupportInfo() override { return supportInfo_(); }
  uint32_t SendCommand(void* srb) override { return sendCommand_(srb); }
  std::unique_ptr<CompletionEvent> NewCompletionEvent() override { return std::make_unique<Win32CompletionEvent>(); }

 private:
  win32::ScopedModule library_;
  GetSupportInfoEntry supportInfo_;
  SendCommandEntry sendCommand_;
};

class Win32Volumes : public VolumeSystem {
 public:
  unsigned DriveType(const std::string& root) override { return GetDriveTypeA(root.c_str()); }
  Handle Open(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition,
              uint32_t flags) override {
    HANDLE handle = CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
    return handle == INVALID_HANDLE_VALUE ? kInvalidHandle : reinterpret_cast<Handle>(handle);
  }
  void Close(Handle handle) override { CloseHandle(reinterpret_cast<HANDLE>(handle)); }
  bool IOControl(Handle handle, uint32_t code, void* in, uint32_t inBytes, void* out, uint32_t outBytes,
                 uint32_t* returned) override {
    DWORD bytes = 0;
    const BOOL done = DeviceIoControl(reinterpret_cast<HANDLE>(handle), code, in, inBytes, out, outBytes, &bytes, nullptr);
    if (returned != nullptr) *returned = bytes;
    return done != FALSE;
  }
};

template <typename Entry>
Entry EntryPoint(HMODULE library, const char* name) {
  return reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

class Win32TransportPlatform : public TransportPlatform {
 public:
  LibraryLoad LoadASPILibrary(const std::string& path, std::unique_ptr<SCSITransport>& transport) override {
    win32::ScopedModule library(LoadLibraryA(path.c_str()));
    if (!library) return LibraryLoad::NotFound;
    const auto supportInfo = EntryPoint<GetSupportInfoEntry>(library.get(), "GetASPI32SupportInfo");
    const auto sendCommand = EntryPoint<SendCommandEntry>(library.get(), "SendASPI32Command");
    if (supportInfo == nullptr || sendCommand == nullptr) return LibraryLoad::MissingEntryPoint;
    transport = std::make_unique<ASPILibraryTransport>(std::move(library), supportInfo, sendCommand);
    return LibraryLoad::Loaded;
  }
  std::string SystemFolder() override {
    char folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryA(folder, sizeof folder);
    return length == 0 || length >= sizeof folder ? std::string() : std::string(folder, length) + "\\";
  }
  VolumeSystem* Volumes() override { return &volumes_; }
  uint32_t QuietErrorMode() override { return SetErrorMode(SEM_FAILCRITICALERRORS); }
  void RestoreErrorMode(uint32_t previous) override { SetErrorMode(previous); }

 private:
  Win32Volumes volumes_;
};

}  // namespace

std::unique_ptr<TransportPlatform> NewSystemTransportPlatform() { return std::make_unique<Win32TransportPlatform>(); }

}  // namespace kvx::scsi
