#include "host/host_bridge.h"

#include "host/host_rules.h"

namespace kvx {
namespace {

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

void HostBridge::OpenLinkIfClosed() {
  if (linkOpen_) return;
  link_.bytes[kLinkInitByte1] = 2;
  link_.bytes[kLinkInitByte2] = 0;
  InitModule(&link_);
  linkOpen_ = true;
}

void HostBridge::Command(std::string_view text) {
  const std::string buffer(text.substr(0, kHostCommandMax));
  if (const auto hook = HookCommand(buffer)) Command(*hook);

  const bool input = IsInputCommand(buffer);
  const std::string savedCode = lastButtonCode_;
  const std::string wire = AdjustCommand(buffer);

  OpenLinkIfClosed();
  WDExecuteCommande(&link_, wire.c_str());
  lastButtonCode_ = ReadButtonCode(link_);
  lastHostResult_ = nGetValeurRetour();
  dGetValeurRetour();
  if (!input) lastButtonCode_ = savedCode;
}

void HostBridge::End() {
  if (!linkOpen_) return;
  TermModule(&link_);
  linkOpen_ = false;
}

void HostBridge::ReleaseContext() { LE_HftermineCTX(0); }

}  // namespace kvx
