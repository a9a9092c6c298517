// Builds without Windows reach no ASPI library and no volumes; tests install their own
// platform in the transport hubs they make.
#include "scsi/transport.h"

namespace kvx::scsi {
namespace {

class NoTransportPlatform : public TransportPlatform {
 public:
  LibraryLoad LoadASPILibrary(const std::string&, std::unique_ptr<SCSITransport>&) override {
    return LibraryLoad::NotFound;
  }
  std::string SystemFolder() override { return {}; }
  VolumeSystem* Volumes() override { return nullptr; }
  uint32_t QuietErrorMode() override { return 0; }
  void RestoreErrorMode(uint32_t) override {}
};

}  // namespace

std::unique_ptr<TransportPlatform> NewSystemTransportPlatform() { return std::make_unique<NoTransportPlatform>(); }

}  // namespace kvx::scsi
