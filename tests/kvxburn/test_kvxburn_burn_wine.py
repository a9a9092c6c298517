"""kvxburn.exe burning under wine: the engine selects virtual recorders through the ASPI
manager stand-in WNASPI32.DLL, lays out a backup and burns blank CD-R, CD-RW, DVD-R,
DVD+R and DVD+RW discs. Each disc image the recorder leaves is read back by isoinfo,
xorriso, pycdlib and bsdtar, every file byte for byte, and the disc's state afterwards
is what the engine leaves on such a disc."""

import io
import os
import pathlib
import re
import subprocess
import sys
import unittest
import zipfile

import test_kvxburn_image as native

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
from kvxtest import windows_path  # noqa: E402

SOURCE_DIR = os.environ.get("KVX_SOURCE_DIR", "../..")
WINE_RUN = os.path.join(SOURCE_DIR, "scripts", "wine-run")
KVXBURN_EXE = os.path.join(os.environ.get("KVX_BUILD_DIR", "build/win64"), "bin", "kvxburn.exe")
SECTOR = native.SECTOR

# Unit number, medium, and how the engine leaves a blank disc of that kind.
UNITS = [
    (0, "CD-R", "appendable"),
    (1, "CD-RW", "appendable"),
    (2, "DVD-R", "complete"),   # disc-at-once: the flush writes the lead-out
    (3, "DVD+R", "complete"),   # the track, then the disc, are closed
    (4, "DVD+RW", "complete"),  # formatted, then written
    (5, "CD-R", "blank"),       # 250 sectors only
]


def backup_zip():
    data = io.BytesIO()
    with zipfile.ZipFile(data, "w", zipfile.ZIP_DEFLATED) as archive:
        for i in range(20):
            archive.writestr("FIC01/TABLE%02d.FIC" % i, os.urandom(3000) + bytes(20000))
    return data.getvalue()


