"""ZipArchive and UnzipArchive through the real KVXZIP.DLL and KVXUNZIP.DLL under wine:
long names relative to the current folder, accents, the host messages, and archives
checked by Info-ZIP, 7-Zip, Python's zipfile and bsdtar."""

import os
import pathlib
import shutil
import subprocess
import sys
import unittest
import zipfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "scenario"))
from kvxscenario import BIN, WINE_RUN, short_temp_folder, windows_path  # noqa: E402

DRIVER = BIN / "archive_driver.exe"


class ArchiveProcedures(unittest.TestCase):
    def setUp(self):
        self.work = short_temp_folder()
        self.addCleanup(shutil.rmtree, self.work, True)
        self.data = self.work / "Données du cabinet" / "FIC01"  # a long name: its short form differs
        (self.data / "IMAGES" / "ANCIENNES").mkdir(parents=True)
        (self.data / "CLIENTS.FIC").write_bytes("CLIENT;Société Dupré\r\n".encode("cp1252") * 3000)
        (self.data / "Écritures comptables.FIC").write_bytes(os.urandom(70000))
        (self.data / "ARTICLES.NDX").write_bytes(b"NDX" * 1000)
        (self.data / "IMAGES" / "LOGO.BMP").write_bytes(b"BM" + bytes(range(256)) * 40)
        (self.data / "PATSAUVE.DTA").write_bytes(b"*.FIC\r\n*.NDX\r\nIMAGES\r\n")

    def driver(self, *args, cwd, faults=None):
        script, log = self.work / "script.txt", self.work / "transcript.log"
        script.write_bytes(b"")
        log.unlink(missing_ok=True)
        env = dict(os.environ, KVXHOST_SCRIPT=windows_path(script), KVXHOST_LOG=windows_path(log))
        if faults:
            env["KVXZIP_FAULTS"] = faults
        # No pipes: wine's service processes, when this run starts them, inherit them and keep them open.
        proc = subprocess.run([str(WINE_RUN), windows_path(DRIVER), *args], cwd=str(cwd), env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        lines = [l for l in log.read_bytes().decode("cp1252").split("\n") if l] if log.exists() else []
        return proc.returncode, lines

    def test_backup_and_restore_through_the_libraries(self):
        archive = self.work / "SAUVEKVX.ZIP"
        code, transcript = self.driver("zip", windows_path(archive), "@" + windows_path(self.data / "PATSAUVE.DTA"),
                                       "0", "1", cwd=self.data)
        self.assertEqual(code, 0)
        self.assertEqual(transcript[0], "INIT")
        self.assertEqual(transcript[-1], "TERM")
        body = transcript[1:-1]
        self.assertEqual(len(body) % 3, 0)
        for gauge, caption, keep_alive in zip(body[::3], body[1::3], body[2::3]):
            percent = gauge.rpartition("=")[2]
            self.assertEqual(gauge, "CMD AFFICHE,JAUGE_JAUGE3=" + percent)
            self.assertEqual(caption, "CMD AFFICHE,LIB_libelle=Sauvegarde en cours : %s %%" % percent)
            self.assertEqual(keep_alive, "CMD MULTITACHE")
        self.assertEqual(body[-3], "CMD AFFICHE,JAUGE_JAUGE3=100")

        expected = {"CLIENTS.FIC", "Écritures comptables.FIC", "ARTICLES.NDX", "IMAGES/", "IMAGES/LOGO.BMP",
                    "IMAGES/ANCIENNES/"}
        for tool in (["unzip", "-tq"], ["7z", "t"], ["bsdtar", "-tf"]):
            self.assertEqual(subprocess.run(tool + [str(archive)], capture_output=True).returncode, 0, tool)
        with zipfile.ZipFile(archive) as z:
            self.assertIsNone(z.testzip())
            self.assertEqual({i.filename for i in z.infolist()}, expected)
            self.assertEqual(z.read("CLIENTS.FIC"), (self.data / "CLIENTS.FIC").read_bytes())
            self.assertEqual(z.read("Écritures comptables.FIC"), (self.data / "Écritures comptables.FIC").read_bytes())

        restored = self.work / "RESTORED"
        restored.mkdir()
        code, transcript = self.driver("unzip", windows_path(archive), windows_path(restored), "*.*", cwd=self.work)
        self.assertEqual(code, 0)
        self.assertEqual(transcript[-4:-1], ["CMD AFFICHE,LIB_Fichier_en_cours1=Fichier en cours 100% :",
                                             "CMD AFFICHE,JAUGE_JAUGE1=100", "CMD MULTITACHE,-1"])
        names = {p.relative_to(restored).as_posix() for p in restored.rglob("*")}
        self.assertEqual(names, {n.rstrip("/") for n in expected})
        self.assertEqual((restored / "IMAGES" / "LOGO.BMP").read_bytes(), (self.data / "IMAGES" / "LOGO.BMP").read_bytes())

    def test_a_list_line_with_a_blank_is_one_item(self):
        (self.data / "Documents clients").mkdir()
        (self.data / "Documents clients" / "Relevé mars.txt").write_bytes(b"mars")
        (self.data / "PATSAUVE.DTA").write_bytes(b"*.FIC\r\nDocuments clients\r\n")
        archive = self.work / "SAUVEKVX.ZIP"
        code, _ = self.driver("zip", windows_path(archive), "@" + windows_path(self.data / "PATSAUVE.DTA"), "0", "1",
                              cwd=self.data)
        self.assertEqual(code, 0)
        with zipfile.ZipFile(archive) as z:
            self.assertIsNone(z.testzip())
            self.assertEqual({i.filename for i in z.infolist()},
                             {"CLIENTS.FIC", "Écritures comptables.FIC", "Documents clients/",
                              "Documents clients/Relevé mars.txt"})

    def test_names_outside_the_ansi_code_page_are_saved_whole(self):
        # A UTF-8 list, as the safety copy writes it: the folder reaches the library by its
        # short form and keeps its own name in the archive; a line naming nothing fails the backup.
        (self.data / "Łódź").mkdir()
        (self.data / "Łódź" / "A.FIC").write_bytes(b"kept")
        (self.data / "PATSAUVE.DTA").write_bytes("\ufeffŁódź\r\nCLIENTS.FIC\r\n".encode("utf-8"))
        archive = self.work / "SAUVEKVX.ZIP"
        code, _ = self.driver("zip", windows_path(archive), "@" + windows_path(self.data / "PATSAUVE.DTA"), "0", "1",
                              cwd=self.data)
        self.assertEqual(code, 0)
        with zipfile.ZipFile(archive) as z:
            self.assertIsNone(z.testzip())
            self.assertEqual(z.read("Łódź/A.FIC"), b"kept")
        (self.data / "PATSAUVE.DTA").write_bytes("\ufeffŁódź\r\nGONE.FIC\r\n".encode("utf-8"))
        code, transcript = self.driver("zip", windows_path(archive), "@" + windows_path(self.data / "PATSAUVE.DTA"),
                                       "0", "1", cwd=self.data)
        self.assertEqual(code, 1)
        self.assertIn("CMD ERREUR,Fichier ou dossier à sauvegarder introuvable : " + windows_path(self.data / "GONE.FIC"),
                      transcript)

    def test_files_past_the_short_path_limit_are_saved(self):
        # A folder deeper than MAX_PATH (260 characters): its file must reach the archive,
        # not be passed over while the backup is told a success.
        deep = self.data / "IMAGES" / pathlib.Path(*["D" * 60] * 5)
        deep.mkdir(parents=True)
        (deep / "FIN.FIC").write_bytes(b"deep" * 100)
        self.assertGreater(len(windows_path(deep / "FIN.FIC")), 300)
        archive = self.work / "SAUVEKVX.ZIP"
        code, _ = self.driver("zip", windows_path(archive), "@" + windows_path(self.data / "PATSAUVE.DTA"), "0", "1",
                              cwd=self.data)
        self.assertEqual(code, 0)
        with zipfile.ZipFile(archive) as z:
            self.assertIsNone(z.testzip())
            self.assertEqual(z.read((deep / "FIN.FIC").relative_to(self.data).as_posix()), b"deep" * 100)

    def test_a_source_not_read_whole_keeps_the_earlier_archive(self):
        archive = self.work / "SAUVEKVX.ZIP"
        item = "@" + windows_path(self.data / "PATSAUVE.DTA")
        self.assertEqual(self.driver("zip", windows_path(archive), item, "0", "1", cwd=self.data)[0], 0)
        earlier = archive.read_bytes()
        for faults in ("read-fail=ARTICLES.NDX", "read-fail-at=CLIENTS.FIC@4096"):
            code, _ = self.driver("zip", windows_path(archive), item, "0", "1", cwd=self.data, faults=faults)
            self.assertEqual(code, 1, faults)
            self.assertEqual(archive.read_bytes(), earlier, faults)
            self.assertEqual(sorted(p.name for p in self.work.iterdir() if p.name.startswith("SAUVEKVX")),
                             ["SAUVEKVX.ZIP"], faults)

    def test_traversal_names_and_damaged_archives_are_reported(self):
        archive = self.work / "EVIL.ZIP"
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("../OUTSIDE.TXT", b"escaped")
            z.writestr("C:/DRIVE.TXT", b"escaped")
            z.writestr("INSIDE.TXT", b"fine")
        dest = self.work / "DEST"
        dest.mkdir()
        code, transcript = self.driver("unzip", windows_path(archive), windows_path(dest), "*.*", cwd=self.work)
        self.assertEqual(code, 1)
        errors = [l for l in transcript if l.startswith("CMD ERREUR")]
        self.assertEqual(errors, ["CMD ERREUR,Impossible d'extraire les fichiers de " + windows_path(archive)] * 2)
        self.assertEqual({p.name for p in self.work.iterdir()},
                         {"DEST", "EVIL.ZIP", "Données du cabinet", "script.txt", "transcript.log"})
        self.assertEqual([p.name for p in dest.iterdir()], ["INSIDE.TXT"])

        (self.work / "BAD.ZIP").write_bytes(b"not an archive at all")
        code, transcript = self.driver("unzip", windows_path(self.work / "BAD.ZIP"), windows_path(dest), "*.*",
                                       cwd=self.work)
        self.assertEqual((code, transcript),
                         (1, ["INIT", "CMD ERREUR,Impossible de lire le fichier : " + windows_path(self.work / "BAD.ZIP"),
                              "TERM"]))


if __name__ == "__main__":
    unittest.main()
