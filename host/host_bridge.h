// The host command bridge: every message, gauge, question and window of the toolbox
// goes to the host window runtime through one of the verbs below, which write the
// command text. The program owns one bridge and hands it to whatever talks to the host.
// Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/host_link.h"

namespace kvx {

// How a verb is spelt on the wire. The host compares verbs without regard to case; each
// verb has its usual spelling, and the few callers that have always sent another keep it
// so that the host still receives the same text.
enum class VerbCase { kUsual, kUpper, kLower, kCapitalised };

class HostBridge {
 public:
  HostBridge() = default;
  HostBridge(const HostBridge&) = delete;
  HostBridge& operator=(const HostBridge&) = delete;

  // The verbs the toolbox sends, each written here only.
  void OpenLibrary(std::string_view arguments);  // BIBLI: LastResult() 0 when it was opened
  void OpenProject(std::string_view project);    // PROJET
  void OpenWindow(std::string_view window, VerbCase spelling = VerbCase::kUsual);  // OUVRE
  void CloseWindow();                                                              // FERME
  // ECRAN,SAISIE: returns when the person pressed a control; its code is LastButtonCode().
  void WaitForInput();
  void Display(std::string_view control, std::string_view value);  // AFFICHE,control=value
  void Info(std::string_view message, VerbCase spelling = VerbCase::kUsual);   // Info
  void Error(std::string_view message, VerbCase spelling = VerbCase::kUsual);  // ERREUR
  bool AskYesNo(std::string_view question);  // OUINON: true for yes
  int32_t WindowHandle(std::string_view window);  // Handle: the native handle of the window
  // MULTITACHE: the host handles its pending window events, with the argument when given.
  void Multitask(VerbCase spelling = VerbCase::kUsual);
  void Multitask(int32_t argument, VerbCase spelling = VerbCase::kUsual);
  // EXECUTE: runs a procedure of the host project with one text argument.
  void CallProcedure(std::string_view procedure, std::string_view argument);

  // Sends one command text as it is (after its automatic hook command, if any) and
  // returns when the host has carried it out. Opens the link on first use. The verbs
  // above go through it; the tests of the command rules call it directly.
  void Command(std::string_view text);

  // Closes the link (TermModule) when it is open; the next command opens it again.
  void End();

  // Releases the runtime's context (LE_HftermineCTX(0)); used when the menu library is missing.
  void ReleaseContext();

  // Integer result of the most recent command.
  int32_t LastResult() const { return lastHostResult_; }

  // Code of the control that ended the last input command (at most 3 characters).
  const std::string& LastButtonCode() const { return lastButtonCode_; }

 private:
  void OpenLinkIfClosed();

  HostLinkRecord link_{};
  bool linkOpen_ = false;
  std::string lastButtonCode_;
  int32_t lastHostResult_ = 0;
};

}  // namespace kvx
