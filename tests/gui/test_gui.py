"""The toolbox's real windows, played with real clicks and keys by kvxgui.exe under
Xvfb: KVXOUTIL.EXE in a demo installation with the host stand-in's windows, in a wine
prefix of its own whose drive R: is the virtual CD-RW of WNASPI32.DLL. From the menu:
a backup to a folder and its restore; a backup to CD through the burn wizard (Graver,
eject) whose files then lie in R:, restored from R: with the list's context menu; the
Options tab's search and list erasing. Each step reads what the windows show and what
lies on disk."""

import io
import os
import sys
import time
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scenario"))

from guidriver import BIN, Display, Driver, Prefix, windows_path  # noqa: E402
from kvxscenario import Installation  # noqa: E402

MENU = "KVX - Boîte à outils"
WIZARD = "Enregistrer"
GRAVER = "Graver"
ARCHIVED = ["ARTICLES.FIC", "ARTICLES.MMO", "ARTICLES.NDX", "CLIENTS.FIC", "CLIENTS.NDX", "IMAGES/LOGO.BMP",
            "PARAM.DTA", "VIDE.FIC"]
BACKUP_DONE = "Sauvegarde réussie !"
RESTORE_DONE = "La restauration a été effectuée avec succes !"
SAFETY_NOTICE = "Les données d'avant la restauration sont dans la copie de sécurité "


def members(data):
    with zipfile.ZipFile(io.BytesIO(data)) as archive:
        assert archive.testzip() is None
        return sorted(i.filename for i in archive.infolist() if not i.is_dir())


