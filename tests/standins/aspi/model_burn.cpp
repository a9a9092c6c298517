// model_burn CONFIG TRACK: burns a track image onto unit 0 of a recorder configuration
// the way the writer does (track at once, one session left open, or closed with
// --finalize), through the command layer and the virtual recorder in this process.
// Prints the sector the track starts at.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "scsi/scsi_device.h"
#include "standins/aspi/inprocess_transport.h"

namespace {

using namespace kvx;

int Fail(const char* what, const scsi::TSCSIDevice& device) {
  std::fprintf(stderr, "model_burn: %s: %s\n", what, device.LastError().c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: model_burn CONFIG TRACK [--finalize]\n");
    return 2;
  }
  const bool finalize = argc > 3 && std::strcmp(argv[3], "--finalize") == 0;
  std::ifstream file(argv[2], std::ios::binary);
  std::vector<uint8_t> track((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  track.resize((track.size() + 2047) / 2048 * 2048);
  std::string error;
  auto manager = aspi::LoadASPIManager(argv[1], aspi::SystemClock(), error);
  if (!manager) {
    std::fprintf(stderr, "model_burn: %s\n", error.c_str());
    return 1;
  }
  aspi::InProcessPlatform platform(*manager);
  scsi::SCSITransportHub transport(platform);
  int result = 0;
  {
    scsi::TSCSIDevice device(transport);
    if (!device.InitializeASPI(false) || device.Devices().empty()) return Fail("no unit", device);
    device.SetDevice(device.Devices()[0]);
    const scsi::DiscKind discType = device.GetDiscType();
    device.SetFinalizeDisc(true);
    device.SetWriteParameters({.underrunProtection = true}, discType);
    device.SetFinalizeDisc(finalize);
    if (!device.ReadTrackInformation(device.GetLastSessionNumber() + 1u)) return Fail("track information", device);
    const uint32_t start = device.TrackInfo().NextWritableAddress();
    const uint32_t sectors = static_cast<uint32_t>(track.size() / 2048);
    for (uint32_t done = 0; done < sectors && result == 0;) {
      const uint32_t n = std::min(31u, sectors - done);
      if (!device.Write10(start + done, static_cast<uint16_t>(n), 0x50,
                          std::span<const uint8_t>(track.data() + size_t{done} * 2048, size_t{n} * 2048)))
        result = Fail("write", device);
      done += n;
    }
    if (result == 0 && !device.SynchronizeCache(120000, false)) result = Fail("flush", device);
    device.SetWriteParameters({.underrunProtection = true}, discType);
    if (result == 0 && !device.CloseTrackSession(scsi::CloseFunction::Session, device.CloseImmediate()))
      result = Fail("close", device);
    if (result == 0) std::printf("%u\n", start);
  }
  return result;
}
