// The wizard form's design: captions, positions, fonts and the wiring of its events.
#include "wizard/enregistrer.h"

namespace kvx {
namespace {

constexpr int kClientWidth = 799;
constexpr int kClientHeight = 465;
constexpr int kPictureWidth = 169;

ui::Font TitleFont() { return {"MS Sans Serif", 24, true, ui::kNavy}; }
ui::Font StatusFont() { return {"MS Sans Serif", 13, true, ui::kRed}; }

void PlaceButton(ui::Button& button, const char* caption, ui::Glyph glyph, int left, int top, int width = 112,
                 int height = 32) {
  button.SetCaption(caption);
  button.SetGlyph(glyph);
  button.SetBounds(left, top, width, height);
}

void PlaceLabel(ui::Label& label, const char* caption, int left, int top, int width, int height = 16) {
  label.SetCaption(caption);
  label.SetBounds(left, top, width, height);
}

}  // namespace

void TEnregistrer::Design() {
  SetCaption("Enregistrer");
  SetBorderStyle(ui::BorderStyle::Single);
  SetStayOnTop(true);
  SetCentredOnDesktop(true);
  SetClientSize(kClientWidth, kClientHeight);

  Image1.SetBounds(0, 0, kPictureWidth, kClientHeight);
  Image1.SetPicture({ui::kNavy, 0x7F3F1F, "KVX"});
  PageControl1.SetBounds(kPictureWidth, 0, kClientWidth - kPictureWidth, kClientHeight);
  DesignBackupTab();
  DesignRestoreTab();
  DesignOptionsTab();
  DesignNonVisualParts();
  ApplyStoredFormSettings(VortalBurner1);
  ApplyStoredFormSettings(VortalBurner2);
}

void TEnregistrer::DesignBackupTab() {
  TabSheet1.SetCaption("Assistant sauvegarde");
  PlaceLabel(Label7, "Sauvegarde KVX", 16, 8, 400, 32);
  Label7.SetFont(TitleFont());
  GroupBox1.SetCaption("Choix de sauvegarde");
  GroupBox1.SetBounds(16, 48, 590, 172);
  PlaceButton(BitBtn1, "", ui::Glyph::Diskette, 28, 28, 64, 56);
  PlaceLabel(Label3, "Disquette (A:)", 20, 90, 100);
  PlaceButton(BitBtn2, "", ui::Glyph::CDROM, 140, 28, 64, 56);
  PlaceLabel(Label4, "CD-Rom (XX)", 132, 90, 100);
  Panel1.SetCaption("Choix du lecteur (Local ou réseau)");
  Panel1.SetBounds(250, 20, 324, 104);
  PlaceButton(BitBtn3, "", ui::Glyph::Drive, 14, 30, 64, 56);
  PlaceLabel(Label5, "Lecteur", 92, 34, 220);
  DriveComboBox1.SetBounds(92, 56, 218, 21);
  PlaceLabel(Label2, "Cliquez sur le bouton correspondant à votre choix", 20, 140, 550);
  PlaceLabel(Label1, "Sauvegarder dans :", 16, 234, 200);
  ComboBox1.SetBounds(16, 254, 540, 21);
  PlaceButton(BitBtn4, "...", ui::Glyph::None, 562, 253, 28, 23);
  CheckBoxOuvDossier.SetCaption("Ouvrir le dossier destination après sauvegarde");
  CheckBoxOuvDossier.SetBounds(16, 286, 400, 17);
  CheckBoxOuvDossier.SetChecked(true);
  PlaceLabel(Label6, "", 16, 314, 590, 20);
  Label6.SetFont(StatusFont());
  Animate1.SetBounds(16, 338, 272, 60);
  Animate1.SetVisible(false);
  PlaceButton(BitBtn5, "Sauvegarder", ui::Glyph::Save, 370, 396);
  PlaceButton(BitBtn6, "Quitter", ui::Glyph::Quit, 494, 396);
}

void TEnregistrer::DesignRestoreTab() {
  TabSheet2.SetCaption("Assistant restauration");
  PlaceLabel(Label8, "Restauration KVX", 16, 8, 400, 32);
  Label8.SetFont(TitleFont());
  GroupBox2.SetCaption("Liste des répertoires de sauvegarde");
  GroupBox2.SetBounds(16, 48, 590, 190);
  ListBox1.SetBounds(12, 20, 566, 158);
  ListBox1.SetPopupMenu(&PopupMenu1);
  PlaceLabel(Label10, "Fichier sélectionné pour restauration :", 16, 250, 300);
  Edit1.SetBounds(16, 270, 540, 21);
  PlaceButton(BitBtn9, "...", ui::Glyph::None, 562, 269, 28, 23);
  PlaceLabel(Label9, "", 16, 304, 590, 20);
  Label9.SetFont(StatusFont());
  Gauge1.SetBounds(16, 332, 590, 22);
  Gauge1.SetColors(ui::kRed, ui::kWhite);
  Gauge1.SetVisible(false);
  PlaceButton(BitBtn7, "     Restaurer", ui::Glyph::Restore, 370, 396);
  PlaceButton(BitBtn8, "Quitter", ui::Glyph::Quit, 494, 396);
}

void TEnregistrer::DesignOptionsTab() {
  TabSheet3.SetCaption("Options");
  GroupBox3.SetCaption("Rechercher une sauvegarde");
  GroupBox3.SetBounds(16, 8, 590, 252);
  PlaceLabel(Label11, "Rechecher dans :", 12, 24, 120);
  Edit2.SetBounds(134, 20, 406, 21);
  Edit2.SetText("C:\\");
  PlaceButton(BitBtn12, "...", ui::Glyph::None, 548, 19, 28, 23);
  ListBox2.SetBounds(12, 50, 440, 164);
  ListBox2.SetPopupMenu(&PopupMenu1);
  PlaceButton(BitBtn13, "Rechercher", ui::Glyph::Search, 464, 50);
  PlaceLabel(Label12, "...", 12, 224, 566);
  GroupBox4.SetCaption("Effacer le listing des sauvegardes");
  GroupBox4.SetBounds(16, 270, 590, 110);
  ComboBox2.SetBounds(12, 28, 440, 21);
  ComboBox2.SetText("A:\\SauveKVX.zip");
  PlaceButton(BitBtn10, "Effacer", ui::Glyph::Erase, 464, 22, 112, 30);
  PlaceButton(BitBtn11, "Tout éffacer", ui::Glyph::Erase, 464, 62, 112, 30);
  PlaceButton(BitBtn14, "Quitter", ui::Glyph::Quit, 494, 396);
}

// The dialogs, the timer and the list boxes' menu.
void TEnregistrer::DesignNonVisualParts() {
  ui::FileDialogRequest& save = SaveDialog1.Settings();
  save.defaultExt = "zip";
  save.fileName = "SauveKVX.zip";
  save.filter = "Fichier compressé|*.zip|Tous les fichiers|*.*";
  ui::FileDialogRequest& open = OpenDialog1.Settings();
  open.fileName = "SauveKVX.zip";
  open.filter = "SauveKVX.zip|*.zip|Tous les fichiers|*.*";
  open.hideReadOnly = true;
  open.resizable = true;
  Timer1.SetInterval(600);
  Timer1.SetEnabled(false);
  PopupMenu1.AddItem("Restaurer", [this] { BitBtn7Click(); }, true);
  PopupMenu1.AddSeparator();
  PopupMenu1.AddItem("Ouvrir");
  PopupMenu1.AddItem("atteindre");
}

void TEnregistrer::ConnectEvents() {
  OnShow = [this] { FormShow(); };
  OnClose = [this](ui::CloseAction& action) { FormClose(action); };
  BitBtn1.OnClick = [this] { BitBtn1Click(); };
  BitBtn2.OnClick = [this] { BitBtn2Click(); };
  BitBtn3.OnClick = [this] { BitBtn3Click(); };
  DriveComboBox1.OnChange = [this] { DriveComboBox1Change(); };
  BitBtn4.OnClick = [this] { BitBtn4Click(); };
  BitBtn5.OnClick = [this] { BitBtn5Click(); };
  BitBtn6.OnClick = [this] { BitBtn6Click(); };
  BitBtn8.OnClick = [this] { BitBtn6Click(); };
  BitBtn14.OnClick = [this] { BitBtn6Click(); };
  BitBtn7.OnClick = [this] { BitBtn7Click(); };
  ListBox1.OnClick = [this] { ListBox1Click(); };
  ListBox1.OnDblClick = [this] { ListBox1DblClick(); };
  BitBtn9.OnClick = [this] { BitBtn9Click(); };
  Timer1.OnTimer = [this] { Timer1Timer(); };
  TabSheet3.OnShow = [this] { TabSheet3Show(); };
  BitBtn10.OnClick = [this] { BitBtn10Click(); };
  BitBtn11.OnClick = [this] { BitBtn11Click(); };
  BitBtn12.OnClick = [this] { BitBtn12Click(); };
  BitBtn13.OnClick = [this] { BitBtn13Click(); };
  ListBox2.OnDblClick = [this] { ListBox2DblClick(); };
  CDBurner1.OnBurnDone = [this](int32_t result) { CDBurner1BurnDone(result); };
}

}  // namespace kvx
