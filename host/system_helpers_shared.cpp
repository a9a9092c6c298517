#include "host/system_helpers_shared.h"

#include <chrono>
#include <thread>

#include "base/folders.h"
#include "host/host_bridge.h"
#include "host/system_helpers.h"

namespace kvx {

std::string CommandLine(std::string_view program, std::string_view arguments) {
  return std::string(program) + " " + std::string(arguments);
}

std::string FolderArgument(std::string_view folder) {
  size_t first = 0, end = folder.size();
  while (first < end && static_cast<unsigned char>(folder[first]) <= ' ') ++first;
  while (end > first && static_cast<unsigned char>(folder[end - 1]) <= ' ') --end;
  if (end > first && folder[end - 1] == '\\') --end;
  return std::string(folder.substr(first, end - first));
}

void WaitTicking(HostBridge& host, std::string_view program, const std::function<bool(int)>& ended,
                 const std::function<bool()>& escapePressed) {
  while (!ended(200)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    host.Multitask(-2);
    if (escapePressed()) KillProcesses(program, false);
  }
}

bool RunAndWait(HostBridge& host, std::string_view program, std::string_view arguments) {
  return RunAndWait(host, program, arguments, EscapeKeyDown);
}

bool RunAndWait(HostBridge& host, std::string_view program, std::string_view arguments,
                const std::function<bool()>& escapePressed) {
  return RunToExit(host, program, arguments, escapePressed).has_value();
}

bool RunAndWaitForSuccess(HostBridge& host, std::string_view program, std::string_view arguments) {
  return RunAndWaitForSuccess(host, program, arguments, EscapeKeyDown);
}

bool RunAndWaitForSuccess(HostBridge& host, std::string_view program, std::string_view arguments,
                          const std::function<bool()>& escapePressed) {
  return RunToExit(host, program, arguments, escapePressed) == 0;
}

int CountedProcesses(std::string_view executable, int running) {
  const size_t dot = executable.find('.');
  if (dot != std::string_view::npos && running > 1 && FileExists(std::string(executable.substr(0, dot)) + ".DPR"))
    return 1;
  return running;
}

}  // namespace kvx
