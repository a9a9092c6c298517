// The SCSI transport: one pair of entry points with the shape of ASPI for Win32
// (support information, send command) behind which either the ASPI manager library
// or the pass-through emulation answers. The command layer only ever uses this.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "scsi/unit_claims.h"

namespace kvx::scsi {

// The completion signal of one request sent with SRB_EVENT_NOTIFY: its handle goes
// into SRB_PostProc and the transport signals it when the request completes.
class CompletionEvent {
 public:
  virtual ~CompletionEvent() = default;
  virtual void* PostProcHandle() = 0;
  // True when signalled within timeoutMs.
  virtual bool Wait(uint32_t timeoutMs) = 0;
};

class SCSITransport {
 public:
  virtual ~SCSITransport() = default;
  // GetASPI32SupportInfo: status in bits 8-15, adapter count in bits 0-7.
  virtual uint32_t SupportInfo() = 0;
  // SendASPI32Command: takes any request block; returns its SRB_Status.
  virtual uint32_t SendCommand(void* srb) = 0;
  // A fresh, unsignalled completion signal of the kind this transport signals.
  virtual std::unique_ptr<CompletionEvent> NewCompletionEvent() = 0;
};

// A completion signal inside the process (base Event); SignalLocalCompletion sets the
// one whose PostProcHandle is given.
std::unique_ptr<CompletionEvent> NewLocalCompletionEvent();
void SignalLocalCompletion(void* postProcHandle);

// Volume access for the pass-through emulation and for drive letters: stands in for
// GetDriveTypeA, CreateFileA, CloseHandle and DeviceIoControl.
class VolumeSystem {
 public:
  using Handle = intptr_t;
  static constexpr Handle kInvalidHandle = -1;

  virtual ~VolumeSystem() = default;
  virtual unsigned DriveType(const std::string& root) = 0;
  virtual Handle Open(const std::string& path, uint32_t access, uint32_t share,
                      uint32_t disposition, uint32_t flags) = 0;
  virtual void Close(Handle handle) = 0;
  virtual bool IOControl(Handle handle, uint32_t code, void* in, uint32_t inBytes, void* out,
                         uint32_t outBytes, uint32_t* returned) = 0;
};

// A volume opened through a VolumeSystem, closed through it when the scope goes (the
// volume system must outlive it).
class ScopedVolume {
 public:
  ScopedVolume() = default;
  ScopedVolume(VolumeSystem& volumes, VolumeSystem::Handle handle) : volumes_(&volumes), handle_(handle) {}
  ~ScopedVolume() { reset(); }
  ScopedVolume(ScopedVolume&& other) noexcept
      : volumes_(other.volumes_), handle_(std::exchange(other.handle_, VolumeSystem::kInvalidHandle)) {}
  ScopedVolume& operator=(ScopedVolume&& other) noexcept {
    if (this != &other) {
      reset();
      volumes_ = other.volumes_;
      handle_ = std::exchange(other.handle_, VolumeSystem::kInvalidHandle);
    }
    return *this;
  }
  ScopedVolume(const ScopedVolume&) = delete;
  ScopedVolume& operator=(const ScopedVolume&) = delete;

  VolumeSystem::Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != VolumeSystem::kInvalidHandle; }
  void reset() {
    if (*this) volumes_->Close(std::exchange(handle_, VolumeSystem::kInvalidHandle));
  }

 private:
  VolumeSystem* volumes_ = nullptr;
  VolumeSystem::Handle handle_ = VolumeSystem::kInvalidHandle;
};

// What the process can reach: the Win32 binding loads the library and opens volumes;
// native builds have neither; tests install their own.
class TransportPlatform {
 public:
  enum class LibraryLoad { Loaded, NotFound, MissingEntryPoint };

  virtual ~TransportPlatform() = default;
  // Loads the ASPI manager library at path (a full path) and binds its two entry points.
  virtual LibraryLoad LoadASPILibrary(const std::string& path,
                                      std::unique_ptr<SCSITransport>& transport) = 0;
  // The system's own library folder, with a trailing separator; empty when there is none.
  virtual std::string SystemFolder() = 0;
  // The volumes the pass-through emulation probes; null when there are none.
  virtual VolumeSystem* Volumes() = 0;
  // Keeps critical-error boxes away while transports are probed.
  virtual uint32_t QuietErrorMode() = 0;
  virtual void RestoreErrorMode(uint32_t previous) = 0;
};

inline constexpr const char* kLibraryTransportName = "WNASPI32.DLL";
inline constexpr const char* kPassThroughTransportName = "VTASPI32";

// The platform of this build (Win32 binding, or none natively).
std::unique_ptr<TransportPlatform> NewSystemTransportPlatform();

// The SCSI transport of a program: the platform it reaches, the transport chosen, the
// emulation's handle policy and the claims on its units. The program makes one and
// hands it to every device, so that all its components share one transport and one
// claim table; tests make their own over their platform.
class SCSITransportHub {
 public:
  // Over the platform of this build.
  SCSITransportHub();
  explicit SCSITransportHub(TransportPlatform& platform);
  SCSITransportHub(const SCSITransportHub&) = delete;
  SCSITransportHub& operator=(const SCSITransportHub&) = delete;

  TransportPlatform& Platform() const { return platform_; }

  // Selects a transport: with preferPassThrough the emulation first when it finds a
  // unit; else the library beside the program, then the one in the system folder (never
  // one from the current folder), then the emulation. Returns whether a transport is
  // initialised.
  bool Initialize(bool preferPassThrough);
  // Shuts the transport down and initialises again with the last preference.
  bool Reinitialize();
  // Unloads the library and closes the emulation's handles (program end).
  void Finalize();

  bool Initialized() const;
  // "WNASPI32.DLL", "VTASPI32", or empty before initialisation.
  std::string Name() const;
  // The transport commands go to; null when none. Holders keep it alive while they use it.
  std::shared_ptr<SCSITransport> Active() const;

  // When true (the default) the emulation closes a unit's handle after each command;
  // long operations turn it off so that the handle stays open.
  bool CloseAfterCommand() const { return closeAfterCommand_; }
  void SetCloseAfterCommand(bool value) { closeAfterCommand_ = value; }

  // Which long operation holds which unit.
  UnitClaims& Claims() { return claims_; }

  // Keeps a request block the manager has not let go of, with whatever it needs, until
  // the program's transport goes (a device that goes hands its own over).
  void KeepUntilReleased(std::shared_ptr<void> held);

 private:
  void Shutdown();
  void TryPassThrough();
  bool TryLibrary();
  bool InitializeLocked(bool preferPassThrough);

  std::unique_ptr<TransportPlatform> systemPlatform_;  // null when a platform was given
  TransportPlatform& platform_;
  std::atomic<bool> closeAfterCommand_{true};
  UnitClaims claims_;
  mutable std::mutex lock_;  // guards the fields below
  std::shared_ptr<SCSITransport> active_;
  std::shared_ptr<SCSITransport> library_;  // stays loaded when the emulation takes over
  std::string name_;
  bool initialised_ = false;
  bool preferPassThrough_ = false;
  bool passThroughBuilt_ = false;
  std::vector<std::shared_ptr<void>> held_;
};

}  // namespace kvx::scsi
