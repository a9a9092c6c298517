// One way of carrying out the toolbox's host commands: scripted (tests) or with real
// windows (people). The exported entry points hand every call to the session.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/host_link.h"

namespace kvxhost {

class HostSession {
 public:
  virtual ~HostSession() = default;
  virtual void Init() = 0;
  // Carries out one command; the result becomes the answer of nGetValeurRetour.
  virtual int32_t Execute(kvx::HostLinkRecord& link, std::string_view command) = 0;
  virtual void Term() = 0;
  virtual void ReleaseContext(int32_t value) = 0;
};

// Script mode when KVXHOST_SCRIPT names a script, interactive mode otherwise.
std::unique_ptr<HostSession> MakeScriptSession(const std::string& scriptPath, const std::string& logPath);
// Real windows on Windows; natively, where there are none, a script session without
// a script or transcript (no input, every question answered no).
std::unique_ptr<HostSession> MakeWindowSession();

// Where the runtime tells why a call failed inside it: the debugger's output on
// Windows, the standard error natively.
void TellFailure(const std::string& text);

// The value of an environment variable, empty when unset.
std::string HostEnvironment(const char* name);

void WriteButtonCode(kvx::HostLinkRecord& link, std::string_view code);

}  // namespace kvxhost
