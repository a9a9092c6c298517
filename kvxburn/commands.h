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

int RunImageCommand(const CommandArgs& Args, const ConsoleOutput& Console);
// The recorder commands, through the program's engine; DEVICE is a device line, its
// index in "devices" or a drive letter.
int RunDevicesCommand(const CommandArgs& Args, const ConsoleOutput& Console, BurnEngine& Engine);
int RunInfoCommand(const CommandArgs& Args, const ConsoleOutput& Console, BurnEngine& Engine);
int RunBurnCommand(const CommandArgs& Args, const ConsoleOutput& Console, BurnEngine& Engine);
int RunEraseCommand(const CommandArgs& Args, const ConsoleOutput& Console, BurnEngine& Engine);
int RunEjectCommand(const CommandArgs& Args, const ConsoleOutput& Console, BurnEngine& Engine);

// Runs the command named by the first argument; usage on the error stream otherwise.
int RunCommandLine(const CommandArgs& Args, const ConsoleOutput& Console, BurnEngine& Engine);

}  // namespace kvx
