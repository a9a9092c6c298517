"""Failures inside the whole toolbox, made by the zip stand-in's KVXZIP_FAULTS and by
damaged inputs: a backup to a full disk, and restores that must leave the data folder
byte for byte as it was (wizard_scenario.exe plays the wizard, see test_wizard.py)."""

import os
import shutil
import unittest
import zipfile

from kvxscenario import BIN, ScenarioCase, windows_path, without_safety_notice

RESTORED_CLIENTS = "restauré".encode("cp1252")


class Failures(ScenarioCase):
    def setUp(self):
        super().setUp()
        shutil.copy(BIN / "wizard_scenario.exe", self.install.outils)
        self.saves = self.install.work / "SAUVES"
        self.saves.mkdir()
        self.report = self.install.work / "report.txt"

    def tree(self):
        """Every file and folder of the data folder, with its bytes."""
        return {p.relative_to(self.install.data).as_posix(): (None if p.is_dir() else p.read_bytes())
                for p in sorted(self.install.data.rglob("*"))}

    def play(self, answers, archive, faults="", mode=None):
        if self.report.exists():
            self.report.unlink()
        args = [windows_path(archive), windows_path(self.report)] + ([mode] if mode else [])
        env = {"KVXZIP_FAULTS": faults} if faults else {}
        run = self.install.run(answers + ["SAISIE ESC"], program="wizard_scenario.exe", args=args, env=env)
        self.assertEqual(run.returncode, 0)
        return run, self.report.read_bytes().decode("cp1252").splitlines()

    def archive_of_the_data(self):
        """A backup of the data folder as it is, but for a CLIENTS.FIC a restore would change."""
        archive = self.saves / "SauveKVX.zip"
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            for path in sorted(self.install.data.rglob("*")):
                name = path.relative_to(self.install.data).as_posix()
                if path.is_file():
                    z.writestr(name, RESTORED_CLIENTS if name == "CLIENTS.FIC" else path.read_bytes())
        return archive

    def test_a_backup_to_a_full_disk_fails_and_leaves_no_archive(self):
        archive = self.saves / "SauveKVX.zip"
        run, report = self.play(["SAISIE B01"], archive, faults="write-fail-after=1000")
        self.assertEqual(report, ["B01 Echec de la sauvegarde !"])
        self.assertEqual(sorted(os.listdir(self.saves)), [])

    def test_a_failed_restore_leaves_the_data_folder_byte_for_byte(self):
        truncated = lambda archive: archive.write_bytes(archive.read_bytes()[: archive.stat().st_size // 2])

        def version_not_a_number(archive):
            param = self.install.data / "PARAM.DTA"
            param.write_bytes(param.read_bytes().replace(b"VERSION=12", b"VERSION=douze"))

        cases = [
            # (what, how the inputs are spoilt, KVXZIP_FAULTS, reason shown beside "Echec de la restauration !")
            ("truncated archive", truncated, "", "n'a pas pu être extraite entièrement."),
            ("version not a number", version_not_a_number, "", "version trop ancienne"),
            ("safety copy cannot be written", None, "write-fail-after=1000", "n'a pas pu être faite."),
            ("extraction fails half way", None, "extract-fail-after=3", "n'a pas pu être extraite entièrement."),
        ]
        param = self.install.data / "PARAM.DTA"
        original_param = param.read_bytes()
        for what, spoil, faults, reason in cases:
            with self.subTest(what):
                param.write_bytes(original_param)
                archive = self.archive_of_the_data()
                if spoil:
                    spoil(archive)
                before = self.tree()
                run, report = self.play(["SAISIE B02"], archive, faults=faults, mode="AS-IS")
                self.assertEqual(report[0], "B02 Echec de la restauration !")
                dialogs = [l for l in report if l.startswith("DIALOG ")]
                self.assertEqual(len(dialogs), 1, report)
                self.assertIn(reason, dialogs[0])
                self.assertEqual(self.tree(), before)
                self.assertEqual(run.tool_log, [], "no converter runs on unchanged data")

        # The same comparison sees a restore that went through.
        param.write_bytes(original_param)
        archive = self.archive_of_the_data()
        before = self.tree()
        run, report = self.play(["SAISIE B02"], archive, mode="AS-IS")
        self.assertEqual(without_safety_notice(report), ["B02 La restauration a été effectuée avec succes !"])
        after = self.tree()
        self.assertNotEqual(after, before)
        self.assertEqual(after["CLIENTS.FIC"], RESTORED_CLIENTS)
        self.assertEqual([program for program, _, _ in run.tool_log], ["WDMODFIC.EXE", "TRANSFMO.EXE"])


if __name__ == "__main__":
    unittest.main()
