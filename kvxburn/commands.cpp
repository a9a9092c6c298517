#include "kvxburn/commands.h"

#include "base/cp1252.h"

namespace kvx {
namespace {

struct TCommand {
  std::string_view Name;
  std::string_view Usage;
  int (*Run)(const TCommandArgs& Args, const TConsole& Console, BurnEngine& Engine);
};

constexpr TCommand kCommands[] = {
    {"image", "image OUT.iso [--volume NAME] [--no-joliet] [--start SECTOR] PATH...",
     [](const TCommandArgs& Args, const TConsole& Console, BurnEngine&) { return RunImageCommand(Args, Console); }},
    {"devices", "devices", RunDevicesCommand},
    {"info", "info DEVICE", RunInfoCommand},
    {"burn", "burn DEVICE [--test] [--finalize] [--verify] [--speed X] [--volume NAME] [--new-tree] PATH...",
     RunBurnCommand},
    {"erase", "erase DEVICE quick|full", RunEraseCommand},
    {"eject", "eject DEVICE", RunEjectCommand},
};

int Usage(const TConsole& Console) {
  Console.Line(Console.Err, "usage:");
  for (const TCommand& command : kCommands) Console.Line(Console.Err, "  kvxburn " + std::string(command.Usage));
  return kExitUsage;
}

}  // namespace

void TConsole::Line(std::ostream& stream, std::string_view text) const {
#ifdef _WIN32
  stream << text << '\n';
#else
  stream << Cp1252ToUtf8(text) << '\n';
#endif
}

int RunCommandLine(const TCommandArgs& Args, const TConsole& Console, BurnEngine& Engine) {
  if (Args.empty()) return Usage(Console);
  for (const TCommand& command : kCommands)
    if (Args[0] == command.Name) return command.Run(TCommandArgs(Args.begin() + 1, Args.end()), Console, Engine);
  Console.Line(Console.Err, "kvxburn: unknown command \"" + Args[0] + "\"");
  return Usage(Console);
}

}  // namespace kvx
