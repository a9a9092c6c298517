#include "ui/form.h"

#include "ui/containers.h"

namespace kvx::ui {
namespace {

// Nobody to show forms to: nothing appears and nobody answers.
class NoPresenter final : public Presenter, public Dialogs {
 public:
  void RunModal(Form&) override {}
  void Show(Form&) override {}
  void Hide(Form&) override {}
  Dialogs& GetDialogs() override { return *this; }
  bool Confirm(const std::string&) override { return false; }
  void Inform(const std::string&) override {}
  std::optional<std::string> ChooseFile(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<std::string> BrowseFolder(const std::string&, const std::string&) override { return std::nullopt; }
  void ShowFolder(const std::string&) override {}
};

NoPresenter& NoOne() {
  static NoPresenter none;
  return none;
}

Presenter*& Current() {
  static Presenter* current = &NoOne();
  return current;
}

// The active page of every page control under container shows itself.
void ShowActivePages(const Container& container) {
  for (Control* child : container.Children()) {
    if (child->Kind() == ControlKind::PageControl)
      if (TabSheet* page = static_cast<PageControl*>(child)->ActivePage()) page->NotifyShow();
    if (auto* inner = dynamic_cast<Container*>(child)) ShowActivePages(*inner);
  }
}

}  // namespace

Presenter& CurrentPresenter() { return *Current(); }

Presenter* SetPresenter(Presenter* presenter) {
  Presenter* previous = Current();
  Current() = presenter ? presenter : &NoOne();
  return previous == &NoOne() ? nullptr : previous;
}

Form::Form(std::string name) : Container(this, std::move(name)) { SetVisible(false); }

Form::~Form() = default;

void Form::BecomeVisible() {
  SetVisible(true);
  if (OnShow) OnShow();
  ShowActivePages(*this);
}

ModalResult Form::ShowModal() {
  modal_ = true;
  modalResult_ = ModalResult::None;
  BecomeVisible();
  CurrentPresenter().RunModal(*this);
  if (modalResult_ == ModalResult::None) Close();  // the window was left some other way
  modal_ = false;
  SetVisible(false);
  return modalResult_ == ModalResult::None ? ModalResult::Cancel : modalResult_;
}

void Form::Show() {
  if (Visible()) return;
  BecomeVisible();
  CurrentPresenter().Show(*this);
}

void Form::Hide() {
  if (!Visible()) return;
  SetVisible(false);
  CurrentPresenter().Hide(*this);
}

void Form::Close() {
  CloseAction action = CloseAction::Hide;
  if (OnClose) OnClose(action);
  if (action == CloseAction::None) return;
  if (!modal_) {
    Hide();
    return;
  }
  modalResult_ = ModalResult::Cancel;
  CurrentPresenter().EndModal(*this);
}

}  // namespace kvx::ui