class ToolboxWindows(unittest.TestCase):
    def setUp(self):
        self.started = time.time()
        self.install = Installation()
        self.addCleanup(self.install.close)
        self.data = self.install.data
        self.cd = self.install.work / "CDROM"
        self.cd.mkdir()
        self.saves = self.install.work / "SAUVE"
        self.saves.mkdir()
        self.display = Display()
        self.addCleanup(self.display.stop)
        self.prefix = Prefix(self.install.work, self.cd, self.display.name)
        self.addCleanup(self.prefix.close)
        (self.install.outils / "WNASPI32.DLL").write_bytes((BIN / "WNASPI32.DLL").read_bytes())
        config = self.install.work / "kvxaspi.ini"
        config.write_text("[Unit0]\nMedia=CD-RW\nFast=1\nLetter=R\nFolder=%s\nImage=%s\n"
                          % (windows_path(self.cd), windows_path(self.install.work / "disc.img")))
        self.env = {"KVXASPI_CONFIG": windows_path(config), "KVXCDBURN_DRIVE": "R:\\",
                    "KVXCDBURN_DISC": windows_path(self.cd)}
        self.staging = self.prefix.path / "drive_c" / "SauveKVX.zip"

    def step(self, text):
        print("-- %5.1fs %s" % (time.time() - self.started, text), flush=True)

    def damage_data(self):
        (self.data / "CLIENTS.FIC").unlink()
        (self.data / "ARTICLES.FIC").write_bytes(b"damaged")

    def data_files(self):
        """The data files; PARAM.DTA gets its folder and version written back by a restore."""
        return {p.name: p.read_bytes() for p in self.data.iterdir()
                if p.is_file() and p.suffix.upper() != ".ZIP" and p.name != "PARAM.DTA"}

    def safety_copies(self):
        return sorted(p.name for p in self.data.iterdir() if p.suffix.upper() == ".ZIP")

    def open_wizard(self, button, tab):
        self.ui("click", MENU, button)
        self.ui("wait", WIZARD, 20)
        self.assertIn(tab, self.ui.texts(WIZARD))

    def quit_wizard(self):
        self.ui("click", WIZARD, "Quitter")
        self.ui("gone", WIZARD, 10)

    def restore(self, archive_entry, via_menu):
        """Restores the list entry on the restore tab: a click puts it in the file box,
        then the Restaurer button or the list's context menu starts the restore."""
        self.ui("select", WIZARD, "ListBox#1", archive_entry)
        self.assertIn(archive_entry, self.ui.texts(WIZARD))  # now in the file box
        if via_menu:
            self.ui("rclick", WIZARD, "ListBox#1", archive_entry)
            self.ui("menu", 1)
        else:
            self.ui("click", WIZARD, "     Restaurer")
        self.ui.wait_text(WIZARD, lambda text, _: text == RESTORE_DONE, 60)
        self.ui("wait", "KVXOUTIL", 20)  # then where the data as it was lies
        notice = [t for t in self.ui.texts("KVXOUTIL") if t.startswith(SAFETY_NOTICE)]
        self.assertEqual(len(notice), 1, self.ui.texts("KVXOUTIL"))
        self.assertTrue(notice[0].endswith(".ZIP."), notice)
        self.ui("answer", "KVXOUTIL", "ok")
        self.ui("gone", "KVXOUTIL", 10)

    def test_closing_the_wizard_during_a_blank_answers_and_annuler_stops_it(self):
        self.step("a blank that keeps the unit busy for a minute")
        (self.install.work / "kvxaspi.ini").write_text(
            "[Unit0]\nMedia=CD-RW\nFast=1\nBlankTime=60000\nLetter=R\nFolder=%s\nImage=%s\n"
            % (windows_path(self.cd), windows_path(self.install.work / "disc.img")))
        toolbox = self.prefix.start(self.install.outils / "KVXOUTIL.EXE", self.install.outils, self.env)
        self.addCleanup(lambda: toolbox.poll() is None and toolbox.kill())
        self.ui = Driver(self.prefix.env)
        self.addCleanup(self.ui.close)
        self.ui("wait", MENU, 60)
        self.open_wizard("Sauvegarde des données", "Sauvegarde KVX")
        self.ui("click", WIZARD, "Button#2")  # the CD button
        self.ui.wait_text(WIZARD, lambda text, _: text == "R:\\SauveKVX.zip", 5)
        self.ui("click", WIZARD, "Sauvegarder")
        self.ui("wait", "Confirmation", 60)
        self.ui("answer", "Confirmation", "no")
        self.ui("wait", GRAVER, 20)
        self.ui("click", GRAVER, "Option +")
        self.ui("click", GRAVER, "Effacer un CD-RW")
        self.ui.wait_text(GRAVER, lambda _, lines: any(l.startswith(">>> Debut éffacement !") for l in lines), 20)
        self.ui("click", GRAVER, "Quitter")  # hidden; the blank goes on
        self.ui("gone", GRAVER, 10)

        self.step("closing the backup wizard shows the blank, which Annuler stops")
        self.ui("click", WIZARD, "Quitter")
        self.ui("wait", GRAVER, 2)
        self.ui.wait_text(GRAVER, lambda _, lines: any(l.startswith(">>> Fermeture à la fin de l'opération en cours")
                                                       for l in lines), 2)
        self.ui("click", GRAVER, "Annuler")
        self.ui.wait_text(GRAVER, lambda _, lines: any(l.startswith(">>> Arrêt de l'effacement demandé")
                                                       for l in lines), 2)
        self.ui("gone", GRAVER, 10)  # the stopped blank closes it, and the wizard with it
        self.ui("gone", WIZARD, 10)
        self.ui("click", MENU, "Quitter")
        self.assertEqual(toolbox.wait(timeout=30), 0)

    def test_menu_backups_restores_cd_and_options(self):
        self.step("the drive R: is a CD drive for the toolbox's server")
        self.assertEqual(self.prefix.wine(windows_path(BIN / "kvxgui.exe"), "drive", "R:").strip(), "R: cdrom")
        original = self.data_files()
        toolbox = self.prefix.start(self.install.outils / "KVXOUTIL.EXE", self.install.outils, self.env)
        self.addCleanup(lambda: toolbox.poll() is None and toolbox.kill())
        self.ui = Driver(self.prefix.env)
        self.addCleanup(self.ui.close)
        self.ui("wait", MENU, 60)
        self.assertIn("Sauvegarde des données", self.ui.texts(MENU))

        self.step("backup to a folder")
        self.open_wizard("Sauvegarde des données", "Sauvegarde KVX")
        self.assertIn("CD-Rom (R:)", self.ui.texts(WIZARD))
        target = windows_path(self.saves / "SauveKVX.zip")
        self.ui("type", WIZARD, "ComboBox#2", target)
        self.ui("click", WIZARD, "Ouvrir le dossier destination après sauvegarde")  # no shell window
        self.ui("click", WIZARD, "Sauvegarder")
        self.ui.wait_text(WIZARD, lambda text, _: text == BACKUP_DONE, 60)
        self.assertEqual(members((self.saves / "SauveKVX.zip").read_bytes()), ARCHIVED)
        self.quit_wizard()

        self.step("restore from the folder, with the Restaurer button")
        self.damage_data()
        self.open_wizard("Restauration des données", "Restauration KVX")
        self.restore(target, via_menu=False)
        self.assertEqual(self.data_files(), original)
        self.assertEqual(len(self.safety_copies()), 1)
        self.assertIn(b"VERSION=12,", (self.data / "PARAM.DTA").read_bytes())
        self.quit_wizard()

        self.step("backup to CD: the burn wizard burns and ejects, R: shows the disc")
        self.open_wizard("Sauvegarde des données", "Sauvegarde KVX")
        self.ui("click", WIZARD, "Button#2")  # the CD button
        self.ui.wait_text(WIZARD, lambda text, _: text == "R:\\SauveKVX.zip", 5)
        self.ui("click", WIZARD, "Ouvrir le dossier destination après sauvegarde")
        self.ui("click", WIZARD, "Sauvegarder")
        self.ui("wait", "Confirmation", 60)
        self.assertIn("     Voulez-vous utiliser l'assistant XP ?     ", self.ui.texts("Confirmation"))
        self.ui("answer", "Confirmation", "no")
        self.ui("wait", GRAVER, 20)
        self.ui("click", GRAVER, "Ejecter le CD en fin de gravure")
        self.ui("click", GRAVER, "Graver")
        log = self.ui.wait_text(GRAVER, lambda _, lines: ">>> Cd-Rom ejecté !" in lines, 120)
        lines = next(entries for cls, _, _, entries in log if ">>> Cd-Rom ejecté !" in entries)
        self.assertEqual([l.split(" ", 2)[1] for l in lines if l],
                         ["Sélection", "Préparation", "Début", "Vitesse", "Fermeture", "Vérification", "Gravage",
                          "Cd-Rom"])
        self.assertTrue(lines[6].startswith(">>> Gravage réussi ! "), lines)
        self.ui("click", GRAVER, "Quitter")
        self.ui("gone", GRAVER, 10)
        self.assertEqual(sorted(os.listdir(self.cd)), ["SauveKVX.zip"])
        self.assertEqual((self.cd / "SauveKVX.zip").read_bytes(), self.staging.read_bytes())
        self.assertEqual(members(self.staging.read_bytes()), ARCHIVED)
        self.quit_wizard()

        self.step("restore from R:, with the list's context menu")
        self.damage_data()
        self.open_wizard("Restauration des données", "Restauration KVX")
        self.restore("R:\\SauveKVX.zip", via_menu=True)
        self.assertEqual(self.data_files(), original)
        self.assertEqual(len(self.safety_copies()), 2)

        self.step("Options: the search finds both backups; the list loses one entry, not all")
        self.ui("tab", WIZARD, 2)
        self.ui("type", WIZARD, "Edit#1", windows_path(self.install.work))
        self.ui("click", WIZARD, "Rechercher")
        found = self.ui.wait_text(WIZARD, lambda _, entries: len(entries) == 2, 30)
        results = next(entries for cls, _, _, entries in found if cls == "ListBox")
        self.assertEqual(sorted(results), sorted([target, windows_path(self.cd / "SauveKVX.zip")]))
        self.ui.wait_text(WIZARD, lambda text, _: text == "Rechercher", 10)  # the search has ended
        self.ui("select", WIZARD, "ComboBox#1", target)
        self.ui("click", WIZARD, "Effacer")
        self.ui("wait", "Confirmation", 10)
        self.assertIn("     Etes-vous sûr de vouloir éffacer %s de la liste ?     " % target,
                      self.ui.texts("Confirmation"))
        self.ui("answer", "Confirmation", "yes")
        self.ui("gone", "Confirmation", 10)
        self.ui("click", WIZARD, "Tout éffacer")
        self.ui("wait", "Confirmation", 10)
        self.ui("answer", "Confirmation", "no")
        self.ui("gone", "Confirmation", 10)
        kept = ["A:\\SauveKVX.zip", "R:\\SauveKVX.zip"]
        self.assertIn(kept, [entries for cls, _, _, entries in self.ui.controls(WIZARD) if cls == "ComboBox"])
        self.quit_wizard()
        saved = (self.prefix.path / "drive_c" / "windows" / "SauvegardeKVX.ini").read_bytes().decode("cp1252")
        keys = dict(line.split("=", 1) for line in saved.splitlines() if "=" in line)
        self.assertEqual((keys["No"], keys["0"], keys["1"]), ("2", kept[0], kept[1]))

        self.step("the menu's Quitter ends the toolbox")
        self.ui("click", MENU, "Quitter")
        self.assertEqual(toolbox.wait(timeout=30), 0)


if __name__ == "__main__":
    unittest.main()
