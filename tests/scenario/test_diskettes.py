"""Backups to diskettes through the whole toolbox. Drive A: of the wine prefix is a floppy
drive on a folder; the diskettes are folders on a shelf, swapped in and out by
kvxfloppy.exe, the command the zip stand-in runs instead of its diskette dialogs. A data
folder of about 4 MB that does not compress spans diskettes of 1,457,664 bytes; the
volumes, read back by the toolbox through the library once the set is written, then
copied out as X.z01, X.z02, ... X.zip, are checked by 7-Zip, by Info-ZIP's zip
(joined into one archive) and unzip, and the restore must bring the data back byte for
byte, asking for the diskettes in order and for a wrong one again."""

import datetime
import os
import pathlib
import random
import shutil
import subprocess
import unittest

from kvxscenario import (BIN, SOURCE, ScenarioCase, archive_members, cp1252, wine_output, windows_path,
                         without_safety_notice)

VOLUME = 1457664
FLOPPY = BIN / "kvxfloppy.exe"
# Incompressible data added to the demo installation, so that the backup needs three diskettes.
LARGE = {"GROS1.FIC": 1_300_000, "GROS2.FIC": 1_100_000, "GROS3.MMO": 900_000, "IMAGES/PHOTO.BMP": 700_000}


class DisketteBackup(ScenarioCase):
    def setUp(self):
        super().setUp()
        shutil.copy(BIN / "wizard_scenario.exe", self.install.outils)
        rng = random.Random(1457664)
        for name, size in LARGE.items():
            (self.install.data / name).write_bytes(rng.randbytes(size))
        self.drive = self.install.work / "A"
        self.shelf = self.install.work / "DISQUETTES"
        self.drive.mkdir()
        self.shelf.mkdir()
        self.report = self.install.work / "report.txt"
        self.insert_floppy_drive()

    def insert_floppy_drive(self):
        link = pathlib.Path(os.environ.get("WINEPREFIX", SOURCE / "build" / "wineprefix")) / "dosdevices" / "a:"
        previous = os.readlink(link) if link.is_symlink() else None

        def restore():
            wine_output(windows_path(FLOPPY), "forget")
            if previous:
                os.symlink(previous, link)
        self.addCleanup(restore)
        self.assertEqual(wine_output(windows_path(FLOPPY), "define", str(self.drive)).strip(), "2")  # DRIVE_REMOVABLE

    def data_files(self):
        return {p.relative_to(self.install.data).as_posix(): p.read_bytes()
                for p in self.install.data.rglob("*") if p.is_file()}

    def archived(self, files):
        """What PATSAUVE.DTA names: *.FIC *.NDX *.MMO PARAM.DTA IMAGES (with its files)."""
        top = lambda n: "/" not in n and (n.endswith((".FIC", ".NDX", ".MMO")) or n == "PARAM.DTA")
        return {n: b for n, b in files.items() if top(n) or (n.startswith("IMAGES/") and n.count("/") == 1)}

    def run_wizard(self, code, *rules, env=None):
        changer = " ".join([windows_path(FLOPPY), "swap", windows_path(self.shelf), *rules])
        self.report.unlink(missing_ok=True)
        (self.shelf / "requests.log").unlink(missing_ok=True)
        run = self.install.run(["SAISIE " + code, "SAISIE ESC"], program="wizard_scenario.exe",
                               args=["A:\\SauveKVX.zip", windows_path(self.report)], timeout=600,
                               env=dict(env or {}, KVXZIP_VOLUME_SIZE=str(VOLUME), KVXZIP_DISK_CHANGE=changer))
        self.assertEqual(run.returncode, 0)
        log = self.shelf / "requests.log"
        requests = log.read_text().splitlines() if log.exists() else []
        return self.report.read_bytes().decode("cp1252").splitlines(), requests

    def test_backup_spans_diskettes_and_the_restore_asks_for_them_in_order(self):
        (self.drive / "NOTES.TXT").write_bytes(b"old diskette")
        (self.drive / ".ETIQUETTE").write_bytes(b"hidden under wine: kept without MV_SYSHIDE")
        (self.shelf / "2" / "ANCIEN").mkdir(parents=True)
        (self.shelf / "2" / "ANCIEN" / "X.TXT").write_bytes(b"x")
        (self.shelf / "2" / "OLD.TXT").write_bytes(b"y")
        before = self.data_files()

        report, requests = self.run_wizard("B01")
        self.assertEqual(report, ["B01 Sauvegarde réussie !"])
        count = int((self.shelf / "current.txt").read_text())
        self.assertGreaterEqual(count, 3)
        # Diskettes 1 and 2 held files: erased (folders too, hidden files not) after the warning.
        # Then the toolbox reads the set back through the library, which asks for each in turn.
        self.assertEqual(requests, ["erase 1", "insert 2", "erase 2"] + ["insert %d" % n for n in range(3, count + 1)] +
                         ["insert %d" % n for n in range(1, count + 1)])
        self.assertEqual(sorted(p.name for p in self.drive.iterdir()), ["SauveKVX.zip"])
        volumes = [self.shelf / str(n) / "SauveKVX.zip" for n in range(1, count)] + [self.drive / "SauveKVX.zip"]
        self.assertEqual(sorted(p.name for p in (self.shelf / "1").iterdir()), [".ETIQUETTE", "SauveKVX.zip"])
        for n in range(2, count):
            self.assertEqual(sorted(p.name for p in (self.shelf / str(n)).iterdir()), ["SauveKVX.zip"])
        sizes = [v.stat().st_size for v in volumes]
        print("volumes:", sizes)
        self.assertTrue(all(VOLUME - 1024 < s <= VOLUME for s in sizes[:-1]), sizes)
        self.assertEqual(volumes[0].read_bytes()[:4], b"PK\x07\x08")  # the spanning signature

        # The set as split files, by tools nobody here wrote.
        split = self.install.work / "SPLIT"
        split.mkdir()
        for n, volume in enumerate(volumes[:-1], 1):
            shutil.copy(volume, split / ("X.z%02d" % n))
        shutil.copy(volumes[-1], split / "X.zip")
        seven = subprocess.run(["7z", "t", "X.zip"], cwd=split, check=True, capture_output=True, text=True).stdout
        self.assertIn("Everything is Ok", seven)
        subprocess.run(["zip", "-q", "-s", "0", "X.zip", "--out", "Y.zip"], cwd=split, check=True)
        unzip = subprocess.run(["unzip", "-t", "Y.zip"], cwd=split, check=True, capture_output=True, text=True).stdout
        self.assertIn("No errors detected in compressed data of Y.zip.", unzip)
        print("7z t:", [l for l in seven.splitlines() if l.startswith(("Volumes", "Files", "Everything"))],
              "unzip -t:", unzip.splitlines()[-1])
        self.assertEqual(archive_members(split / "Y.zip"), self.archived(before))

        # The restore, started with diskette 1 in the drive, asks for the last one, then
        # for 1 (a wrong one is put in first and asked for again), 2, ... in order.
        (self.shelf / str(count)).mkdir(exist_ok=True)  # left empty by the read-back
        for volume in self.drive.iterdir():
            shutil.move(volume, self.shelf / str(count) / volume.name)
        for volume in (self.shelf / "1").iterdir():
            shutil.move(volume, self.drive / volume.name)
        (self.shelf / "current.txt").write_text("1")
        report, requests = self.run_wizard("B02", "wrong-1-2")
        self.assertEqual(without_safety_notice(report), ["B02 La restauration a été effectuée avec succes !"])
        self.assertEqual(requests, ["insert last", "insert 1", "insert 1"] + ["insert %d" % n for n in range(2, count + 1)])
        after = self.data_files()
        safety = datetime.date.today().strftime("%y%m%d") + "01.ZIP"
        self.assertIn(safety, after)
        for name, data in before.items():
            if name != "PARAM.DTA":
                self.assertEqual(after[name], data, name)
        # The safety copy holds the damaged data folder, every file of it (and the TRAMES
        # folder the backup copied there).
        damaged = dict(before, **{"CLIENTS.FIC": cp1252("abîmé"), "IMAGES/LOGO.BMP": cp1252("abîmé")})
        del damaged["ARTICLES.NDX"]
        copy = archive_members(self.install.data / safety)
        self.assertEqual({n: b for n, b in copy.items() if not n.startswith("TRAMES/")}, damaged)

    def test_a_diskette_of_the_set_back_in_the_drive_is_asked_for_again(self):
        # OK pressed without swapping when 2 is asked for, diskette 2 put back when 3 is:
        # neither is taken for a new diskette, nor erased.
        report, requests = self.run_wizard("B01", "wrong-2-1", "wrong-3-2")
        self.assertEqual(report, ["B01 Sauvegarde réussie !"])
        count = int((self.shelf / "current.txt").read_text())
        self.assertEqual(count, 3)
        self.assertEqual(requests, ["insert 2", "insert 2", "insert 3", "insert 3", "insert 1", "insert 2", "insert 3"])
        split = self.install.work / "SPLIT"
        split.mkdir()
        for n in range(1, count):
            shutil.copy(self.shelf / str(n) / "SauveKVX.zip", split / ("X.z%02d" % n))
        shutil.copy(self.drive / "SauveKVX.zip", split / "X.zip")
        seven = subprocess.run(["7z", "t", "X.zip"], cwd=split, check=True, capture_output=True, text=True).stdout
        self.assertIn("Everything is Ok", seven)

    def test_a_set_that_does_not_read_back_whole_fails_the_backup(self):
        # Every volume reaches its diskette with one byte of a member's data altered. The
        # stand-in says nothing of it, as the library would not; as it is, it refuses the
        # set when the toolbox has it read back, and its careless model, which checks no
        # CRC-32 and extracts for a test, gives the damaged bytes to the toolbox's reading.
        for model in ["", "careless"]:
            with self.subTest(model=model):
                for folder in (self.drive, self.shelf):
                    shutil.rmtree(folder)
                    folder.mkdir()
                report, requests = self.run_wizard("B01", env={"KVXZIP_FAULTS": "write-corrupt-at=700000",
                                                               "KVXZIP_MODEL": model})
                self.assertEqual(report[0], "B01 Echec de la sauvegarde !")
                self.assertIn("(relecture", "\n".join(report))
                count = int((self.shelf / "current.txt").read_text())
                self.assertEqual(requests, ["insert %d" % n for n in range(2, count + 1)] +
                                 ["insert %d" % n for n in range(1, count + 1)])

    def test_annuler_at_the_second_diskette_fails_the_backup(self):
        report, requests = self.run_wizard("B01", "refuse-insert-2")
        self.assertEqual(report, ["B01 Echec de la sauvegarde !"])
        self.assertEqual(requests, ["insert 2"])
        # The first diskette, still in the drive, holds no part of the unfinished set.
        self.assertEqual(list(self.drive.iterdir()), [])


if __name__ == "__main__":
    unittest.main()
