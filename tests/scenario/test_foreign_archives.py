"""Archives written by other tools, restored by the unattended "KVXRESTAURE" mode on a
French system (OEM code page 850): every file comes back under the name its writer
meant, with its bytes, as 7-Zip (or, for names in the OEM code page, Python's zipfile)
extracts it."""

import subprocess
import unittest
import zipfile

from foreign_archives import OEM_FILES, Member, laid_out, make_archives, outside_tree, tree
from kvxscenario import BUILD, ScenarioCase, windows_path, without_multitache


def french_locale():
    """The environment of a French system for wine: its OEM code page follows the host's
    LC_CTYPE, which must exist for file names to reach the host in UTF-8. The locale is
    compiled from the system's definitions into the build folder (package locales)."""
    folder = BUILD / "locale"
    if not (folder / "fr_FR.UTF-8").exists():
        folder.mkdir(exist_ok=True)
        subprocess.run(["localedef", "-i", "fr_FR", "-f", "UTF-8", str(folder / "fr_FR.UTF-8")], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return {"LOCPATH": str(folder), "LC_ALL": "fr_FR.UTF-8"}


class ForeignArchives(ScenarioCase):
    def setUp(self):
        super().setUp()
        self.zips = self.install.work / "ZIPS"
        self.bases = self.install.work / "BASES"
        self.zips.mkdir()

    def restore(self):
        return self.install.run([], args=["KVXRESTAURE", windows_path(self.zips), windows_path(self.bases)],
                                env=french_locale())

    def test_every_archive_restores_as_the_outside_tools_extract_it(self):
        made = make_archives(self.zips, self.install.work)
        run = self.restore()
        self.assertEqual(sorted(p.name for p in self.bases.iterdir()), sorted(name[:8] for name in made))
        for name, expected in made.items():
            with self.subTest(archive=name):
                outside = outside_tree(self.zips / name, self.install.work / "OUTSIDE" / name,
                                       "cp850" if "OEM" in name else None)
                self.assertEqual(outside, expected)
                self.assertEqual(tree(self.bases / name[:8]), expected)
        self.assertEqual([l for l in without_multitache(run.transcript) if l.startswith("CMD ERREUR")], [])
        self.assertEqual(run.returncode, 0)

    def test_a_name_windows_cannot_hold_refuses_the_archive_by_the_member_name(self):
        with zipfile.ZipFile(self.zips / "REFUS.zip", "w") as z:
            z.writestr("Ré<glages>.INI", b"refused")
            z.writestr("Données.FIC", OEM_FILES["Données.FIC"])
        run = self.restore()
        self.assertEqual(run.returncode, 1)
        errors = [l for l in without_multitache(run.transcript) if l.startswith("CMD ERREUR")]
        self.assertEqual(errors, [
            "CMD ERREUR,L'archive %s contient des noms que Windows ne peut pas garder : Ré<glages>.INI "
            "(caractère interdit)." % windows_path(self.zips / "REFUS.zip"),
            "CMD ERREUR,Restauration incomplète : 1 archive(s) sur 1 n'ont pas pu être restaurées."])
        self.assertEqual(list((self.bases / "REFUS.zi").rglob("*")), [])  # refused before anything was written

    def test_an_oem_name_and_its_utf8_namesake_refuse_the_archive(self):
        """Windows holds été.fic (MS-DOS, code page 850) and ÉTÉ.FIC (UTF-8) as one file:
        the extraction would write the second over the first."""
        (self.zips / "DOUBLE.zip").write_bytes(laid_out([
            Member("été.fic", b"dos", raw_name="été.fic".encode("cp850"), system=0),
            Member("ÉTÉ.FIC", b"utf-8", flags=0x0800)]))
        run = self.restore()
        self.assertEqual(run.returncode, 1)
        errors = [l for l in without_multitache(run.transcript) if l.startswith("CMD ERREUR")]
        self.assertEqual(errors[0], "CMD ERREUR,L'archive %s contient des noms que Windows ne peut pas garder : "
                         "ÉTÉ.FIC (même nom que été.fic)." % windows_path(self.zips / "DOUBLE.zip"))
        self.assertEqual(list((self.bases / "DOUBLE.zi").rglob("*")), [])


if __name__ == "__main__":
    unittest.main()
