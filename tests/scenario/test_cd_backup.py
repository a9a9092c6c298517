"""A backup to CD inside the whole toolbox: wizard_scenario.exe runs the program in
process with the host stand-in in script mode while a driver plays the wizard and the
burn wizard. B01 backs up to the CD drive, declines the XP assistant and burns the
staging archive into a blank virtual CD-R of WNASPI32.DLL. The disc image is read back
by isoinfo, xorriso and pycdlib; the archive on it must equal the staging archive byte
for byte, pass Info-ZIP, 7-Zip, Python's zipfile and bsdtar, and restore the data."""

import io
import os
import re
import shutil
import subprocess
import unittest
import zipfile

import pycdlib

from kvxscenario import (BIN, INPUT, MENU_CLOSE, MENU_OPEN, SOURCE, ScenarioCase, windows_path,
                         without_safety_notice)

ARCHIVED = ["ARTICLES.FIC", "ARTICLES.MMO", "ARTICLES.NDX", "CLIENTS.FIC", "CLIENTS.NDX", "IMAGES/LOGO.BMP",
            "PARAM.DTA", "VIDE.FIC"]
PREFIX = os.environ.get("WINEPREFIX", str(SOURCE / "build" / "wineprefix"))
STAGING = os.path.join(PREFIX, "drive_c", "SauveKVX.zip")
TIME = r"\S.*"  # the system's time format


