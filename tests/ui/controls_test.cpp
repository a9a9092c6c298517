// Control state rules and what reaches a peer when state changes.
#include <gtest/gtest.h>

#include <vector>

#include "ui/buttons.h"
#include "ui/containers.h"
#include "ui/form.h"
#include "ui/indicators.h"
#include "ui/list_controls.h"
#include "ui/text_controls.h"

namespace kvx::ui {
namespace {

class RecordingPeer : public Peer {
 public:
  void Update(Property property) override { updates.push_back(property); }
  std::vector<Property> updates;
};

struct Sample : Form {
  Sample() : Form("Sample") {}
  GroupBox Group{this, "Group"};
  RadioButton Radio1{&Group, "Radio1"};
  RadioButton Radio2{&Group, "Radio2"};
  RadioButton Outside{this, "Outside"};
  ComboBox Combo{this, "Combo"};
  DriveComboBox Drives{this, "Drives"};
  ListBox List{this, "List"};
  Gauge Bar{this, "Bar"};
  Edit Field{this, "Field"};
  Memo Log{this, "Log"};
};

struct PagesForm : Form {
  PagesForm() : Form("PagesForm") {}
  PageControl Book{this, "Book"};
  TabSheet First{&Book, "First"};
  TabSheet Second{&Book, "Second"};
};

TEST(Controls, ChildrenKnowTheirFormAndParent) {
  Sample form;
  EXPECT_EQ(form.Radio1.OwnerForm(), &form);
  EXPECT_EQ(form.Radio1.Parent(), &form.Group);
  EXPECT_EQ(form.Group.Children().size(), 2u);
  EXPECT_EQ(form.Children().size(), 8u);
}

TEST(Controls, PagesFillTheirPageControlBelowTheTabs) {
  PagesForm form;
  form.Book.SetBounds(169, 0, 630, 465);
  const Rect page = form.Second.Bounds();
  EXPECT_EQ(page.left, PageControl::kPageMargin);
  EXPECT_EQ(page.top, PageControl::kTabRowHeight);
  EXPECT_EQ(page.width, 630 - 2 * PageControl::kPageMargin);
  EXPECT_EQ(page.height, 465 - PageControl::kTabRowHeight - PageControl::kPageMargin);
  EXPECT_FALSE(form.Second.Showing());
  form.Show();
  EXPECT_TRUE(form.First.Showing());
  form.Book.SetActivePage(form.Second);
  EXPECT_FALSE(form.First.Showing());
  EXPECT_TRUE(form.Second.Showing());
}

TEST(Controls, RadioButtonsExcludeEachOtherWithinTheirParentOnly) {
  Sample form;
  form.Radio1.SetChecked(true);
  form.Outside.SetChecked(true);
  form.Radio2.UserClick();
  EXPECT_FALSE(form.Radio1.Checked());
  EXPECT_TRUE(form.Radio2.Checked());
  EXPECT_TRUE(form.Outside.Checked());
}

TEST(Controls, ComboSelectionFollowsItsText) {
  Sample form;
  int changes = 0;
  form.Combo.OnChange = [&] { ++changes; };
  form.Combo.SetItems({"A:\\X.zip", "a:\\x.zip", "C:\\X.zip"});
  EXPECT_EQ(form.Combo.IndexOf("a:\\x.zip"), 1);  // exact, letter case counts
  EXPECT_EQ(form.Combo.IndexOf("A:\\x.zip"), -1);
  form.Combo.SetItemIndex(2);
  EXPECT_EQ(form.Combo.Text(), "C:\\X.zip");
  form.Combo.SetText("C:\\X.zip");
  EXPECT_EQ(form.Combo.ItemIndex(), 2);
  form.Combo.SetText("D:\\typed.zip");
  EXPECT_EQ(form.Combo.ItemIndex(), -1);
  EXPECT_EQ(changes, 0);  // the program's changes run no handler
  form.Combo.UserSelect(0);
  form.Combo.UserType("E:\\");
  EXPECT_EQ(changes, 2);
  form.Combo.SetItemIndex(1);
  form.Combo.DeleteItem(0);
  EXPECT_EQ(form.Combo.ItemIndex(), 0);
  form.Combo.DeleteItem(0);
  EXPECT_EQ(form.Combo.ItemIndex(), -1);
  EXPECT_EQ(form.Combo.Text(), "");
}

TEST(Controls, DriveBoxListsUpperCaseNamesAndSelectsTheCurrentDrive) {
  Sample form;
  std::vector<char> seen;
  form.Drives.OnChange = [&] { seen.push_back(form.Drives.Drive()); };
  form.Drives.Fill({{'A', DriveType::Removable, "", ""},
                    {'C', DriveType::Fixed, "system", ""},
                    {'E', DriveType::CDROM, "", ""},
                    {'F', DriveType::Network, "", "\\\\srv\\partage"}},
                   'c');
  EXPECT_EQ(form.Drives.Items(), (std::vector<std::string>{"A:", "C: [SYSTEM]", "E:", "F: \\\\SRV\\PARTAGE"}));
  EXPECT_EQ(form.Drives.Drive(), 'C');
  EXPECT_EQ(form.Drives.Text(), "C: [SYSTEM]");
  EXPECT_TRUE(form.Drives.SetDrive('f'));
  EXPECT_FALSE(form.Drives.SetDrive('Q'));
  EXPECT_EQ(seen, (std::vector<char>{'C', 'F'}));
  EXPECT_EQ(FirstCDDrive({{'C', DriveType::Fixed, "", ""}, {'E', DriveType::CDROM, "", ""}}), "E:");
  EXPECT_EQ(FirstCDDrive({{'C', DriveType::Fixed, "", ""}}), "");
}

TEST(Controls, ListBoxClicksAndDoubleClicks) {
  Sample form;
  std::vector<std::string> events;
  form.List.OnClick = [&] { events.push_back("click " + form.List.SelectedText()); };
  form.List.OnDblClick = [&] { events.push_back("double " + form.List.SelectedText()); };
  form.List.AddItem("one");
  form.List.AddItem("two");
  EXPECT_EQ(form.List.SelectedText(), "");
  form.List.UserDoubleClick(1);
  form.List.SetItemIndex(0);  // the program's selection runs nothing
  EXPECT_EQ(events, (std::vector<std::string>{"click two", "double two"}));
  form.List.ClearItems();
  EXPECT_EQ(form.List.ItemIndex(), -1);
}

TEST(Controls, GaugeStaysInItsRange) {
  Sample form;
  form.Bar.SetProgress(95);
  form.Bar.AddProgress(10);
  EXPECT_EQ(form.Bar.Progress(), 100);
  form.Bar.SetProgress(-3);
  EXPECT_EQ(form.Bar.Progress(), 0);
  form.Bar.SetMaxValue(4000);
  form.Bar.SetProgress(1000);
  EXPECT_EQ(form.Bar.PercentDone(), 25);
}

TEST(Controls, PeerHearsEachChangeOnce) {
  Sample form;
  RecordingPeer peer;
  form.Field.AttachPeer(&peer);
  int changes = 0;
  form.Field.OnChange = [&] { ++changes; };
  form.Field.SetText("x");
  form.Field.SetText("x");
  form.Field.SetEnabled(false);
  form.Field.SetEnabled(false);
  form.Field.SetCaption("c");
  form.Field.AttachPeer(nullptr);
  form.Field.SetText("y");
  EXPECT_EQ(peer.updates, (std::vector<Property>{Property::Text, Property::Enabled, Property::Caption}));
  EXPECT_EQ(changes, 2);
}

TEST(Controls, MemoKeepsItsLines) {
  Sample form;
  form.Log.AddLine(">>> a");
  form.Log.AddLine(">>> b");
  EXPECT_EQ(form.Log.Lines().size(), 2u);
  form.Log.Clear();
  EXPECT_TRUE(form.Log.Lines().empty());
}

}  // namespace
}  // namespace kvx::ui
