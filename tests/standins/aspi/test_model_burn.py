"""Discs burned onto the virtual recorder through the command layer, read from the image
file by tools nobody here wrote: the first session at sector 0 is a valid ISO 9660 +
Joliet volume (isoinfo, pycdlib, xorriso), and a second session lands 11400 sectors
after the first lead-out, where a multi-session reader finds it. The unit's drive
folder (key Folder) then holds the files of the last session, as a drive shows them."""

import io
import os
import pathlib
import sys
import tempfile
import unittest

import pycdlib

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "support"))
from kvxtest import run  # noqa: E402

BIN = os.path.join(os.environ.get("KVX_BUILD_DIR", "build/native"), "bin")
SECTOR = 2048


class ModelBurn(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.root = self.folder.name
        self.image = os.path.join(self.root, "disc.img")
        self.config = os.path.join(self.root, "kvxaspi.ini")
        self.drive = os.path.join(self.root, "drive")
        os.makedirs(os.path.join(self.drive, "OLD"))
        with open(os.path.join(self.drive, "OLD", "STALE.TXT"), "wb") as f:
            f.write(b"from an earlier disc\n")
        with open(self.config, "w") as f:
            f.write("[Unit0]\nMedia=CD-R\nFast=1\nImage=%s\nFolder=%s\n" % (self.image, self.drive))

    def tearDown(self):
        self.folder.cleanup()

    def source(self, name, files):
        folder = os.path.join(self.root, name)
        os.makedirs(folder)
        for rel, data in files.items():
            os.makedirs(os.path.dirname(os.path.join(folder, rel)), exist_ok=True)
            with open(os.path.join(folder, rel), "wb") as f:
                f.write(data)
        return folder

    def drive_files(self):
        found = {}
        for top, dirs, names in os.walk(self.drive):
            for name in names:
                path = os.path.join(top, name)
                with open(path, "rb") as f:
                    found[os.path.relpath(path, self.drive)] = f.read()
        return found

    def burn(self, iso, *extra):
        return int(run([os.path.join(BIN, "model_burn"), self.config, iso, *extra], text=True).stdout.strip())

    def test_first_session_is_a_valid_volume_at_sector_zero(self):
        files = {"SAUVEKVX.ZIP": os.urandom(300000), "notes.txt": b"backup of the day\n",
                 "Dossier des sauvegardes/journal de la semaine.txt": b"lundi\n" * 900, "VIDE.FIC": b""}
        folder = self.source("one", files)
        iso = os.path.join(self.root, "one.iso")
        run(["genisoimage", "-quiet", "-J", "-r", "-V", "KVX_BACKUP", "-o", iso, folder])
        self.assertEqual(self.burn(iso), 0)
        with open(iso, "rb") as f:
            expected = f.read()
        with open(self.image, "rb") as f:
            burned = f.read()
        self.assertEqual(burned, expected)
        self.assertIn("Volume id: KVX_BACKUP", run(["isoinfo", "-d", "-i", self.image], text=True).stdout)
        disc = pycdlib.PyCdlib()
        disc.open(self.image)
        for name, data in files.items():
            out = io.BytesIO()
            disc.get_file_from_iso_fp(out, joliet_path="/" + name)
            self.assertEqual(out.getvalue(), data)
        disc.close()
        run(["xorriso", "-indev", self.image, "-find", "/", "-exec", "lsdl", "--"])
        # The drive shows the disc's files under their Joliet names, and nothing else.
        self.assertEqual(self.drive_files(), files)
        self.assertEqual(sorted(os.listdir(self.drive)), sorted(["SAUVEKVX.ZIP", "notes.txt", "VIDE.FIC",
                                                                 "Dossier des sauvegardes"]))

    def test_second_session_follows_the_first_lead_out(self):
        first = os.path.join(self.root, "one.iso")
        run(["genisoimage", "-quiet", "-J", "-r", "-o", first, self.source("one", {"A.TXT": b"first\n"})])
        self.assertEqual(self.burn(first), 0)
        self.assertEqual(self.drive_files(), {"A.TXT": b"first\n"})
        first_sectors = os.path.getsize(first) // SECTOR
        next_start = first_sectors + 11400
        second = os.path.join(self.root, "two.iso")
        run(["genisoimage", "-quiet", "-J", "-r", "-C", "0,%d" % next_start, "-M", self.image, "-o", second,
             self.source("two", {"B.TXT": b"second\n"})])
        self.assertEqual(self.burn(second, "--finalize"), next_start)
        with open(self.image, "rb") as f:
            f.seek(next_start * SECTOR)
            with open(second, "rb") as g:
                self.assertEqual(f.read(), g.read())
        # The last session's tree names both files.
        listing = run(["isoinfo", "-i", self.image, "-T", str(next_start), "-f"], text=True).stdout
        self.assertIn("/A.TXT;1", listing)
        self.assertIn("/B.TXT;1", listing)
        self.assertEqual(self.drive_files(), {"A.TXT": b"first\n", "B.TXT": b"second\n"})

    def test_a_volume_without_joliet_shows_its_iso_names(self):
        iso = os.path.join(self.root, "plain.iso")
        run(["genisoimage", "-quiet", "-o", iso, self.source("plain", {"PARAM.DTA": b"[COMPOSANTS]\n",
                                                                        "FIC01/CLIENTS.FIC": b"C" * 5000})])
        self.burn(iso, "--finalize")
        self.assertEqual(self.drive_files(), {"PARAM.DTA": b"[COMPOSANTS]\n",
                                              os.path.join("FIC01", "CLIENTS.FIC"): b"C" * 5000})


if __name__ == "__main__":
    unittest.main()
