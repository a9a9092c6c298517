#include "host/host_bridge.h"

#include <cstring>

#include "host/host_link.h"
#include "host/host_rules.h"

namespace kvx {
namespace {

// Module state of the bridge, one per process, for the program's life.
struct BridgeState {
  HostLinkRecord link{};
  bool linkOpen = false;
  std::string lastButtonCode;
  int32_t lastHostResult = 0;
};

BridgeState& Bridge() {
  static BridgeState state;
  return state;
}

void OpenLinkIfClosed(BridgeState& bridge) {
  if (bridge.linkOpen) return;
  bridge.link.bytes[kLinkInitByte1] = 2;
  bridge.link.bytes[kLinkInitByte2] = 0;
  InitModule(&bridge.link);
  bridge.linkOpen = true;
}

// Up to three characters at offset 232, ended by NUL or carriage return.
std::string ReadButtonCode(const HostLinkRecord& link) {
  std::string code;
  for (size_t i = 0; i < kLinkButtonCodeSize; ++i) {
    const char c = static_cast<char>(link.bytes[kLinkButtonCode + i]);
    if (c == '\0' || c == '\r') break;
    code += c;
  }
  return code;
}

}  // namespace

void HostCommand(std::string_view text) {
  const std::string buffer(text.substr(0, kHostCommandMax));
  if (const auto hook = HookCommand(buffer)) HostCommand(*hook);

  BridgeState& bridge = Bridge();
  const bool input = IsInputCommand(buffer);
  const std::string savedCode = bridge.lastButtonCode;
  const std::string wire = AdjustCommand(buffer);

  OpenLinkIfClosed(bridge);
  WDExecuteCommande(&bridge.link, wire.c_str());
  bridge.lastButtonCode = ReadButtonCode(bridge.link);
  bridge.lastHostResult = nGetValeurRetour();
  dGetValeurRetour();
  if (!input) bridge.lastButtonCode = savedCode;
}

void HostEnd() {
  BridgeState& bridge = Bridge();
  if (!bridge.linkOpen) return;
  TermModule(&bridge.link);
  bridge.linkOpen = false;
}

void HostReleaseContext() { LE_HftermineCTX(0); }

int32_t LastHostResult() { return Bridge().lastHostResult; }

const std::string& LastButtonCode() { return Bridge().lastButtonCode; }

}  // namespace kvx
