#include "kvxburn/commands.h"

#include "base/cp1252.h"

namespace kvx {
namespace {

struct ConsoleCommand {
  std::string_view Name;
  std::string_view Usage;
  int (*Run)(const CommandArgs& Args, const ConsoleOutput& Console, BurnEngine& Engine);
};

constexpr ConsoleCommand kCommands[] = {
    {"image", "image OUT.iso [--volume NAME] [--no-joliet] [--start SECTOR] PATH...",
     [](const CommandArgs& Args, const ConsoleOutput& Console, BurnEngine&) { return RunImageCommand(Args, Console); }},
    {"devices", "devices", RunDevicesCommand},
    {"info", "info DEVICE", RunInfoCommand},
    {"burn", "burn DEVICE [--test] [--finalize] [--verify] [--speed X] [--volume NAME] [--new-tree] PATH...",
     RunBurnCommand},
    {"erase", "erase DEVICE quick|full", RunEraseCommand},
    {"eject", "eject DEVICE", RunEjectCommand},
};

int Usage(const ConsoleOutput& Console) {
  Console.Line(Console.Err, "usage:");
  for (const ConsoleCommand& command : kCommands) Console.Line(Console.Err, "  kvxburn " + std::string(command.Usage));
  return kExitUsage;
}

}  // namespace

void ConsoleOutput::Line(std::ostream& stream, std::string_view text) const {
#ifdef _WIN32
  stream << text << '\n';
#else
  stream << CP1252ToUTF8(text) << '\n';
#endif
}

int RunCommandLine(const CommandArgs& Args, const ConsoleOutput& Console, BurnEngine& Engine) {
  if (Args.empty()) return Usage(Console);
  for (const ConsoleCommand& command : kCommands)
    if (Args[0] == command.Name) return command.Run(CommandArgs(Args.begin() + 1, Args.end()), Console, Engine);
  Console.Line(Console.Err, "kvxburn: unknown command \"" + Args[0] + "\"");
  return Usage(Console);
}

}  // namespace kvx
