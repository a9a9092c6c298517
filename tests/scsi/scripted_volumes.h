// Volumes for the pass-through emulation: stands in for GetDriveTypeA, CreateFileA,
// CloseHandle and DeviceIoControl with scripted CD/DVD units, optionally backed by a
// virtual recorder that carries out the commands.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "scsi/pass_through_defs.h"
#include "scsi/transport.h"
#include "standins/aspi/virtual_recorder.h"

namespace kvx::scsi::testing {

struct ScriptedVolume {
  char letter = 'D';
  unsigned driveType = DRIVE_CDROM;
  bool opensReadWrite = true;
  bool opensReadOnly = true;
  bool ioctlFails = false;
  std::optional<SCSI_ADDRESS> address;  // none: IOCTL_SCSI_GET_ADDRESS fails
  std::string identity = "VENDOR  PRODUCT NAME    1.00";
  // Answer of commands when no recorder is attached.
  uint8_t scsiStatus = 0;
  uint8_t senseLength = 0;
  std::vector<uint8_t> sense;
  aspi::VirtualRecorder* recorder = nullptr;
};

SCSI_ADDRESS Address(uint8_t port, uint8_t target, uint8_t lun = 0);

class ScriptedVolumes : public VolumeSystem {
 public:
  unsigned DriveType(const std::string& root) override;
  Handle Open(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition,
              uint32_t flags) override;
  void Close(Handle handle) override;
  bool IOControl(Handle handle, uint32_t code, void* in, uint32_t inBytes, void* out, uint32_t outBytes,
                 uint32_t* returned) override;

  ScriptedVolume& Add(ScriptedVolume volume);
  ScriptedVolume* Find(char letter);

  struct OpenCall {
    std::string path;
    uint32_t access, share, disposition, flags;
  };
  std::vector<OpenCall> opens;
  std::vector<std::string> driveTypeRoots;
  std::vector<PassThroughWithSense> passThroughs;  // as received, before the answer
  std::vector<std::array<uint8_t, 16>> cdbsSent;
  std::vector<uint32_t> passThroughLengths;
  int openHandles = 0;

 private:
  bool PassThrough(ScriptedVolume& volume, PassThroughWithSense& request);
  std::vector<ScriptedVolume> volumes_;
  std::map<Handle, char> handles_;
  Handle next_ = 100;
};

}  // namespace kvx::scsi::testing
