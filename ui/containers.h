// Controls that hold others: group boxes, panels, and the page control with its tab sheets.
#pragma once

#include <functional>
#include <vector>

#include "ui/control.h"

namespace kvx::ui {

class GroupBox : public Container {
 public:
  GroupBox(Container* parent, std::string name) : Container(parent, std::move(name), ControlKind::GroupBox) {}
};

class Panel : public Container {
 public:
  Panel(Container* parent, std::string name) : Container(parent, std::move(name), ControlKind::Panel) {}
};

class TabSheet;

class PageControl : public Container {
 public:
  PageControl(Container* parent, std::string name) : Container(parent, std::move(name), ControlKind::PageControl) {}

  const std::vector<TabSheet*>& Pages() const { return pages_; }
  int ActivePageIndex() const { return activePage_; }
  TabSheet* ActivePage() const;
  // Brings a page to the front; its OnShow runs when the form is showing.
  void SetActivePage(int index);
  void SetActivePage(const TabSheet& page);

  // Where the pages lie inside the control, below the row of tabs.
  static constexpr int kTabRowHeight = 24;
  static constexpr int kPageMargin = 4;

 protected:
  void BoundsChanged() override;

 private:
  friend class TabSheet;
  void PlacePage(TabSheet& page) const;

  std::vector<TabSheet*> pages_;
  int activePage_ = 0;
};

class TabSheet : public Container {
 public:
  TabSheet(PageControl* pageControl, std::string name);

  int PageIndex() const { return index_; }
  // Showing only while it is the active page of a showing page control.
  bool Showing() const override;
  // Runs when the page becomes visible: the form is shown with it active, or it is made active.
  void NotifyShow() {
    if (OnShow) OnShow();
  }

  std::function<void()> OnShow;

 private:
  PageControl* pageControl_;
  int index_;
};

}  // namespace kvx::ui
