// The host command bridge: every message, gauge, question and window of the toolbox
// goes through Command to the host window runtime. The program owns one bridge and
// hands it to whatever talks to the host. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/host_link.h"

namespace kvx {

class HostBridge {
 public:
  HostBridge() = default;
  HostBridge(const HostBridge&) = delete;
  HostBridge& operator=(const HostBridge&) = delete;

  // Sends one command (after its automatic hook command, if any) and returns when the
  // host has carried it out. Opens the link on first use.
  void Command(std::string_view text);

  // Closes the link (TermModule) when it is open; the next command opens it again.
  void End();

  // Releases the runtime's context (LE_HftermineCTX(0)); used when the menu library is missing.
  void ReleaseContext();

  // Integer result of the most recent command.
  int32_t LastResult() const { return lastHostResult_; }

  // Code of the control that ended the last input command (at most 3 characters).
  const std::string& LastButtonCode() const { return lastButtonCode_; }

 private:
  void OpenLinkIfClosed();

  HostLinkRecord link_{};
  bool linkOpen_ = false;
  std::string lastButtonCode_;
  int32_t lastHostResult_ = 0;
};

}  // namespace kvx
