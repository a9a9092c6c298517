"""KVXOUTIL.EXE from the release package runs the menu of an installation, under wine's
32-bit side."""

import pathlib
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "scenario"))
from kvxscenario import INPUT, MENU_CLOSE, MENU_OPEN, ScenarioCase, windows_path  # noqa: E402
from pe_image import I386, PeImage  # noqa: E402
from test_package import make_package  # noqa: E402


class PackagedToolbox(ScenarioCase):
    def test_runs_the_menu_of_an_installation(self):
        with tempfile.TemporaryDirectory(prefix="kvxdist") as dist:
            with zipfile.ZipFile(make_package(pathlib.Path(dist))) as archive:
                for name in archive.namelist():
                    (self.install.root / name).write_bytes(archive.read(name))
        self.assertEqual(PeImage(self.install.outils / "KVXOUTIL.EXE").machine, I386)
        run = self.install.run(["SAISIE CLU", "SAISIE OK", "SAISIE ESC"])
        self.assertEqual(run.returncode, 0)
        licence = windows_path(self.install.outils / "CLUF_KVX.RTF")
        self.assertEqual(run.transcript, MENU_OPEN + [
            INPUT, 'CMD EXéCUTE("OUVREFEN","FEN_CLUF_VIEW")', "CMD OUVRE,FEN_CLUF_VIEW.WDW",
            'CMD EXéCUTE("Charge","%s")' % licence, INPUT, 'CMD EXéCUTE("FermeFen")', "CMD FERME", INPUT,
        ] + MENU_CLOSE)


if __name__ == "__main__":
    unittest.main()
