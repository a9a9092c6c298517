#include "ui/containers.h"

namespace kvx::ui {

TabSheet* PageControl::ActivePage() const {
  return activePage_ >= 0 && activePage_ < static_cast<int>(pages_.size()) ? pages_[activePage_] : nullptr;
}

void PageControl::SetActivePage(int index) {
  if (index < 0 || index >= static_cast<int>(pages_.size()) || index == activePage_) return;
  activePage_ = index;
  Changed(Property::ActivePage);
  if (Showing()) pages_[index]->NotifyShow();
}

void PageControl::SetActivePage(const TabSheet& page) { SetActivePage(page.PageIndex()); }

void PageControl::BoundsChanged() {
  for (TabSheet* page : pages_) PlacePage(*page);
}

void PageControl::PlacePage(TabSheet& page) const {
  const Rect& own = Bounds();
  page.SetBounds(kPageMargin, kTabRowHeight, own.width - 2 * kPageMargin, own.height - kTabRowHeight - kPageMargin);
}

TabSheet::TabSheet(PageControl* pageControl, std::string name)
    : Container(pageControl, std::move(name), ControlKind::TabSheet),
      pageControl_(pageControl),
      index_(static_cast<int>(pageControl->pages_.size())) {
  pageControl->pages_.push_back(this);
  pageControl->PlacePage(*this);
}

bool TabSheet::Showing() const { return pageControl_->ActivePageIndex() == index_ && Control::Showing(); }

}  // namespace kvx::ui
