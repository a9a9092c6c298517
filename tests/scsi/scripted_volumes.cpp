#include "tests/scsi/scripted_volumes.h"

#include <algorithm>
#include <cstring>

namespace kvx::scsi::testing {

SCSI_ADDRESS Address(uint8_t port, uint8_t target, uint8_t lun) {
  SCSI_ADDRESS address{};
  address.Length = sizeof(SCSI_ADDRESS);
  address.PortNumber = port;
  address.TargetId = target;
  address.Lun = lun;
  return address;
}

ScriptedVolume& ScriptedVolumes::Add(ScriptedVolume volume) {
  volumes_.push_back(volume);
  return volumes_.back();
}

ScriptedVolume* ScriptedVolumes::Find(char letter) {
  for (auto& volume : volumes_)
    if (volume.letter == letter) return &volume;
  return nullptr;
}

unsigned ScriptedVolumes::DriveType(const std::string& root) {
  driveTypeRoots.push_back(root);
  const ScriptedVolume* volume = Find(root[0]);
  return volume != nullptr && root.substr(1) == ":\\" ? volume->driveType : 1;  // DRIVE_NO_ROOT_DIR
}

VolumeSystem::Handle ScriptedVolumes::Open(const std::string& path, uint32_t access, uint32_t share,
                                           uint32_t disposition, uint32_t flags) {
  opens.push_back({path, access, share, disposition, flags});
  if (path.size() != 6 || path.substr(0, 4) != "\\\\.\\" || path[5] != ':') return kInvalidHandle;
  const ScriptedVolume* volume = Find(path[4]);
  if (volume == nullptr) return kInvalidHandle;
  const bool writing = (access & GENERIC_WRITE_ACCESS) != 0;
  if (writing ? !volume->opensReadWrite : !volume->opensReadOnly) return kInvalidHandle;
  handles_[next_] = volume->letter;
  ++openHandles;
  return next_++;
}

void ScriptedVolumes::Close(Handle handle) {
  if (handles_.erase(handle) == 1) --openHandles;
}

bool ScriptedVolumes::IOControl(Handle handle, uint32_t code, void* in, uint32_t inBytes, void* out,
                                uint32_t outBytes, uint32_t* returned) {
  const auto open = handles_.find(handle);
  if (open == handles_.end()) return false;
  ScriptedVolume& volume = *Find(open->second);
  if (volume.ioctlFails) return false;
  if (code == IOCTL_SCSI_GET_ADDRESS) {
    if (!volume.address || outBytes < sizeof(SCSI_ADDRESS)) return false;
    std::memcpy(out, &*volume.address, sizeof(SCSI_ADDRESS));
    *returned = sizeof(SCSI_ADDRESS);
    return true;
  }
  if (code != IOCTL_SCSI_PASS_THROUGH_DIRECT || in != out || inBytes != sizeof(PassThroughWithSense)) return false;
  passThroughLengths.push_back(inBytes);
  auto& request = *static_cast<PassThroughWithSense*>(in);
  passThroughs.push_back(request);
  std::array<uint8_t, 16> cdb{};
  std::copy_n(request.Sptd.Cdb, 16, cdb.begin());
  cdbsSent.push_back(cdb);
  *returned = inBytes;
  return PassThrough(volume, request);
}

bool ScriptedVolumes::PassThrough(ScriptedVolume& volume, PassThroughWithSense& request) {
  auto* data = static_cast<uint8_t*>(request.Sptd.DataBuffer);
  if (request.Sptd.Cdb[0] == 0x12 && volume.recorder == nullptr) {
    std::memset(data, 0, request.Sptd.DataTransferLength);
    data[0] = 0x05;
    std::memcpy(data + 8, volume.identity.data(), std::min<size_t>(volume.identity.size(), 28));
    request.Sptd.SenseInfoLength = 0;
    return true;
  }
  if (volume.recorder != nullptr) {
    const aspi::CommandResult result = volume.recorder->Execute(
        std::span<const uint8_t>(request.Sptd.Cdb, request.Sptd.CDBLength),
        std::span<uint8_t>(data, data != nullptr ? request.Sptd.DataTransferLength : 0));
    request.Sptd.SCSIStatus = result.status;
    const uint8_t length = result.status == aspi::kStatusCheckCondition
                               ? std::min<uint8_t>(request.Sptd.SenseInfoLength, result.sense.size())
                               : 0;
    std::memcpy(request.SenseBuf, result.sense.data(), length);
    request.Sptd.SenseInfoLength = length;
    return true;
  }
  request.Sptd.SCSIStatus = volume.scsiStatus;
  std::copy_n(volume.sense.begin(), std::min<size_t>(volume.sense.size(), sizeof(request.SenseBuf)), request.SenseBuf);
  request.Sptd.SenseInfoLength = volume.senseLength;
  return true;
}

}  // namespace kvx::scsi::testing
