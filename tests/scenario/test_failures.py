"""Failures inside the whole toolbox, made by the zip stand-in's KVXZIP_FAULTS and by
damaged inputs: backups that must leave the earlier archive byte for byte, and restores
that must leave the data folder byte for byte as it was (wizard_scenario.exe plays the
wizard, see test_wizard.py). Each runs over the stand-in as it is and over its careless
model (KVXZIP_MODEL=careless), which answers success whatever happened: what the toolbox
checks itself must hold with either."""

import os
import shutil
import unittest
import zipfile

from kvxscenario import BIN, ScenarioCase, windows_path, without_safety_notice

RESTORED_CLIENTS = "restauré".encode("cp1252")
MODELS = ["", "careless"]


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

    def play(self, answers, archive, faults="", mode=None, model=""):
        if self.report.exists():
            self.report.unlink()
        args = [windows_path(archive), windows_path(self.report)] + ([mode] if mode else [])
        env = {"KVXZIP_FAULTS": faults, "KVXZIP_MODEL": model}
        run = self.install.run(answers + ["SAISIE ESC"], program="wizard_scenario.exe", args=args, env=env)
        self.assertEqual(run.returncode, 0)
        return run, self.report.read_bytes().decode("cp1252").splitlines()

    def archive_of_the_data(self):
        """A backup of the data folder as it is, but for a CLIENTS.FIC a restore would change
        (stored, so that its bytes can be found in the archive)."""
        archive = self.saves / "SauveKVX.zip"
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            for path in sorted(self.install.data.rglob("*")):
                name = path.relative_to(self.install.data).as_posix()
                if name == "CLIENTS.FIC":
                    z.writestr(name, RESTORED_CLIENTS, compress_type=zipfile.ZIP_STORED)
                elif path.is_file():
                    z.writestr(name, path.read_bytes())
        return archive

    def test_a_backup_to_a_full_disk_fails_and_leaves_no_archive(self):
        archive = self.saves / "SauveKVX.zip"
        for model in MODELS:
            with self.subTest(model=model):
                run, report = self.play(["SAISIE B01"], archive, faults="write-fail-after=1000", model=model)
                self.assertEqual(report[0], "B01 Echec de la sauvegarde !")
                self.assertEqual(sorted(os.listdir(self.saves)), [])

    def test_a_failed_backup_leaves_the_earlier_archive_byte_for_byte(self):
        archive = self.saves / "SauveKVX.zip"
        run, report = self.play(["SAISIE B01"], archive)
        self.assertEqual(report, ["B01 Sauvegarde réussie !"])
        earlier = archive.read_bytes()
        clients = self.install.data / "CLIENTS.FIC"
        clients.write_bytes(clients.read_bytes() * 50)  # today's data differs
        cases = [
            # (KVXZIP_FAULTS, what the message of the failed backup names; the careless model
            # says nothing, the toolbox's reading of the archive finds it)
            ("read-fail-at=CLIENTS.FIC@10", "CLIENTS.FIC"),
            ("read-fail=ARTICLES.NDX", "ARTICLES.NDX"),
            ("write-fail-after=1000", None),
            ("write-corrupt-at=300", "SauveKVX.zip (relecture "),
        ]
        for model in MODELS:
            for faults, named in cases:
                with self.subTest(model=model, faults=faults):
                    run, report = self.play(["SAISIE B01"], archive, faults=faults, model=model)
                    self.assertEqual(report[0], "B01 Echec de la sauvegarde !")
                    if named:
                        self.assertIn(named, "\n".join(report))
                    self.assertEqual(archive.read_bytes(), earlier)
                    self.assertEqual(sorted(os.listdir(self.saves)), ["SauveKVX.zip"])

    def restore_fails(self, original_param, spoil, faults, reason, model):
        """A restore from a backup of the data folder, spoilt, fails before its switch and
        leaves the data folder byte for byte."""
        (self.install.data / "PARAM.DTA").write_bytes(original_param)
        archive = self.archive_of_the_data()
        if spoil:
            spoil(archive)
        before = self.tree()
        run, report = self.play(["SAISIE B02"], archive, faults=faults, mode="AS-IS", model=model)
        self.assertEqual(report[0], "B02 Echec de la restauration !")
        dialogs = [l for l in report if l.startswith("DIALOG ")]
        self.assertEqual(len(dialogs), 1, report)
        self.assertIn(reason, dialogs[0])
        self.assertEqual(self.tree(), before)
        self.assertEqual(run.tool_log, [], "no converter runs on unchanged data")

    def test_a_failed_restore_leaves_the_data_folder_byte_for_byte(self):
        truncated = lambda archive: archive.write_bytes(archive.read_bytes()[: archive.stat().st_size // 2])

        def damaged_member(archive):
            data = archive.read_bytes()
            self.assertEqual(data.count(RESTORED_CLIENTS), 1)
            archive.write_bytes(data.replace(RESTORED_CLIENTS, b"R" + RESTORED_CLIENTS[1:]))

        def version_not_a_number(archive):
            param = self.install.data / "PARAM.DTA"
            param.write_bytes(param.read_bytes().replace(b"VERSION=12", b"VERSION=douze"))

        cases = [
            # (what, how the inputs are spoilt, KVXZIP_FAULTS, reason shown beside "Echec de la restauration !")
            ("truncated archive", truncated, "", "n'a pas pu être extraite entièrement."),
            # Refused by the library's CRC-32 check, or extracted by a careless one and found
            # by the toolbox's reading of what was extracted.
            ("member's data damaged", damaged_member, "", "SauveKVX.zip"),
            ("version not a number", version_not_a_number, "", "version trop ancienne"),
            ("safety copy cannot be written", None, "write-fail-after=1000", "n'a pas pu être faite."),
            ("extraction fails half way", None, "extract-fail-after=3", "n'a pas pu être extraite entièrement."),
        ]
        param = self.install.data / "PARAM.DTA"
        original_param = param.read_bytes()
        for model in MODELS:
            for what, spoil, faults, reason in cases:
                with self.subTest(what, model=model):
                    self.restore_fails(original_param, spoil, faults, reason, model)

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
