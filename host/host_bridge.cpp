#include "host/host_bridge.h"

#include "base/ascii_case.h"
#include "host/host_rules.h"

namespace kvx {
namespace {

// Up to three characters at offset 232, ended by NUL or carriage return.
std::string ReadButtonCode(const HostLinkRecord& link) {
  std::string code;
  for (size_t i = 0; i < kLinkButtonCodeSize; ++i) {
    const char c = static_cast<char>(link.bytes[kLinkButtonCode + i]);
    if (c == '\0' || c == '\r') break;
    code += c;
  }
  return code;
}

// The verb as the caller spells it, from its usual spelling.
std::string Spelt(std::string_view usual, VerbCase spelling) {
  switch (spelling) {
    case VerbCase::kUsual: return std::string(usual);
    case VerbCase::kUpper: return ASCIIUpper(usual);
    case VerbCase::kLower: return ASCIILower(usual);
    case VerbCase::kCapitalised: break;
  }
  std::string verb = ASCIILower(usual);
  if (!verb.empty()) verb[0] = ASCIIUpperChar(verb[0]);
  return verb;
}

std::string WithArgument(std::string_view verb, VerbCase spelling, std::string_view argument) {
  return Spelt(verb, spelling) + "," + std::string(argument);
}

}  // namespace

void HostBridge::OpenLibrary(std::string_view arguments) {
  Command(WithArgument("BIBLI", VerbCase::kUsual, arguments));
}

void HostBridge::OpenProject(std::string_view project) { Command(WithArgument("PROJET", VerbCase::kUsual, project)); }

void HostBridge::OpenWindow(std::string_view window, VerbCase spelling) {
  Command(WithArgument("OUVRE", spelling, window));
}

void HostBridge::CloseWindow() { Command("FERME"); }

void HostBridge::WaitForInput() { Command("ECRAN,SAISIE"); }

void HostBridge::Display(std::string_view control, std::string_view value) {
  Command(WithArgument("AFFICHE", VerbCase::kUsual, std::string(control) + "=" + std::string(value)));
}

void HostBridge::Info(std::string_view message, VerbCase spelling) { Command(WithArgument("Info", spelling, message)); }

void HostBridge::Error(std::string_view message, VerbCase spelling) {
  Command(WithArgument("ERREUR", spelling, message));
}

bool HostBridge::AskYesNo(std::string_view question) {
  Command(WithArgument("OUINON", VerbCase::kUsual, question));
  return lastHostResult_ != 0;
}

int32_t HostBridge::WindowHandle(std::string_view window) {
  Command(WithArgument("Handle", VerbCase::kUsual, window));
  return lastHostResult_;
}

void HostBridge::Multitask(VerbCase spelling) { Command(Spelt("MULTITACHE", spelling)); }

void HostBridge::Multitask(int32_t argument, VerbCase spelling) {
  Command(WithArgument("MULTITACHE", spelling, std::to_string(argument)));
}

void HostBridge::CallProcedure(std::string_view procedure, std::string_view argument) {
  Command("EXECUTE(\"" + std::string(procedure) + "\",\"" + std::string(argument) + "\")");
}

void HostBridge::OpenLinkIfClosed() {
  if (linkOpen_) return;
  link_.bytes[kLinkInitByte1] = 2;
  link_.bytes[kLinkInitByte2] = 0;
  InitModule(&link_);
  linkOpen_ = true;
}

void HostBridge::Command(std::string_view text) {
  const std::string buffer(text.substr(0, kHostCommandMax));
  if (const auto hook = HookCommand(buffer)) Command(*hook);

  const bool input = IsInputCommand(buffer);
  const std::string savedCode = lastButtonCode_;
  const std::string wire = AdjustCommand(buffer);

  OpenLinkIfClosed();
  WDExecuteCommande(&link_, wire.c_str());
  lastButtonCode_ = ReadButtonCode(link_);
  lastHostResult_ = nGetValeurRetour();
  dGetValeurRetour();
  if (!input) lastButtonCode_ = savedCode;
}

void HostBridge::End() {
  if (!linkOpen_) return;
  TermModule(&link_);
  linkOpen_ = false;
}

void HostBridge::ReleaseContext() { LE_HftermineCTX(0); }

}  // namespace kvx