class KvxburnBurnTest(native.KvxburnImageTest):
    iso_file_names_known = False  # wine gives long names 8.3 names of its own

    def setUp(self):
        super().setUp()
        lines = []
        for number, media, _ in UNITS:
            lines += ["[Unit%d]" % number, "Media=" + media, "Fast=1",
                      "Image=" + windows_path(self.disc_image(number))]
        lines += ["Letter=R", "Capacity=250"]  # the last unit
        config = os.path.join(self.dir, "kvxaspi.ini")
        with open(config, "w") as f:
            f.write("\n".join(lines) + "\n")
        self.env = dict(native.ENV, KVXASPI_CONFIG=windows_path(config))

    def disc_image(self, unit):
        return os.path.join(self.dir, "unit%d.img" % unit)

    def kvxburn(self, *args, expect=0):
        result = subprocess.run([WINE_RUN, KVXBURN_EXE, *args], capture_output=True, env=self.env)
        err = result.stderr.decode("cp1252", errors="replace").replace("\r", "")
        self.assertEqual(result.returncode, expect, err)
        return result.stdout.decode("cp1252").replace("\r", ""), err

    def info(self, device):
        out, _ = self.kvxburn("info", device)
        return dict(line.split(": ", 1) for line in out.splitlines())

    def backup_tree(self, prefix=""):
        t = self.tree
        t.file(prefix + "SauveKVX.zip", "/%sSAUVEKVX.ZIP;1" % prefix.upper(), data=backup_zip())
        t.file(prefix + "Donn\u00e9es/notes.txt", "/%sDONN_ES/NOTES.TXT;1" % prefix.upper())
        t.file(prefix + "Donn\u00e9es/grand.bin", "/%sDONN_ES/GRAND.BIN;1" % prefix.upper(),
               data=os.urandom(700001), mtime=native.SUMMER)
        t.file(prefix + "Donn\u00e9es/vide.dat", "/%sDONN_ES/VIDE.DAT;1" % prefix.upper(), data=b"")
        return [windows_path(os.path.join(t.root, prefix + "SauveKVX.zip")),
                windows_path(os.path.join(t.root, prefix + "Donn\u00e9es"))]

    def burn(self, device, paths, *options):
        _, err = self.kvxburn("burn", device, *options, *paths)
        self.assertRegex(err, r"written (\d+) of \1 sectors \(100%\)")
        self.assertIn("closing the track", err)
        return err

    def burn_blank(self, unit, *options, state=None):
        number, media, usual = UNITS[unit]
        state = state or usual
        before = self.info(str(number))
        self.assertEqual((before["disc"], before["disc status"]), (media, "blank"))
        err = self.burn(str(number), self.backup_tree(), *options)
        self.assertIn(">>> STARTING WRITE PROCESS ON %s AT " % media, err)
        self.check_all(self.disc_image(number))
        after = self.info(str(number))
        self.assertEqual(after["disc status"], state)
        return after, err

    # --- one blank disc of each kind ------------------------------------------------------

    def test_cd_r_by_drive_letter_is_left_appendable(self):
        devices, _ = self.kvxburn("devices")
        lines = devices.splitlines()
        self.assertEqual(len(lines), len(UNITS))
        self.assertTrue(lines[5].startswith("0:5:0,R: KVX     VIRTUAL RECORDER1.00"), lines)
        self.assertTrue(lines[0].startswith("0:0:0,?: "), lines)
        self.assertEqual(self.info("R:")["device"], lines[5])
        self.assertEqual(self.info(lines[0])["free blocks"], "359849")
        after, _ = self.burn_blank(0)
        self.assertEqual(after["sessions"], "1")

    def test_cd_rw_finalised_and_verified(self):
        _, err = self.burn_blank(1, "--finalize", "--verify", state="complete")
        self.assertIn(">>> VERIFYING WRITTEN DATA", err)
        self.assertIn(">>> VERIFICATION SUCCESSFUL", err)

    def test_dvd_minus_r(self):
        self.burn_blank(2)

    def test_dvd_plus_r(self):
        self.burn_blank(3)

    def test_dvd_plus_rw_is_formatted_first(self):
        _, err = self.burn_blank(4)
        self.assertIn(">>> FORMATTING BLANK DVD+RW", err)

    # --- more sessions, erasing, the tray -------------------------------------------------

    def test_second_session_on_the_appendable_cd_r(self):
        self.burn("0", self.backup_tree())
        first = list(self.tree.files)
        start = int(self.info("0")["next writable address"])
        self.assertEqual(start, self.track_sectors(0) + 11400)  # lead-out, lead-in and pre-gap
        self.tree.files = []
        self.tree.file("Suite/deux.txt", "/SUITE/DEUX.TXT;1", data=os.urandom(9000))
        # A newer backup under the same name takes the older one's place.
        newer = self.tree.file("second/SauveKVX.zip", "/SAUVEKVX.ZIP;1", "/SauveKVX.zip", data=backup_zip())
        self.burn("0", [windows_path(os.path.join(self.tree.root, "Suite")), windows_path(newer)],
                  "--volume", "Suite")
        info = self.info("0")
        self.assertEqual((info["disc status"], info["sessions"]), ("appendable", "2"))
        second = list(self.tree.files)
        # The last session lists the files of both sessions, each read where it was written.
        self.tree.files = second + [f for f in first if f[2] != "/SauveKVX.zip"]
        last = self.last_session(start)
        self.check_all(last, volume="Suite")
        lbas = self.file_lbas(last)
        self.assertEqual(sorted(lbas), sorted(f[2] for f in self.tree.files))
        # A later session needs no padding before its files: they follow its directories.
        self.assertGreater(lbas["/Suite/deux.txt"], start + 16)
        self.assertGreater(lbas["/SauveKVX.zip"], start + 16)
        self.assertLess(lbas["/Donn\u00e9es/grand.bin"], start)
        # The first session still reads as it was.
        self.tree.files = first
        self.check_all(self.disc_image(0))

        # --new-tree: a third session that shows its own files only.
        third_start = int(self.info("0")["next writable address"])
        self.tree.files = []
        self.tree.file("Trois/trois.txt", "/TROIS/TROIS.TXT;1", data=os.urandom(100))
        self.burn("0", [windows_path(os.path.join(self.tree.root, "Trois"))], "--new-tree", "--volume", "Trois")
        self.check_all(self.last_session(third_start), volume="Trois")

    def last_session(self, start):
        """The disc as a system mounts its last session: that session's descriptors read at
        sector 16, every other sector at its own address."""
        with open(self.disc_image(0), "rb") as f:
            disc = f.read()
        last = os.path.join(self.dir, "session_%d.iso" % start)
        with open(last, "wb") as f:
            f.write(disc[start * SECTOR:(start + 32) * SECTOR])
            f.write(disc[32 * SECTOR:])
        return last

    def file_lbas(self, image):
        listing = native.run(["xorriso", "-indev", image, "-find", "/", "-type", "f", "-exec", "report_lba"])
        lbas = {}
        for line in listing.stdout.decode().splitlines():
            if line.startswith("File data lba:"):
                lbas[line.split("'")[1]] = int(line.split(",")[1])
        return lbas

    def track_sectors(self, unit):
        with open(self.disc_image(unit), "rb") as f:
            f.seek(16 * SECTOR + 80)
            return int.from_bytes(f.read(4), "little")

    def test_test_write_erase_and_eject(self):
        self.burn("1", self.backup_tree(), "--test", "--speed", "4")
        self.assertEqual(self.info("1")["disc status"], "blank")  # a simulation records nothing
        self.burn("1", self.backup_tree("b"))
        self.assertEqual(self.info("1")["disc status"], "appendable")
        _, err = self.kvxburn("erase", "1", "quick")
        self.assertIn("erased", err)
        self.assertIn(">>> STARTING ERASE PROCESS ON CD-RW AT ", err)
        self.assertEqual(self.info("1")["disc status"], "blank")
        self.kvxburn("eject", "1")

    # --- failures ---------------------------------------------------------------------------

    def test_failures_exit_non_zero_with_the_engine_text(self):
        paths = self.backup_tree()
        _, err = self.kvxburn("burn", "R:", *paths, expect=1)
        self.assertIn("kvxburn: NOT ENOUGH SPACE ON DISC (", err)
        self.assertIn(" SECTORS NEEDED, 250 FREE)", err)
        self.assertEqual(self.info("5")["disc status"], "blank")  # untouched
        self.assertFalse(os.path.exists(self.disc_image(5)) and os.path.getsize(self.disc_image(5)))
        _, err = self.kvxburn("burn", "7", *paths, expect=1)
        self.assertIn('no CD/DVD unit "7"', err)
        _, err = self.kvxburn("burn", "0", windows_path(os.path.join(self.dir, "missing.zip")), expect=1)
        self.assertIn("not found", err)
        self.kvxburn("erase", "0", "sometimes", expect=2)
        self.kvxburn("burn", "0", expect=2)


