// Commands of kvxburn. Each takes its arguments (Windows-1252, after the command name)
// and reports errors as lines on the error stream; the result is the exit code.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kvx {

class BurnEngine;

using CommandArgs = std::vector<std::string>;

struct ConsoleOutput {
  std::ostream& Out;
  std::ostream& Err;
  // Writes one Windows-1252 line in the console's encoding.
  void Line(std::ostream& stream, std::string_view text) const;
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

int RunImageCommand(const CommandArgs& args, const ConsoleOutput& console);
// The recorder commands, through the program's engine; DEVICE is a device line, its
// index in "devices" or a drive letter.
int RunDevicesCommand(const CommandArgs& args, const ConsoleOutput& console, BurnEngine& engine);
int RunInfoCommand(const CommandArgs& args, const ConsoleOutput& console, BurnEngine& engine);
int RunBurnCommand(const CommandArgs& args, const ConsoleOutput& console, BurnEngine& engine);
int RunEraseCommand(const CommandArgs& args, const ConsoleOutput& console, BurnEngine& engine);
int RunEjectCommand(const CommandArgs& args, const ConsoleOutput& console, BurnEngine& engine);

// Runs the command named by the first argument; usage on the error stream otherwise.
int RunCommandLine(const CommandArgs& args, const ConsoleOutput& console, BurnEngine& engine);

}  // namespace kvx
