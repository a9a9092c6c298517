// TRoutine: the backup search on a thread of its own, below normal priority. Every
// change it makes to the form (results, folder line, button caption) is carried out
// on the GUI thread through the dispatcher.
#pragma once

#include <functional>
#include <string>

#include "base/thread.h"
#include "ui/buttons.h"
#include "ui/dispatcher.h"
#include "ui/list_controls.h"
#include "ui/text_controls.h"

namespace kvx {

class TRoutine : public TThread {
 public:
  // GUI thread: empties the result list, starts the search and captions the button
  // "Annuler". onEnd runs on the GUI thread after the search has ended.
  TRoutine(ui::Button& button, std::string folder, std::string fileName, ui::ListBox& results, ui::Label& folderLine,
           std::function<void()> onEnd);
  // Stopped by its owner (OwnedThread), the search ends; what it posted and has not run
  // yet is dropped with the object.

 protected:
  void Execute() override;

 private:
  ui::Button& button_;
  const std::string folder_;
  const std::string fileName_;
  ui::ListBox& results_;
  ui::Label& folderLine_;
  std::function<void()> onEnd_;
  ui::Lifetime lifetime_;
};

}  // namespace kvx