class CdBackupScenario(ScenarioCase):
    def setUp(self):
        super().setUp()
        for program in ("wizard_scenario.exe", "WNASPI32.DLL"):
            shutil.copy(BIN / program, self.install.outils)
        self.disc = self.install.work / "disc.img"
        self.config = self.install.work / "kvxaspi.ini"
        self.config.write_text("[Unit0]\nMedia=CD-R\nFast=1\nLetter=R\nImage=%s\n" % windows_path(self.disc))
        self.report = self.install.work / "report.txt"
        self.env = {"KVXASPI_CONFIG": windows_path(self.config)}
        if os.path.exists(STAGING):
            os.remove(STAGING)
        self.addCleanup(lambda: os.path.exists(STAGING) and os.remove(STAGING))

    def data_files(self):
        return {p.relative_to(self.install.data).as_posix(): p.read_bytes()
                for p in self.install.data.rglob("*") if p.is_file()}

    def report_lines(self):
        lines = self.report.read_bytes().decode("cp1252").splitlines()
        self.report.unlink()
        return lines

    def test_backup_burned_to_a_blank_cd_r_reads_back_and_restores(self):
        before = self.data_files()
        run = self.install.run(["SAISIE B01", "SAISIE ESC"], program="wizard_scenario.exe",
                               args=["unused", windows_path(self.report), "CD"], env=self.env, timeout=600)
        self.assertEqual(run.returncode, 0)
        lines = self.report_lines()
        log = [l[4:] for l in lines if l.startswith("LOG ")]
        others = [l for l in lines if not l.startswith("LOG ")]
        self.assertEqual(others, ["B01 ", "DIALOG CONFIRM      Voulez-vous utiliser l'assistant XP ?     "])
        expected = [
            r">>> Sélection du lecteur KVX\s+VIRTUAL RECORDER\s+1\.00\s*",
            r'>>> Préparation du fichier "SauveKVX\.zip"',
            r">>> Début du gravage " + TIME,
            r">>> Vitesse de gravure X 48",
            r">>> Fermeture de la cession \.\.\. " + TIME,
            r">>> Vérification de la gravure \.\.\. " + TIME,
            r">>> Gravage réussi ! " + TIME,
            r">>> Cd-Rom ejecté !",
        ]
        self.assertEqual(len(log), len(expected), log)
        for line, pattern in zip(log, expected):
            self.assertRegex(line, "^" + pattern + "$")
        # The staging archive was made without the progress window, and stays on C:.
        self.assertEqual([l for l in run.transcript if "FEN_Progress" in l], [])
        self.assertEqual(run.transcript[:len(MENU_OPEN) + 1], MENU_OPEN + [INPUT])
        self.assertEqual(run.transcript[-len(MENU_CLOSE):], MENU_CLOSE)
        with open(STAGING, "rb") as f:
            staged = f.read()

        # The disc, by tools nobody here wrote.
        image = str(self.disc)
        pvd = subprocess.run(["isoinfo", "-d", "-i", image], check=True, capture_output=True, text=True).stdout
        self.assertIn("Joliet with UCS level 1 found", pvd)
        joliet = subprocess.run(["isoinfo", "-J", "-l", "-i", image], check=True, capture_output=True,
                                text=True).stdout
        self.assertRegex(joliet, r"(?m)\s%d\s.*\sSauveKVX\.zip;1\s*$" % len(staged))
        found = subprocess.run(["xorriso", "-indev", "stdio:" + image, "-find", "/", "-type", "f"],
                               check=True, capture_output=True, text=True).stdout.split()
        self.assertEqual(found, ["'/SauveKVX.zip'"])
        iso = pycdlib.PyCdlib()
        iso.open(image)
        try:
            for kind, path in (("iso_path", "/SAUVEKVX.ZIP;1"), ("joliet_path", "/SauveKVX.zip;1")):
                data = io.BytesIO()
                iso.get_file_from_iso_fp(data, **{kind: path})
                self.assertEqual(data.getvalue(), staged, path)
        finally:
            iso.close()

        # The archive from the disc, by the zip tools, then restored over damaged data.
        from_disc = self.install.work / "DISQUE" / "SauveKVX.zip"
        from_disc.parent.mkdir()
        subprocess.run(["xorriso", "-osirrox", "on", "-indev", "stdio:" + image, "-extract", "/SauveKVX.zip",
                        str(from_disc)], check=True, capture_output=True)
        self.assertEqual(from_disc.read_bytes(), staged)
        for tool in (["unzip", "-tq"], ["7z", "t"], ["bsdtar", "-tf"]):
            subprocess.run(tool + [str(from_disc)], check=True, stdout=subprocess.DEVNULL)
        with zipfile.ZipFile(from_disc) as archive:
            self.assertIsNone(archive.testzip())
            self.assertEqual(sorted(n for n in archive.namelist() if not n.endswith("/")), ARCHIVED)
            for name in ARCHIVED:
                self.assertEqual(archive.read(name), before[name], name)

        run = self.install.run(["SAISIE B02", "SAISIE ESC"], program="wizard_scenario.exe",
                               args=[windows_path(from_disc), windows_path(self.report)])
        self.assertEqual(run.returncode, 0)
        self.assertEqual(without_safety_notice(self.report_lines()), ["B02 La restauration a été effectuée avec succes !"])
        after = self.data_files()
        for name, data in before.items():
            if name != "PARAM.DTA":
                self.assertEqual(after[name], data, name)

    def test_a_disc_that_does_not_read_back_as_written_is_a_failed_burn(self):
        faults = {
            "2A@100 garble": "VERIFY ERROR AT SECTOR 100 [DATA READ BACK DIFFERS]",
            "28@100 3/11/00": "VERIFY ERROR AT SECTOR 100 [MEDIUM ERROR (UNRECOVERED READ ERROR)]",
        }
        for fault, why in faults.items():
            with self.subTest(fault):
                if self.disc.exists():
                    self.disc.unlink()
                for state in self.install.work.glob("disc.img.state"):
                    state.unlink()
                self.config.write_text("[Unit0]\nMedia=CD-R\nFast=1\nLetter=R\nImage=%s\nFaults=%s\n"
                                       % (windows_path(self.disc), fault))
                run = self.install.run(["SAISIE B01", "SAISIE ESC"], program="wizard_scenario.exe",
                                       args=["unused", windows_path(self.report), "CD"], env=self.env, timeout=600)
                self.assertEqual(run.returncode, 0)
                log = [l[4:] for l in self.report_lines() if l.startswith("LOG ")]
                self.assertTrue(any(l.startswith(">>> Vérification de la gravure") for l in log), log)
                self.assertFalse(any("Gravage réussi" in l for l in log), log)
                failed = [l for l in log if l.startswith(">>> Gravage en erreur, ")]
                self.assertEqual(len(failed), 1, log)
                self.assertRegex(failed[0], "^>>> Gravage en erreur, " + re.escape(why) + r"\s+" + TIME + "$")


if __name__ == "__main__":
    unittest.main()