# Recorder faults: unit, Faults= entry, the command that meets it, and the text the
# engine must end with. Every one ends the command with exit code 1.
FAULTS = [
    ("CD-R", "35 3/0C/00", "burn", "FLUSH ERROR [MEDIUM ERROR (WRITE ERROR)]"),
    ("CD-R", "5B 5/72/03", "burn",
     "CLOSE ERROR [ILLEGAL REQUEST (SESSION FIXATION ERROR - INCOMPLETE TRACK IN SESSION)]"),
    ("CD-R", "2A@100 gone", "burn", "WRITER ERROR [SELECTION TIMEOUT]"),
    ("CD-R", "2A@100 3/0C/09", "burn", "WRITER ERROR [MEDIUM ERROR (WRITE ERROR - LOSS OF STREAMING)]"),
    ("DVD+RW", "35 3/0C/00", "burn", "FLUSH ERROR [MEDIUM ERROR (WRITE ERROR)]"),
    ("DVD+RW", "5B 5/72/03", "burn",
     "CLOSE ERROR [ILLEGAL REQUEST (SESSION FIXATION ERROR - INCOMPLETE TRACK IN SESSION)]"),
    ("DVD+RW", "2A@100 gone", "burn", "WRITER ERROR [SELECTION TIMEOUT]"),
    ("DVD+RW", "2A@100 3/0C/09", "burn", "WRITER ERROR [MEDIUM ERROR (WRITE ERROR - LOSS OF STREAMING)]"),
    ("CD-RW", "A1 3/31/00", "erase", "MEDIUM ERROR (MEDIUM FORMAT CORRUPTED)"),
    ("DVD-RW", "A1 3/31/00", "erase", "MEDIUM ERROR (MEDIUM FORMAT CORRUPTED)"),
    ("CD-RW", "A1 gone", "erase", "SELECTION TIMEOUT"),
    ("DVD-RW", "A1 gone", "erase", "SELECTION TIMEOUT"),
    ("DVD+RW", "04 3/31/01", "erase", "MEDIUM ERROR (FORMAT COMMAND FAILED)"),
    # CHECK CONDITION and no sense bytes at all: a failure all the same.
    ("CD-R", "2A@100 nosense", "burn", "WRITER ERROR [CHECK CONDITION WITHOUT SENSE DATA]"),
    ("CD-R", "35 nosense", "burn", "FLUSH ERROR [CHECK CONDITION WITHOUT SENSE DATA]"),
    ("CD-R", "5B nosense", "burn", "CLOSE ERROR [CHECK CONDITION WITHOUT SENSE DATA]"),
    ("CD-RW", "A1 nosense", "erase", "CHECK CONDITION WITHOUT SENSE DATA"),
    ("DVD+RW", "04 nosense", "erase", "CHECK CONDITION WITHOUT SENSE DATA"),
]


