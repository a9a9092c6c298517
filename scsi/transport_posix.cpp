// Builds without Windows reach no ASPI library and no volumes; tests install their own
// platform with UseTransportPlatform.
#include "scsi/transport.h"

namespace kvx::scsi {
namespace {

class NoTransportPlatform : public TransportPlatform {
 public:
  LibraryLoad LoadAspiLibrary(const std::string&, std::unique_ptr<ScsiTransport>&) override {
    return LibraryLoad::NotFound;
  }
  std::string SystemFolder() override { return {}; }
  VolumeSystem* Volumes() override { return nullptr; }
  uint32_t QuietErrorMode() override { return 0; }
  void RestoreErrorMode(uint32_t) override {}
};

}  // namespace

TransportPlatform& SystemTransportPlatform() {
  static NoTransportPlatform platform;
  return platform;
}

}  // namespace kvx::scsi
