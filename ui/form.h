// A form: a top-level window holding named controls and non-visual components. How a
// form reaches the screen is the current presenter's business: real windows (the
// Win32 binding) or headless mode, where a test-supplied driver plays the user.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/control.h"
#include "ui/dialogs.h"
#include "ui/dispatcher.h"
#include "ui/drives.h"

namespace kvx::ui {

enum class ModalResult { None, Ok, Cancel };
enum class CloseAction { None, Hide };
enum class BorderStyle { Sizeable, Single };

class Form : public Container {
 public:
  explicit Form(std::string name);
  ~Form() override;

  // Size of the client area; the window adds its frame around it.
  void SetClientSize(int width, int height) { SetBounds(0, 0, width, height); }
  BorderStyle GetBorderStyle() const { return borderStyle_; }
  void SetBorderStyle(BorderStyle style) { borderStyle_ = style; }
  bool StayOnTop() const { return stayOnTop_; }
  void SetStayOnTop(bool on) { stayOnTop_ = on; }
  bool CentredOnDesktop() const { return centred_; }
  void SetCentredOnDesktop(bool on) { centred_ = on; }

  // Shows the form and returns when it has been closed.
  ModalResult ShowModal();
  void Show();
  void Hide();
  // Runs OnClose; unless it answers None, ends the modal show or hides the form.
  void Close();
  bool IsModal() const { return modal_; }
  ModalResult GetModalResult() const { return modalResult_; }

  bool Showing() const override { return Visible(); }

  // Non-visual components register here (timers, menus, dialogs).
  void AddComponent(Component* component) { components_.push_back(component); }
  const std::vector<Component*>& Components() const { return components_; }

  // Posts a task that runs on the GUI thread only while this form exists.
  void Post(Task task) const { PostToGUI(lifetime_, std::move(task)); }

  std::function<void()> OnShow;
  std::function<void(CloseAction&)> OnClose;

 private:
  void BecomeVisible();

  BorderStyle borderStyle_ = BorderStyle::Sizeable;
  bool stayOnTop_ = false;
  bool centred_ = false;
  bool modal_ = false;
  ModalResult modalResult_ = ModalResult::None;
  std::vector<Component*> components_;
  Lifetime lifetime_;
};

// How forms reach the user. GUI thread only.
class Presenter {
 public:
  virtual ~Presenter() = default;
  // Shows the form and returns once its modal result is set.
  virtual void RunModal(Form& form) = 0;
  // Called when a modal form's result has been set, so that RunModal can return.
  virtual void EndModal(Form&) {}
  virtual void Show(Form& form) = 0;
  virtual void Hide(Form& form) = 0;
  virtual Dialogs& GetDialogs() = 0;
  // Brings a shown form's window, or another program's window given by its handle, to the foreground.
  virtual void BringToFront(Form&) {}
  virtual void BringWindowToFront(intptr_t) {}
  // The drives the user sees: the system's.
  virtual std::vector<DriveInfo> Drives() { return SystemDrives(); }
};

// The presenter forms use; until one is set, modal shows end at once and every
// question is answered No.
Presenter& CurrentPresenter();
// Makes presenter current (null: none) and returns the one it replaces.
Presenter* SetPresenter(Presenter* presenter);

}  // namespace kvx::ui
