"""The backup/restore wizard inside the whole toolbox: wizard_scenario.exe runs the
program in process with the host stand-in in script mode while a driver plays the
wizard. B01 backs the data folder up, B02 damages the data and restores it. The archive
is checked by Info-ZIP, 7-Zip, Python's zipfile and bsdtar, and the restored data must
equal the data backed up, byte for byte."""

import datetime
import shutil
import subprocess
import unittest

from kvxscenario import (BIN, INPUT, MENU_CLOSE, MENU_OPEN, ScenarioCase, archive_members, cp1252, windows_path,
                         without_multitache, without_safety_notice)

# What PATSAUVE.DTA of the demo installation names: *.FIC *.NDX *.MMO PARAM.DTA IMAGES.
ARCHIVED = ["ARTICLES.FIC", "ARTICLES.MMO", "ARTICLES.NDX", "CLIENTS.FIC", "CLIENTS.NDX", "IMAGES/LOGO.BMP",
            "PARAM.DTA", "VIDE.FIC"]


class WizardScenario(ScenarioCase):
    def setUp(self):
        super().setUp()
        shutil.copy(BIN / "wizard_scenario.exe", self.install.outils)
        self.saves = self.install.work / "SAUVES"
        self.saves.mkdir()
        self.archive = self.saves / "SauveKVX.zip"
        self.report = self.install.work / "report.txt"

    def data_files(self):
        return {p.relative_to(self.install.data).as_posix(): p.read_bytes()
                for p in self.install.data.rglob("*") if p.is_file()}

    def test_backup_then_restore_brings_the_data_back(self):
        before = self.data_files()
        run = self.install.run(["SAISIE B01", "SAISIE B02", "SAISIE ESC"], program="wizard_scenario.exe",
                               args=[windows_path(self.archive), windows_path(self.report)])
        self.assertEqual(run.returncode, 0)
        self.assertEqual(without_safety_notice(self.report.read_bytes().decode("cp1252").splitlines()),
                         ["B01 Sauvegarde réussie !", "B02 La restauration a été effectuée avec succes !"])

        skeleton = [l for l in without_multitache(run.transcript) if not l.startswith("CMD AFFICHE,")]
        self.assertEqual(skeleton, MENU_OPEN + [
            INPUT,
            'CMD EXéCUTE("OUVREFEN","FEN_PROGRESS")', "CMD Ouvre,FEN_Progress.wdw", "CMD Handle,FEN_Progress",
            "CMD Multitache,-1", 'CMD EXéCUTE("FermeFen")', "CMD FERME",
            INPUT,
            INPUT] + MENU_CLOSE)
        self.assertIn("CMD AFFICHE,JAUGE_JAUGE3=100", run.transcript)
        self.assertIn("CMD AFFICHE,JAUGE_JAUGE1=100", run.transcript)

        # The archive, by tools nobody here wrote.
        for tool in (["unzip", "-tq"], ["7z", "t"], ["bsdtar", "-tf"]):
            subprocess.run(tool + [str(self.archive)], check=True, stdout=subprocess.DEVNULL)
        self.assertEqual(archive_members(self.archive), {name: before[name] for name in ARCHIVED})

        # The restored data, byte for byte; the safety copy kept the damaged state, every file
        # of the data folder (and the TRAMES folder the backup copied there).
        after = self.data_files()
        safety = datetime.date.today().strftime("%y%m%d") + "01.ZIP"
        self.assertIn(safety, after)
        damaged = dict(before, **{"CLIENTS.FIC": cp1252("abîmé"), "IMAGES/LOGO.BMP": cp1252("abîmé")})
        del damaged["ARTICLES.NDX"]
        copy = archive_members(self.install.data / safety)
        self.assertEqual({n: b for n, b in copy.items() if not n.startswith("TRAMES/")}, damaged)
        self.assertTrue(any(n.startswith("TRAMES/") for n in copy))
        for name, data in before.items():
            if name != "PARAM.DTA":
                self.assertEqual(after[name], data, name)
        param = (self.install.data / "PARAM.DTA").read_bytes().decode("cp1252")
        self.assertIn("REPERTOIREF=%s\\,,,,,,,\r\n" % windows_path(self.install.data), param)
        self.assertIn("VERSION=12,,,,,,,\r\n", param)

        folder = windows_path(self.install.outils)
        self.assertEqual(run.tool_log, [
            ("WDMODFIC.EXE", '-error -nobackup /WDD="GELDOR.WDD" /DIR="%s\\"' % windows_path(self.install.data), folder),
            ("TRANSFMO.EXE", "MAJ", folder),
        ])


if __name__ == "__main__":
    unittest.main()
