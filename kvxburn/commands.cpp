#include "kvxburn/commands.h"

#include "base/cp1252.h"

namespace kvx {
namespace {

struct ConsoleCommand {
  std::string_view Name;
  std::string_view Usage;
  int (*Run)(const CommandArgs& args, const ConsoleOutput& console, BurnEngine& engine);
};

constexpr ConsoleCommand kCommands[] = {
    {"image", "image OUT.iso [--volume NAME] [--no-joliet] [--start SECTOR] PATH...",
     [](const CommandArgs& args, const ConsoleOutput& console, BurnEngine&) { return RunImageCommand(args, console); }},
    {"devices", "devices", RunDevicesCommand},
    {"info", "info DEVICE", RunInfoCommand},
    {"burn", "burn DEVICE [--test] [--finalize] [--verify] [--speed X] [--volume NAME] [--new-tree] PATH...",
     RunBurnCommand},
    {"erase", "erase DEVICE quick|full", RunEraseCommand},
    {"eject", "eject DEVICE", RunEjectCommand},
};

int Usage(const ConsoleOutput& console) {
  console.Line(console.Err, "usage:");
  for (const ConsoleCommand& command : kCommands) console.Line(console.Err, "  kvxburn " + std::string(command.Usage));
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

int RunCommandLine(const CommandArgs& args, const ConsoleOutput& console, BurnEngine& engine) {
  if (args.empty()) return Usage(console);
  for (const ConsoleCommand& command : kCommands)
    if (args[0] == command.Name) return command.Run(CommandArgs(args.begin() + 1, args.end()), console, engine);
  console.Line(console.Err, "kvxburn: unknown command \"" + args[0] + "\"");
  return Usage(console);
}

}  // namespace kvx
