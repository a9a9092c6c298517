// The host command bridge: every message, gauge, question and window of the toolbox
// goes through HostCommand to the host window runtime. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kvx {

// Sends one command (after its automatic hook command, if any) and returns when the
// host has carried it out. Opens the link on first use.
void HostCommand(std::string_view text);

// Closes the link (TermModule) when it is open; the next command opens it again.
void HostEnd();

// Releases the runtime's context (LE_HftermineCTX(0)); used when the menu library is missing.
void HostReleaseContext();

// Integer result of the most recent command.
int32_t LastHostResult();

// Code of the control that ended the last input command (at most 3 characters).
const std::string& LastButtonCode();

}  // namespace kvx
