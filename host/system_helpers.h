// Processes, files and paths on the Windows API: the helpers the actions and the
// wizards share. Failures are reported only through the results.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "host/text_helpers.h"

namespace kvx {

class HostBridge;

// Runs "program arguments" and waits for its end, sending "MULTITACHE,-2" to the host
// every 200 ms; Esc kills the first process named exactly like the program text. True
// when the process was created.
bool RunAndWait(HostBridge& host, std::string_view program, std::string_view arguments);
// The same with the Esc key test supplied by the caller.
bool RunAndWait(HostBridge& host, std::string_view program, std::string_view arguments,
                const std::function<bool()>& escapePressed);
// RunAndWait, true only when the program ran to its own end with exit code 0: a
// program ended by Esc has failed.
bool RunAndWaitForSuccess(HostBridge& host, std::string_view program, std::string_view arguments);
bool RunAndWaitForSuccess(HostBridge& host, std::string_view program, std::string_view arguments,
                          const std::function<bool()>& escapePressed);

// Starts "program arguments" without waiting; elevated through "runas" when asked,
// except on Windows 2000 and XP.
bool Launch(std::string_view program, std::string_view arguments, bool elevate);
bool LaunchElevated(intptr_t ownerWindow, std::string_view program, std::string_view arguments);

// Running processes of that executable name; at most 1 when a NAME.DPR file is in the current folder.
int CountProcesses(std::string_view executable);
// Terminates the first (or every) process whose executable name equals the text; the
// terminated process ends with a non-zero exit code.
bool KillProcesses(std::string_view executable, bool all);

// Absolute short (8.3) form of a path; a bare name is taken in the current folder.
std::string ShortPath(std::string_view path);
// True when a file or folder matches the name or pattern.
bool PathExists(std::string_view pattern);
// Copies source onto target, replacing a read-only target; true when the copy (and the
// move's deletion of the source) was made.
bool CopyReplace(std::string_view source, std::string_view target, bool move);
// Deletes every file matching the pattern; failures are ignored.
void DeleteMatching(std::string_view pattern);
// Shell copy of a folder (silent, no confirmation); where it lands follows the shell's rules.
bool CopyFolder(std::string_view source, std::string_view target);

// Registers the program for the high-DPI compatibility layer unless DPIOK=1.
void RegisterHighDpi(std::string_view executablePath);

}  // namespace kvx
