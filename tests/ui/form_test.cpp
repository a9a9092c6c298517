// Forms in headless mode: showing, closing, pages, the modal driver and scripted dialogs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/buttons.h"
#include "ui/components.h"
#include "ui/containers.h"
#include "ui/form.h"
#include "ui/headless.h"

namespace kvx::ui {
namespace {

struct Pages : Form {
  Pages() : Form("Pages") {
    OnShow = [this] { events.push_back("form show"); };
    OnClose = [this](CloseAction& action) {
      events.push_back("close");
      if (refuseClose) action = CloseAction::None;
    };
    Sheet1.OnShow = [this] { events.push_back("sheet1 show"); };
    Sheet2.OnShow = [this] { events.push_back("sheet2 show"); };
    Quit.OnClick = [this] { Close(); };
  }
  PageControl Book{this, "Book"};
  TabSheet Sheet1{&Book, "Sheet1"};
  TabSheet Sheet2{&Book, "Sheet2"};
  Button OnSheet2{&Sheet2, "OnSheet2"};
  Button Quit{this, "Quit"};
  Timer Clock{this, "Clock"};
  PopupMenu Menu{this, "Menu"};
  FileDialog Save{this, "Save", true};
  std::vector<std::string> events;
  bool refuseClose = false;
};

TEST(Form, ModalShowRunsTheDriverBetweenShowAndClose) {
  HeadlessSession session;
  Pages form;
  form.Book.SetActivePage(1);  // before the show: no OnShow yet
  session.SetDriver([&](Form& shown) {
    EXPECT_EQ(&shown, &form);
    EXPECT_TRUE(form.Showing());
    EXPECT_TRUE(form.IsModal());
    form.events.push_back("driver");
    form.Book.SetActivePage(0);
    EXPECT_TRUE(Press(form.Quit));
  });
  EXPECT_EQ(form.ShowModal(), ModalResult::Cancel);
  EXPECT_FALSE(form.Showing());
  EXPECT_EQ(form.events,
            (std::vector<std::string>{"form show", "sheet2 show", "driver", "sheet1 show", "close"}));
}

TEST(Form, AFormLeftOpenByTheDriverIsClosed) {
  HeadlessSession session;
  Pages form;
  form.ShowModal();
  EXPECT_EQ(form.events, (std::vector<std::string>{"form show", "sheet1 show", "close"}));
}

TEST(Form, CloseAnsweredNoneKeepsTheFormOpen) {
  HeadlessSession session;
  Pages form;
  session.SetDriver([&](Form&) {
    form.refuseClose = true;
    form.Close();
    EXPECT_EQ(form.GetModalResult(), ModalResult::None);
    form.refuseClose = false;
    form.Close();
    EXPECT_EQ(form.GetModalResult(), ModalResult::Cancel);
  });
  form.ShowModal();
}

TEST(Form, ModelessShowAndHide) {
  HeadlessSession session;
  Pages form;
  form.Show();
  EXPECT_TRUE(form.Showing());
  form.Close();
  EXPECT_FALSE(form.Showing());
  EXPECT_EQ(form.events, (std::vector<std::string>{"form show", "sheet1 show", "close"}));
}

TEST(Form, PressReachesOnlyShowingEnabledButtons) {
  HeadlessSession session;
  Pages form;
  int presses = 0;
  form.OnSheet2.OnClick = [&] { ++presses; };
  session.SetDriver([&](Form&) {
    EXPECT_FALSE(Press(form.OnSheet2));  // its page is behind the first one
    form.Book.SetActivePage(form.Sheet2);
    EXPECT_TRUE(Press(form.OnSheet2));
    form.OnSheet2.SetEnabled(false);
    EXPECT_FALSE(Press(form.OnSheet2));
  });
  form.ShowModal();
  EXPECT_EQ(presses, 1);
}

TEST(Form, NestedModalFormsReachTheDriverInTurn) {
  HeadlessSession session;
  Pages outer;
  Pages inner;
  std::vector<std::string> order;
  outer.OnSheet2.OnClick = [&] { inner.ShowModal(); };
  session.SetDriver([&](Form& shown) {
    order.push_back(&shown == &outer ? "outer" : "inner");
    if (&shown == &outer) {
      outer.Book.SetActivePage(1);
      Press(outer.OnSheet2);
      EXPECT_FALSE(inner.Showing());
    }
  });
  outer.ShowModal();
  EXPECT_EQ(order, (std::vector<std::string>{"outer", "inner"}));
}

TEST(Form, TimersTickOnlyWhenEnabled) {
  Pages form;
  int ticks = 0;
  form.Clock.OnTimer = [&] { ++ticks; };
  form.Clock.Tick();
  form.Clock.SetEnabled(true);
  form.Clock.Tick();
  form.Clock.Tick();
  EXPECT_EQ(ticks, 2);
  EXPECT_EQ(form.Components().size(), 3u);
}

TEST(Form, PopupMenuItemsKeepTheirOrderAndDefault) {
  Pages form;
  int restores = 0;
  form.Menu.AddItem("Restaurer", [&] { ++restores; }, true);
  form.Menu.AddSeparator();
  form.Menu.AddItem("Ouvrir");
  ASSERT_EQ(form.Menu.Items().size(), 3u);
  EXPECT_TRUE(form.Menu.Items()[0].isDefault);
  EXPECT_TRUE(form.Menu.Items()[1].IsSeparator());
  form.Menu.Items()[0].Click();
  form.Menu.Items()[2].Click();
  EXPECT_EQ(restores, 1);
}

TEST(Dialogs, ScriptedAnswersAndTranscript) {
  HeadlessSession session;
  Pages form;
  ScriptedDialogs& dialogs = session.Dialogs();
  dialogs.AnswerYes();
  dialogs.AnswerFile("C:\\B\\SauveKVX.zip");
  dialogs.AnswerFolder("D:\\");
  form.Save.Settings().fileName = "SauveKVX.zip";
  form.Save.Settings().filter = "Fichier|*.zip";
  form.Save.Settings().defaultExt = "zip";
  form.Save.Settings().initialDir = "C:\\B";

  EXPECT_TRUE(Confirm("Sure?"));
  ShowMessage("Hello");
  EXPECT_TRUE(form.Save.Execute());
  EXPECT_EQ(form.Save.FileName(), "C:\\B\\SauveKVX.zip");
  EXPECT_EQ(BrowseFolder("Rechercher dans", "C:\\"), std::optional<std::string>("D:\\"));
  EXPECT_TRUE(dialogs.AllAnswered());
  EXPECT_FALSE(Confirm("Again?"));  // nothing left: No
  dialogs.AnswerFolder("E:\\");
  EXPECT_FALSE(form.Save.Execute());  // a folder answer does not fit a file dialog
  EXPECT_EQ(form.Save.FileName(), "C:\\B\\SauveKVX.zip");

  EXPECT_EQ(dialogs.Transcript(), (std::vector<std::string>{
                                      "CONFIRM Sure?",
                                      "INFO Hello",
                                      "SAVE C:\\B|SauveKVX.zip|Fichier|*.zip|zip",
                                      "BROWSE Rechercher dans|C:\\",
                                      "CONFIRM Again?",
                                      "UNANSWERED",
                                      "SAVE C:\\B|C:\\B\\SauveKVX.zip|Fichier|*.zip|zip",
                                      "UNANSWERED",
                                  }));
}

TEST(Dialogs, WithoutAPresenterNothingShowsAndQuestionsAreAnsweredNo) {
  Pages form;
  EXPECT_FALSE(Confirm("Sure?"));
  EXPECT_EQ(form.ShowModal(), ModalResult::Cancel);
  EXPECT_EQ(form.events, (std::vector<std::string>{"form show", "sheet1 show", "close"}));
}

}  // namespace
}  // namespace kvx::ui
