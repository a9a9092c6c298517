// A SCSI transport whose unit is a script: it records every request block it gets and
// answers through a test-supplied function, at once or when the caller waits.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "scsi/aspi_defs.h"
#include "scsi/transport.h"

namespace kvx::scsi::testing {

struct SentRequest {
  std::array<uint8_t, 16> cdb{};
  uint8_t flags = 0;
  uint8_t cdbLength = 0;
  uint8_t haId = 0, target = 0, lun = 0, senseLength = 0;
  uint32_t bufLen = 0;
  std::vector<uint8_t> dataOut;  // the buffer as sent (data-out commands)
  bool withEvent = false;
};

struct UnitScript {
  // HeldAfterAbort: never within the wait, and an abort does not make the manager let
  // go of the block (CompleteLate completes it afterwards).
  enum class Completion { AtOnce, WhenWaitedFor, Never, HeldAfterAbort };

  // Fills the answer: data, SRB_Status (01h unless changed), host and target status, sense.
  std::function<void(SCSIRequest&)> respond;
  Completion completion = Completion::AtOnce;
  uint8_t adapterCount = 1;
  int driveNumber = 4;  // E: through SC_GET_DISK_INFO; negative: no drive letter

  std::vector<SentRequest> sent;
  std::vector<uint32_t> waits;  // time-outs the command layer waited with
  std::vector<void*> aborted;
  SCSIRequest* pending = nullptr;

  void Answer(SCSIRequest& request);
  // Answers the pending request now and sets its completion signal.
  void CompleteLate();
  // Opcodes of the requests sent so far.
  std::vector<uint8_t> Opcodes() const;
  void Clear() {
    sent.clear();
    waits.clear();
    aborted.clear();
  }
};

class ScriptedTransport : public SCSITransport {
 public:
  explicit ScriptedTransport(UnitScript& script) : script_(script) {}
  uint32_t SupportInfo() override { return (uint32_t{SS_COMP} << 8) | script_.adapterCount; }
  uint32_t SendCommand(void* srb) override;
  std::unique_ptr<CompletionEvent> NewCompletionEvent() override;

 private:
  UnitScript& script_;
};

// A platform whose ASPI library is the script; optional volumes for the emulation.
class ScriptedPlatform : public TransportPlatform {
 public:
  explicit ScriptedPlatform(UnitScript* script, VolumeSystem* volumes = nullptr)
      : script_(script), volumes_(volumes) {}
  // Answers for the library beside the program and for the one in the system folder;
  // any other path is not found.
  LibraryLoad LoadASPILibrary(const std::string& path, std::unique_ptr<SCSITransport>& transport) override;
  std::string SystemFolder() override { return kSystemFolder; }
  VolumeSystem* Volumes() override { return volumes_; }
  uint32_t QuietErrorMode() override { return ++quietCalls; }
  void RestoreErrorMode(uint32_t previous) override { restored.push_back(previous); }

  static constexpr const char* kSystemFolder = "C:\\WINDOWS\\system32\\";
  std::vector<std::string> loadedPaths;
  LibraryLoad besideProgram = LibraryLoad::Loaded;   // result for WNASPI32.DLL in the program's folder
  LibraryLoad inSystemFolder = LibraryLoad::Loaded;  // result for kSystemFolder + WNASPI32.DLL
  uint32_t quietCalls = 0;
  std::vector<uint32_t> restored;

 private:
  UnitScript* script_;
  VolumeSystem* volumes_;
};

// A transport hub of the test's own over its platform, initialised unless told not to.
class TransportInstall {
 public:
  explicit TransportInstall(TransportPlatform& platform, bool initialise = true, bool preferPassThrough = false);
  SCSITransportHub& Hub() { return hub_; }

 private:
  SCSITransportHub hub_;
};

}  // namespace kvx::scsi::testing
