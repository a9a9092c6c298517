#include "wizard/routine.h"

#include <string>

#include "base/exception_text.h"
#include "wizard/backup_search.h"

namespace kvx {

TRoutine::TRoutine(ui::Button& button, std::string folder, std::string fileName, ui::ListBox& results,
                   ui::Label& folderLine, std::function<void()> onEnd)
    : button_(button),
      folder_(std::move(folder)),
      fileName_(std::move(fileName)),
      results_(results),
      folderLine_(folderLine),
      onEnd_(std::move(onEnd)) {
  results_.ClearItems();
  SetPriority(ThreadPriority::Lower);
  Start();
  button_.SetCaption("Annuler");
}

void TRoutine::Execute() {
  SearchReport report;
  report.found = [this](const std::string& path) { ui::PostToGUI(lifetime_, [this, path] { results_.AddItem(path); }); };
  report.enteringFolder = [this](const std::string& folder) {
    ui::PostToGUI(lifetime_, [this, folder] { folderLine_.SetCaption(folder); });
  };
  // A search that failed still ends: the button gets its caption back and the folder
  // line tells why, instead of the form waiting for an end that never comes.
  std::string failure;
  try {
    SearchBackups(folder_, fileName_, report, [this] { return Terminated(); });
  } catch (...) {
    failure = "Recherche interrompue : " + CurrentExceptionText();
    RecordFailure(failure);
  }
  // The task keeps its own copy of onEnd: running it may free this routine.
  ui::PostToGUI(lifetime_, [this, failure, onEnd = onEnd_] {
    button_.SetCaption("Rechercher");
    folderLine_.SetCaption(failure.empty() ? "..." : failure);
    if (onEnd) onEnd();
  });
}

}  // namespace kvx
