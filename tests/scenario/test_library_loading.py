"""The zip libraries come from the toolbox's own folder only. With decoys of KVXZIP.DLL and
KVXUNZIP.DLL (tests/scsi/decoy_library_win32.cpp, which note every load in a marker file)
in every folder that is current while a library is loaded (the folder the toolbox is
started from, and the data folder, current while a backup is zipped), the toolbox backs
up and restores with the copies beside it; with none beside it, it stops with the
library's error and never loads a decoy."""

import shutil
import unittest
import zipfile

from kvxscenario import BIN, ScenarioCase, windows_path, without_safety_notice

DECOYS = ("KVXZIP.DLL", "KVXUNZIP.DLL")


class ZipLibraryLoading(ScenarioCase):
    def setUp(self):
        super().setUp()
        # A folder beside OUTILS, so that ..\FIC01 and ..\KVXOUTIL.WDL are still found.
        self.started_from = self.install.root / "DOWNLOADS"
        self.started_from.mkdir()
        for folder in (self.started_from, self.install.data):
            for name in DECOYS:
                shutil.copy(BIN / "KVXDECOY.DLL", folder / name)
        self.marker = self.install.work / "decoy.log"
        self.env = {"KVXDECOY_MARKER": windows_path(self.marker)}

    def assert_decoys_never_loaded(self):
        loaded = self.marker.read_text() if self.marker.exists() else ""
        self.assertEqual(loaded, "", "a decoy in the current folder was loaded")

    def test_backup_and_restore_use_the_libraries_beside_the_program(self):
        shutil.copy(BIN / "wizard_scenario.exe", self.install.outils)
        archive, report = self.install.work / "SauveKVX.zip", self.install.work / "report.txt"
        run = self.install.run(["SAISIE B01", "SAISIE B02", "SAISIE ESC"], program="wizard_scenario.exe",
                               args=[windows_path(archive), windows_path(report)], cwd=self.started_from,
                               env=self.env)
        self.assertEqual(run.returncode, 0)
        self.assertEqual(without_safety_notice(report.read_bytes().decode("cp1252").splitlines()),
                         ["B01 Sauvegarde réussie !", "B02 La restauration a été effectuée avec succes !"])
        with zipfile.ZipFile(archive) as backup:
            self.assertIsNone(backup.testzip())
            self.assertIn("CLIENTS.FIC", backup.namelist())
        self.assert_decoys_never_loaded()

    def test_a_library_missing_beside_the_program_is_not_taken_from_the_current_folder(self):
        shutil.copy(BIN / "wizard_scenario.exe", self.install.outils)
        zips = self.install.work / "ZIPS"
        zips.mkdir()
        with zipfile.ZipFile(zips / "SAUVE1.zip", "w") as backup:
            backup.writestr("CLIENTS.FIC", b"clients")
        work = self.install.work
        runs = {  # the library, and a run of the toolbox that needs it
            "KVXZIP.DLL": dict(answers=["SAISIE B01", "SAISIE ESC"], program="wizard_scenario.exe",
                               args=[windows_path(work / "SauveKVX.zip"), windows_path(work / "report.txt")]),
            "KVXUNZIP.DLL": dict(answers=[], args=["KVXRESTAURE", windows_path(zips), windows_path(work / "BASES")]),
        }
        for library, run in runs.items():
            with self.subTest(library=library):
                installed, aside = self.install.outils / library, work / library
                shutil.move(installed, aside)
                try:
                    # No display: the warning box returns at once instead of waiting for a click.
                    result = self.install.run(run.pop("answers"), cwd=self.started_from,
                                              env=dict(self.env, DISPLAY=""), **run)
                finally:
                    shutil.move(aside, installed)
                self.assertEqual(result.returncode, 1)  # the library's error ends the program
                self.assert_decoys_never_loaded()


if __name__ == "__main__":
    unittest.main()
