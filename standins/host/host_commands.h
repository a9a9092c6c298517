// How the runtime stand-in reads the command texts the toolbox sends: the verb, its
// arguments, and the project procedures called through EXéCUTE.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvxhost {

enum class Verb { Bibli, Projet, Ouvre, Ferme, Saisie, Affiche, Info, Erreur, OuiNon, Handle, Multitache, Execute, Other };

struct HostCommandText {
  Verb verb = Verb::Other;
  std::string arguments;              // the text after the first comma
  std::string procedure;              // EXéCUTE: the procedure name
  std::vector<std::string> procArgs;  // EXéCUTE: its quoted arguments
};

HostCommandText ParseCommand(std::string_view text);

// BIBLI's answer: 0 when the library it names is in the parent of the current folder.
int32_t LibraryAnswer(std::string_view arguments);

// AFFICHE,CONTROL=value split into its two parts.
struct Display {
  std::string control;
  std::string value;
};
Display ParseDisplay(std::string_view arguments);

// Upper-case window name of "NAME.WDW" or "NAME".
std::string WindowName(std::string_view arguments);

}  // namespace kvxhost