class KvxburnFaultTest(KvxburnBurnTest):
    """Each fault of a recorder reaches the console as a failure with the unit's text."""

    def use_unit(self, media, faults, new_disc=True):
        if new_disc:
            for left in (self.disc_image(0), self.disc_image(0) + ".state"):
                if os.path.exists(left):
                    os.remove(left)
        config = os.path.join(self.dir, "faulty.ini")
        state = "appendable" if media in ("CD-RW", "DVD-RW") else "blank"
        with open(config, "w") as f:
            f.write("[Unit0]\nMedia=%s\nState=%s\nFast=1\nFaults=%s\nImage=%s\n"
                    % (media, state, faults, windows_path(self.disc_image(0))))
        self.env = dict(self.env, KVXASPI_CONFIG=windows_path(config))

    def test_a_last_session_that_cannot_be_read_is_not_hidden_by_a_new_one(self):
        self.use_unit("CD-R", "")
        self.burn("0", self.backup_tree())
        before = self.info("0")
        with open(self.disc_image(0), "rb") as f:
            f.seek(16 * SECTOR)
            descriptors = f.read(2 * SECTOR)
        # The unit fails to read the root folders of both trees.
        roots = [int.from_bytes(descriptors[at + 158:at + 162], "little") for at in (0, SECTOR)]
        self.use_unit("CD-R", ";".join("28@%d 3/11/00" % root for root in roots), new_disc=False)
        self.tree.files = []
        self.tree.file("Suite/deux.txt", "/SUITE/DEUX.TXT;1")
        suite = [windows_path(os.path.join(self.tree.root, "Suite"))]
        _, err = self.kvxburn("burn", "0", *suite, expect=1)
        self.assertIn(">>> CAN'T READ THE PREVIOUS SESSION\n", err)
        self.assertIn("kvxburn: the last session on the disc cannot be read, and a new one would hide its files "
                      "(--new-tree burns a session that shows only the new files)\n", err)
        self.assertNotIn("written", err)
        self.assertEqual(self.info("0"), before)  # nothing burned
        self.burn("0", suite, "--new-tree")
        self.assertEqual(self.info("0")["sessions"], "2")

    def test_every_fault_exits_1_with_the_units_text(self):
        paths = self.backup_tree()
        for media, faults, command, text in FAULTS:
            with self.subTest(media=media, faults=faults):
                self.use_unit(media, faults)
                if command == "burn":
                    _, err = self.kvxburn("burn", "0", *paths, expect=1)
                    self.assertNotRegex(err, r"(?m)^written \d+ sectors$")
                else:
                    _, err = self.kvxburn("erase", "0", "quick", expect=1)
                    self.assertNotRegex(err, r"(?m)^erased$")
                self.assertIn("kvxburn: %s%s\n" % ("erasing failed: " if command == "erase" else "", text), err)


for name in dir(native.KvxburnImageTest):
    if name.startswith("test_"):
        setattr(KvxburnBurnTest, name, None)  # the image cases run in their own modules
del native.KvxburnImageTest

for name in dir(KvxburnBurnTest):
    if name.startswith("test_"):
        setattr(KvxburnFaultTest, name, None)  # run once, in their own class

if __name__ == "__main__":
    unittest.main()
