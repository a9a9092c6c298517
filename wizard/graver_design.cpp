// The burn wizard's design: captions, positions, fonts, the burner's stored settings
// and the wiring of its events.
#include "wizard/graver.h"

namespace kvx {
namespace {

constexpr int kClientWidth = 800;
constexpr int kClientHeight = 305;
constexpr int kPictureWidth = 145;
constexpr int kLogWidth = 641;
constexpr int kGaugeWidth = 649;

void Place(ui::Control& control, const char* caption, int left, int top, int width, int height) {
  control.SetCaption(caption);
  control.SetBounds(left, top, width, height);
}

}  // namespace

void TGraver::Design() {
  SetCaption("Graver");
  SetBorderStyle(ui::BorderStyle::Single);
  SetCentredOnDesktop(true);
  SetClientSize(kClientWidth, kClientHeight);
  SetFont({"MS Sans Serif", 13, true, ui::kWindowText});

  Image1.SetBounds(0, 0, kPictureWidth, kClientHeight);
  Image1.SetPicture({ui::kNavy, 0x7F3F1F, "KVX"});
  Place(Label7, "Assistant gravage", 152, 6, 400, 30);
  Label7.SetFont({"MS Sans Serif", 24, true, ui::kWindowText});
  Place(Label1, "Sélectionner vôtre graveur :", 152, 42, 220, 16);
  cbdrives.SetStyle(ui::ComboBox::Style::DropDownList);
  cbdrives.SetBounds(152, 60, 449, 21);

  Memo1.SetBounds(152, 90, kLogWidth, 136);
  Memo1.SetVerticalScrollBar(true);
  Place(GroupBox1, "Options", 609, 90, 184, 136);
  GroupBox1.SetVisible(false);
  Place(RadioButton1, "Effacement rapide", 8, 22, 172, 17);
  RadioButton1.SetChecked(true);
  Place(RadioButton2, "Effacement complet", 8, 46, 172, 17);
  Place(Button1, "Effacer un CD-RW", 12, 86, 160, 30);

  Gauge1.SetBounds(148, 232, kGaugeWidth, 20);
  Gauge1.SetColors(ui::kRed, ui::kButtonFace);
  Place(CheckBox1, "Ejecter le CD en fin de gravure", 152, 268, 250, 17);
  Place(BBurn, "Graver", 420, 264, 88, 28);
  Place(Annuler, "Annuler", 514, 264, 88, 28);
  Place(Button3, "Option +", 608, 264, 88, 28);
  Place(Button2, "Quitter", 702, 264, 88, 28);

  Timer1.SetInterval(500);
  Timer1.SetEnabled(false);
  Timer2.SetInterval(1000);
  Timer2.SetEnabled(false);

  // FormCreate then sets both speeds to the unit's.
  ApplyStoredFormSettings(vtbr);
  // A backup is burned once the disc reads back as written.
  vtbr.SetVerifyWrite(true);
}

void TGraver::ConnectEvents() {
  OnShow = [this] { FormShow(); };
  OnClose = [this](ui::CloseAction& action) { FormClose(action); };
  cbdrives.OnChange = [this] { cbdrivesChange(); };
  BBurn.OnClick = [this] { BBurnClick(); };
  Button1.OnClick = [this] { Button1Click(); };
  Annuler.OnClick = [this] { AnnulerClick(); };
  Button2.OnClick = [this] { Button2Click(); };
  Button3.OnClick = [this] { Button3Click(); };
  Timer1.OnTimer = [this] { Timer1Timer(); };
  Timer2.OnTimer = [this] { Timer2Timer(); };
  vtbr.SetOnWriteDone([this](TVortalBurner* sender, const std::string& error) { vtbrWriteDone(sender, error); });
  vtbr.SetOnFinalizingTrack([this](TVortalBurner* sender) { vtbrFinalizingTrack(sender); });
  vtbr.SetOnVerifying([this](TVortalBurner* sender) { vtbrVerifying(sender); });
  vtbr.SetOnEraseDone([this](scsi::TSCSIDevice* sender, bool withError, const std::string& error) {
    vtbrEraseDone(sender, withError, error);
  });
}

}  // namespace kvx
