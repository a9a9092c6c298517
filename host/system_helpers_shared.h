// Pieces of the system helpers that both system sides share.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kvx {

class HostBridge;

// The command line the toolbox always builds: program, a blank, arguments.
std::string CommandLine(std::string_view program, std::string_view arguments);

// A folder as the shell copy takes it: plain trim of characters up to the blank, then
// a trailing "\" dropped.
std::string FolderArgument(std::string_view folder);

// Waits for a started program: `ended(ms)` waits up to ms and tells whether it has
// ended. Every 200 ms the host hears "MULTITACHE,-2"; Esc kills the processes named
// exactly like the program text.
void WaitTicking(HostBridge& host, std::string_view program, const std::function<bool(int milliseconds)>& ended,
                 const std::function<bool()>& escapePressed);

// Runs "program arguments" to its end as WaitTicking waits; its exit code, nothing when
// it could not be started. A program that KillProcesses ended has a non-zero code.
std::optional<int64_t> RunToExit(HostBridge& host, std::string_view program, std::string_view arguments,
                                 const std::function<bool()>& escapePressed);

// True while the user holds the Esc key down.
bool EscapeKeyDown();

// A project file beside the toolbox (NAME.DPR) means a development session: more than
// one running copy counts as one.
int CountedProcesses(std::string_view executable, int running);

}  // namespace kvx
