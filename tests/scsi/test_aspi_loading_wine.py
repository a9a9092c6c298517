"""Where kvxburn.exe takes the ASPI manager from, under wine: started from a folder that
holds a decoy WNASPI32.DLL (tests/scsi/decoy_library_win32.cpp) while the program lies
elsewhere, it takes the manager beside it, else the system's, else the pass-through, and
never loads the decoy. As on current Windows, the system holds no ASPI manager: wine's own
is kept out (WINEDLLOVERRIDES wnaspi32=n) and its file is taken out of the prefix's
system folders, where it would end a search by name before the current folder."""

import os
import pathlib
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "scenario"))
from kvxscenario import BIN, SOURCE, WINE_RUN, short_temp_folder, windows_path  # noqa: E402

NO_TRANSPORT = "kvxburn: no SCSI transport (no WNASPI32.DLL and no CD/DVD volume)"
PREFIX = pathlib.Path(os.environ.get("WINEPREFIX", SOURCE / "build" / "wineprefix"))


class AspiManagerLoading(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for system_folder in ("system32", "syswow64"):
            (PREFIX / "drive_c" / "windows" / system_folder / "wnaspi32.dll").unlink(missing_ok=True)

    def setUp(self):
        self.work = short_temp_folder()
        self.addCleanup(shutil.rmtree, self.work, True)
        self.program = self.work / "PROGRAM"
        self.started_from = self.work / "DOWNLOADS"
        self.program.mkdir()
        self.started_from.mkdir()
        shutil.copy(BIN / "kvxburn.exe", self.program)
        shutil.copy(BIN / "KVXDECOY.DLL", self.started_from / "WNASPI32.DLL")
        self.marker = self.work / "decoy.log"
        self.config = self.work / "kvxaspi.ini"
        self.config.write_text("[Unit0]\nMedia=CD-R\nLetter=R\n\n[Unit1]\nMedia=DVD+RW\nLetter=S\n")

    def devices(self):
        env = dict(os.environ, KVXDECOY_MARKER=windows_path(self.marker), KVXASPI_CONFIG=windows_path(self.config))
        result = subprocess.run([str(WINE_RUN), windows_path(self.program / "kvxburn.exe"), "devices"],
                                cwd=str(self.started_from), env=env, capture_output=True, timeout=120)
        decode = lambda data: data.decode("cp1252").replace("\r", "").splitlines()  # noqa: E731
        return result.returncode, decode(result.stdout), decode(result.stderr)

    def assert_decoy_never_loaded(self):
        loaded = self.marker.read_text() if self.marker.exists() else ""
        self.assertEqual(loaded, "", "the decoy in the current folder was loaded")

    def test_with_no_manager_beside_the_program_the_pass_through_is_tried(self):
        # Wine has no CD/DVD volume: the pass-through finds no unit either.
        self.assertEqual(self.devices(), (1, [], [NO_TRANSPORT]))
        self.assert_decoy_never_loaded()

    def test_the_manager_beside_the_program_lists_its_units(self):
        shutil.copy(BIN / "WNASPI32.DLL", self.program)
        self.assertEqual(self.devices(), (0, ["0:0:0,R: KVX     VIRTUAL RECORDER1.00",
                                              "0:1:0,S: KVX     VIRTUAL RECORDER1.00"], []))
        self.assert_decoy_never_loaded()


if __name__ == "__main__":
    unittest.main()
