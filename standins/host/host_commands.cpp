#include "standins/host/host_commands.h"

#include <filesystem>

#include "host/host_rules.h"

namespace kvxhost {
namespace {

bool VerbIs(const std::string& upperVerb, std::string_view name) { return upperVerb == name; }

// "EXéCUTE(" in any letter case; the toolbox turns the second e into E9h.
bool IsExecuteCall(std::string_view text) {
  const std::string lower = kvx::ASCIILower(text.substr(0, 8));
  return lower == "ex\xE9" "cute(";
}

// Quoted arguments of proc("a","b"): the first one is the procedure name.
std::vector<std::string> QuotedArguments(std::string_view text) {
  std::vector<std::string> out;
  size_t pos = 0;
  while ((pos = text.find('"', pos)) != std::string_view::npos) {
    const size_t end = text.find('"', pos + 1);
    if (end == std::string_view::npos) break;
    out.emplace_back(text.substr(pos + 1, end - pos - 1));
    pos = end + 1;
  }
  return out;
}

}  // namespace

HostCommandText ParseCommand(std::string_view text) {
  HostCommandText command;
  if (IsExecuteCall(text)) {
    command.verb = Verb::Execute;
    auto args = QuotedArguments(text);
    if (!args.empty()) {
      command.procedure = args.front();
      command.procArgs.assign(args.begin() + 1, args.end());
    }
    return command;
  }
  const size_t comma = text.find(',');
  const std::string verb = kvx::ASCIIUpper(text.substr(0, comma));
  if (comma != std::string_view::npos) command.arguments = std::string(text.substr(comma + 1));
  if (VerbIs(verb, "BIBLI")) command.verb = Verb::Bibli;
  else if (VerbIs(verb, "PROJET")) command.verb = Verb::Projet;
  else if (VerbIs(verb, "OUVRE")) command.verb = Verb::Ouvre;
  else if (VerbIs(verb, "FERME")) command.verb = Verb::Ferme;
  else if (VerbIs(verb, "ECRAN") && kvx::ASCIIUpper(command.arguments) == "SAISIE") command.verb = Verb::Saisie;
  else if (VerbIs(verb, "AFFICHE")) command.verb = Verb::Affiche;
  else if (VerbIs(verb, "INFO")) command.verb = Verb::Info;
  else if (VerbIs(verb, "ERREUR")) command.verb = Verb::Erreur;
  else if (VerbIs(verb, "OUINON")) command.verb = Verb::OuiNon;
  else if (VerbIs(verb, "HANDLE")) command.verb = Verb::Handle;
  else if (VerbIs(verb, "MULTITACHE")) command.verb = Verb::Multitache;
  return command;
}

int32_t LibraryAnswer(std::string_view arguments) {
  // "disque,KVXOUTIL.wdl/CR": the file name sits between the comma and the slash.
  const size_t comma = arguments.find(',');
  std::string_view name = comma == std::string_view::npos ? arguments : arguments.substr(comma + 1);
  name = name.substr(0, name.find('/'));
  if (name.empty()) return 1;
  std::error_code error;
  const auto parent = std::filesystem::current_path(error).parent_path();
  if (error) return 1;
  return std::filesystem::is_regular_file(parent / std::string(name), error) ? 0 : 1;
}

Display ParseDisplay(std::string_view arguments) {
  const size_t equals = arguments.find('=');
  if (equals == std::string_view::npos) return {std::string(arguments), {}};
  return {std::string(arguments.substr(0, equals)), std::string(arguments.substr(equals + 1))};
}

std::string WindowName(std::string_view arguments) {
  std::string upper = kvx::ASCIIUpper(arguments);
  if (const size_t dot = upper.find(".WDW"); dot != std::string::npos) upper.resize(dot);
  return upper;
}

}  // namespace kvxhost
