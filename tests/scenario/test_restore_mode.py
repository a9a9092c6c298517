"""The unattended "KVXRESTAURE folder-of-archives data-root" mode: the host transcript,
the tool log of WDMODFIC.EXE and the data folders it leaves."""

import random
import re
import subprocess
import time
import unittest
import zipfile

from kvxscenario import INPUT, MENU_CLOSE, MENU_OPEN, ScenarioCase, windows_path, without_multitache

START = ["INIT", "CMD BIBLI,disque,KVXOUTIL.wdl/CR"]
END = ["CMD INFO, Dossiers créés avec succès.", 'CMD EXéCUTE("FermeFen")', "CMD FERME", "TERM"]
USAGE = ("CMD INFO, Le Paramètre Restaure s'utilise de la façon suivant: "
         "KVXRESTAURE CheminDossierDesZip CheminDesBases")


def progress_lines(transcript):
    return [l for l in transcript if l.startswith("CMD AFFICHE,")]


class RestoreMode(ScenarioCase):
    def setUp(self):
        super().setUp()
        self.zips = self.install.work / "ZIPS"
        self.bases = self.install.work / "BASES"
        self.zips.mkdir()

    def restore(self, *args):
        return self.install.run([], args=["KVXRESTAURE", *args])

    def wdmodfic(self, folder):
        return ("WDMODFIC.EXE", '-error -nobackup /WDD="GELDOR.WDD" /DIR="%s"' % folder,
                windows_path(self.install.outils))

    def test_every_archive_goes_into_a_folder_named_after_it(self):
        subprocess.run(["zip", "-q", "-r", str(self.zips / "SAUVE123.zip"), "."], cwd=self.install.data, check=True)
        (self.zips / "OLD.zip").mkdir()
        (self.zips / "OLD.zip" / "INSIDE.FIC").write_bytes(b"not an archive of this pass")
        with zipfile.ZipFile(self.zips / "AB.zip", "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("CLIENTS.FIC", b"AB clients\r\n" * 100)
            z.writestr("SUB/NOTE.TXT", b"note")

        run = self.restore(windows_path(self.zips), windows_path(self.bases))
        self.assertEqual(run.returncode, 0)
        skeleton = [l for l in without_multitache(run.transcript) if not l.startswith("CMD AFFICHE,")]
        self.assertEqual(skeleton, START + END)
        progress = progress_lines(run.transcript)
        self.assertEqual(len(progress) % 2, 0)
        for caption, gauge in zip(progress[::2], progress[1::2]):
            percent = gauge.rpartition("=")[2]
            self.assertEqual(caption, "CMD AFFICHE,LIB_Fichier_en_cours1=Fichier en cours %s%% :" % percent)
            self.assertEqual(gauge, "CMD AFFICHE,JAUGE_JAUGE1=" + percent)
        self.assertEqual(sum(l.endswith("JAUGE_JAUGE1=100") for l in progress), 2)  # one complete extraction each

        self.assertEqual(sorted(run.tool_log), sorted([self.wdmodfic(windows_path(self.bases) + "\\AB.zip"),
                                                       self.wdmodfic(windows_path(self.bases) + "\\SAUVE123")]))
        self.assertEqual(sorted(p.name for p in self.bases.iterdir()), ["AB.zip", "SAUVE123"])
        for path in self.install.data.rglob("*"):
            restored = self.bases / "SAUVE123" / path.relative_to(self.install.data)
            if path.is_file():
                self.assertEqual(restored.read_bytes(), path.read_bytes(), path)
            else:
                self.assertTrue(restored.is_dir(), path)
        self.assertEqual((self.bases / "AB.zip" / "CLIENTS.FIC").read_bytes(), b"AB clients\r\n" * 100)
        self.assertEqual((self.bases / "AB.zip" / "SUB" / "NOTE.TXT").read_bytes(), b"note")

    def test_good_archives_are_restored_and_bad_ones_named_with_a_failing_exit_code(self):
        (self.zips / "BROKEN.zip").write_bytes(b"PK\x03\x04" + b"\x00" * 200)
        with zipfile.ZipFile(self.zips / "GOOD.zip", "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("CLIENTS.FIC", b"good clients\r\n" * 100)
        whole = (self.zips / "GOOD.zip").read_bytes()
        (self.zips / "HALF.zip").write_bytes(whole[: len(whole) // 2])
        # The zip bomb of entries sharing data: the second entry's local header is the first's.
        with zipfile.ZipFile(self.zips / "BOMB.zip", "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("CLIENTS.FIC", b"bomb clients\r\n" * 100)
            z.writestr("COPIE.FIC", b"bomb clients\r\n" * 100)
        bomb = bytearray((self.zips / "BOMB.zip").read_bytes())
        second = bomb.rfind(b"PK\x01\x02")
        bomb[second + 42:second + 46] = bytes(4)
        (self.zips / "BOMB.zip").write_bytes(bomb)

        run = self.restore(windows_path(self.zips), windows_path(self.bases))
        self.assertEqual(run.returncode, 1)
        errors = sorted(l for l in without_multitache(run.transcript) if l.startswith("CMD ERREUR,Impossible"))
        self.assertEqual(errors, ["CMD ERREUR,Impossible de lire le fichier : " + windows_path(self.zips / name)
                                  for name in ("BOMB.zip", "BROKEN.zip", "HALF.zip")])
        self.assertEqual(without_multitache(run.transcript)[-4:],
                         ["CMD ERREUR,Restauration incomplète : 3 archive(s) sur 4 n'ont pas pu être restaurées.",
                          'CMD EXéCUTE("FermeFen")', "CMD FERME", "TERM"])
        self.assertEqual(run.tool_log, [self.wdmodfic(windows_path(self.bases) + "\\GOOD.zip")])
        self.assertEqual((self.bases / "GOOD.zip" / "CLIENTS.FIC").read_bytes(), b"good clients\r\n" * 100)
        self.assertEqual(list((self.bases / "BROKEN.z").iterdir()), [])
        self.assertEqual(list((self.bases / "BOMB.zip").iterdir()), [])

    def test_an_existing_folder_is_not_restored_while_volmera_runs(self):
        for name in ("OLD.zip", "NEW.zip"):
            with zipfile.ZipFile(self.zips / name, "w") as z:
                z.writestr("CLIENTS.FIC", b"restored")
        put_tree(self.bases / "OLD.zip", {"CLIENTS.FIC": b"in use"})
        self.install.start_background(self.install.root / "VOLMERA.EXE", "/STAY")
        run = self.restore(windows_path(self.zips), windows_path(self.bases))
        self.assertEqual(run.returncode, 1)
        self.assertIn("CMD ERREUR,Impossible de restaurer la base de données %s\\OLD.zip si Volmera est ouvert"
                      % windows_path(self.bases), run.transcript)
        self.assertEqual(tree(self.bases / "OLD.zip"), {"CLIENTS.FIC": b"in use"})
        self.assertEqual(tree(self.bases / "NEW.zip"), {"CLIENTS.FIC": b"restored"})  # a new folder: no one uses it

    def test_a_failing_converter_fails_the_run(self):
        with zipfile.ZipFile(self.zips / "GOOD.zip", "w") as z:
            z.writestr("CLIENTS.FIC", b"good")
        run = self.install.run([], args=["KVXRESTAURE", windows_path(self.zips), windows_path(self.bases)],
                               env={"KVXTOOL_FAIL": "WDMODFIC.EXE"})
        self.assertEqual(run.returncode, 1)
        folder = windows_path(self.bases) + "\\GOOD.zip"
        self.assertEqual(without_multitache(run.transcript)[-5:-3], [
            "CMD ERREUR,La mise à jour des fichiers de %s par WDMODFIC.EXE a échoué." % folder,
            "CMD ERREUR,Restauration incomplète : 1 archive(s) sur 1 n'ont pas pu être restaurées."])

    def test_a_missing_or_empty_archive_folder_is_a_failure(self):
        for folder in (self.zips, self.install.work / "ABSENT"):
            run = self.restore(windows_path(folder), windows_path(self.bases))
            self.assertEqual(run.returncode, 1)
            self.assertEqual(run.transcript, START + [
                "CMD ERREUR,Aucune archive .zip dans %s : aucun dossier n'a été créé." % windows_path(folder)] + END[1:])
            self.assertEqual(run.tool_log, [])

    def test_a_second_archive_meeting_a_folder_is_refused_and_named(self):
        for name, text in (("SAUVE123A.zip", b"first"), ("sauve123B.zip", b"second")):
            with zipfile.ZipFile(self.zips / name, "w") as z:
                z.writestr("CLIENTS.FIC", text)
        run = self.restore(windows_path(self.zips), windows_path(self.bases))
        self.assertEqual(run.returncode, 1)
        refused = [l for l in run.transcript if "n'a pas été restaurée" in l]
        self.assertEqual(len(refused), 1, run.transcript)
        second = re.match(r"CMD ERREUR,L'archive (\S+) n'a pas été restaurée : le dossier (\S+) reçoit déjà "
                          r"l'archive (\S+)\.$", refused[0])
        self.assertTrue(second, refused[0])
        self.assertEqual({second.group(1), second.group(3)}, {"SAUVE123A.zip", "sauve123B.zip"})
        self.assertEqual(second.group(2), windows_path(self.bases) + "\\" + second.group(1)[:8])
        first = (self.bases / second.group(3)[:8]) if (self.bases / second.group(3)[:8]).exists() else None
        self.assertIsNotNone(first)
        self.assertEqual((first / "CLIENTS.FIC").read_bytes(),
                         b"first" if second.group(3) == "SAUVE123A.zip" else b"second")

    def test_a_failed_extraction_removes_nothing_live(self):
        live = self.bases / "HALF.zip"
        live.mkdir(parents=True)
        (live / "CLIENTS.FIC").write_bytes(b"live clients")
        with zipfile.ZipFile(self.zips / "GOOD.zip", "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("CLIENTS.FIC", b"restored clients\r\n" * 1000)
        whole = (self.zips / "GOOD.zip").read_bytes()
        (self.zips / "GOOD.zip").unlink()
        (self.zips / "HALF.zip").write_bytes(whole[: len(whole) // 2])
        run = self.restore(windows_path(self.zips), windows_path(self.bases))
        self.assertEqual(run.returncode, 1)
        self.assertEqual(sorted(p.name for p in live.iterdir()), ["CLIENTS.FIC"])
        self.assertEqual((live / "CLIENTS.FIC").read_bytes(), b"live clients")
        self.assertEqual(run.tool_log, [])


    def test_a_wrong_argument_count_shows_the_usage_then_the_menu(self):
        for args in ([windows_path(self.zips)], [windows_path(self.zips), windows_path(self.bases), "X"]):
            run = self.install.run(["SAISIE ESC"], args=["KVXRESTAURE", *args])
            self.assertEqual(run.returncode, 0)
            self.assertEqual(run.transcript, START + [USAGE] + MENU_OPEN[2:] + [INPUT] + MENU_CLOSE)
            self.assertEqual(run.tool_log, [])
        self.assertFalse(self.bases.exists())

    def test_names_windows_cannot_hold_refuse_the_archive_whole(self):
        live = self.bases / "NAMES.zi"
        live.mkdir(parents=True)
        (live / "CLIENTS.FIC").write_bytes(b"live clients")
        with zipfile.ZipFile(self.zips / "NAMES.zip", "w") as z:
            for name in ("CLIENTS.FIC", "NUL", "SUB/AUX.FIC", "NOTE.", "clients.fic", "GOOD.FIC", "ŒUVRE.FIC",
                         "œuvre.fic"):
                z.writestr(name, b"restored " + name.encode())
        run = self.restore(windows_path(self.zips), windows_path(self.bases))
        self.assertEqual(run.returncode, 1)
        self.assertIn("CMD ERREUR,L'archive %s contient des noms que Windows ne peut pas garder : NUL (nom réservé), "
                      "SUB/AUX.FIC (nom réservé), NOTE. (point ou espace final), clients.fic (même nom que "
                      "CLIENTS.FIC), œuvre.fic (même nom que ŒUVRE.FIC)." % windows_path(self.zips / "NAMES.zip"),
                      run.transcript)
        self.assertEqual(tree(live), {"CLIENTS.FIC": b"live clients"})
        self.assertEqual(run.tool_log, [])
        self.assertFalse((self.install.outils / "KVXRESTO.JNL").exists())

    def test_the_backup_of_a_folder_itself_is_refused_in_the_folder_made_for_it(self):
        """A compressed folder made by the shell on CLIENT01 holds every member under
        CLIENT01/: restored, it would land in BASES\\CLIENT01\\CLIENT01."""
        with zipfile.ZipFile(self.zips / "CLIENT01.zip", "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("CLIENT01/", b"")
            z.writestr("CLIENT01/PARAM.DTA", b"parameters")
            z.writestr("CLIENT01/CLIENTS.FIC", b"clients")
        run = self.restore(windows_path(self.zips), windows_path(self.bases))
        self.assertEqual(run.returncode, 1)
        self.assertIn("CMD ERREUR,L'archive %s ne contient rien de ce qu'une sauvegarde de %s\\ met à sa racine : "
                      "tout y est sous le dossier CLIENT01\\, c'est la sauvegarde d'un dossier et non de son contenu."
                      % (windows_path(self.zips / "CLIENT01.zip"), windows_path(self.bases / "CLIENT01")),
                      run.transcript)
        self.assertEqual(tree(self.bases), {"CLIENT01": None})
        self.assertEqual(run.tool_log, [])

    def test_every_failure_is_told_by_the_toolbox_whatever_the_library_says(self):
        """An archive without members gets no message from the library; one with a name
        leading out of the data folder is refused by the toolbox before the library sees it."""
        (self.zips / "EMPTY.zip").write_bytes(b"PK\x05\x06" + bytes(18))
        with zipfile.ZipFile(self.zips / "UPWARD.zip", "w") as z:
            z.writestr("CLIENTS.FIC", b"restored clients")
            z.writestr("../PARAM.DTA", b"escaped")
        run = self.restore(windows_path(self.zips), windows_path(self.bases))
        self.assertEqual(run.returncode, 1)
        errors = sorted(l for l in without_multitache(run.transcript) if l.startswith("CMD ERREUR,L'archive"))
        self.assertEqual(errors, [
            "CMD ERREUR,L'archive %s n'a pas pu être extraite entièrement." % windows_path(self.zips / "EMPTY.zip"),
            "CMD ERREUR,L'archive %s contient des noms que Windows ne peut pas garder : ../PARAM.DTA (remonte hors "
            "du dossier)." % windows_path(self.zips / "UPWARD.zip")])
        self.assertEqual(tree(self.bases), {"EMPTY.zi": None, "UPWARD.z": None})
        self.assertEqual(run.tool_log, [])


def tree(root):
    """Every entry under the folder with its bytes (None for a folder)."""
    return {str(p.relative_to(root)): (None if p.is_dir() else p.read_bytes()) for p in root.rglob("*")}


def put_tree(root, entries):
    subprocess.run(["rm", "-rf", str(root)], check=True)
    root.mkdir(parents=True)
    for name, data in sorted(entries.items()):
        if data is None:
            (root / name).mkdir(parents=True, exist_ok=True)
        else:
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_bytes(data)


SAFETY_COPY = re.compile(r"^\d{8}\.ZIP$")


class StoppedRestore(ScenarioCase):
    """KVXRESTAURE ended abruptly after each step of its restore in turn; the next start of
    the toolbox (its menu) puts the data back, or ends the clean-up once the switch was made."""

    def test_every_step(self):
        zips, bases = self.install.work / "ZIPS", self.install.work / "BASES"
        zips.mkdir()
        with zipfile.ZipFile(zips / "GOOD.zip", "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("CLIENTS.FIC", b"restored clients\r\n" * 500)
            z.writestr("NEW.FIC", b"new")
            z.writestr("SUB/NOTE.TXT", b"restored note")
        data = bases / "GOOD.zip"
        before = {"CLIENTS.FIC": b"live clients", "OTHER.FIC": b"other", "SUB": None,
                  "SUB/NOTE.TXT": b"live note", "SUB/KEEP.TXT": b"kept"}
        put_tree(data, before)
        args = ["KVXRESTAURE", windows_path(zips), windows_path(bases)]
        journal = self.install.outils / "KVXRESTO.JNL"

        self.assertEqual(self.install.run([], args=args).returncode, 0)
        restored = {n: b for n, b in tree(data).items() if not SAFETY_COPY.match(n)}
        self.assertEqual(restored["CLIENTS.FIC"], b"restored clients\r\n" * 500)
        self.assertEqual(restored["SUB/KEEP.TXT"], b"kept")

        stop = 1
        while True:
            put_tree(data, before)
            run = self.install.run([], args=args, env={"KVXRESTORE_STOP_AFTER": str(stop)})
            if run.returncode != 86:
                self.assertEqual(run.returncode, 0)
                break
            with self.subTest(stop=stop):
                switched = journal.exists() and b"SWITCHED" in journal.read_bytes()
                found = journal.exists()
                start = self.install.run(["SAISIE ESC"])
                told = [l for l in start.transcript if "restauration de" in l]
                self.assertEqual(len(told), 1 if found else 0, start.transcript)
                if found:
                    self.assertTrue(told[0].startswith("CMD INFO,Une restauration de %s\\ a été interrompue"
                                                       % windows_path(data)), told[0])
                    self.assertLess(start.transcript.index(told[0]), start.transcript.index("CMD PROJET,KVXOUTIL.WDP"))
                self.assertFalse(journal.exists())
                now = tree(data)
                if switched or not found:
                    self.assertEqual(len([n for n in now if SAFETY_COPY.match(n)]), 1)
                    self.assertEqual({n: b for n, b in now.items() if not SAFETY_COPY.match(n)}, restored)
                else:
                    self.assertEqual(now, before)
            stop += 1
        print("restore steps stopped after: %d" % (stop - 1))
        self.assertGreaterEqual(stop - 1, 12)


class JournalsOfTheField(ScenarioCase):
    """Journals no restore of this installation wrote, and a restore stopped half way when it
    was started from another folder, met by the next start of the menu."""

    def journal(self, data, work, *more):
        return ("KVXRESTORE 1\r\nDATA\t%s\\\r\nWORK\t%s\\\r\nCOPYWORK\t\r\nCOPY\t\r\nPARAM\t\t\r\n%s"
                % (windows_path(data), windows_path(work), "".join(line + "\r\n" for line in more))).encode("cp1252")

    def test_a_journal_that_is_not_valid_is_set_aside_and_nothing_is_touched(self):
        data = self.install.work / "BASES" / "CLIENT01"
        outside = self.install.work / "MESDOCS" / "KVXR0001.$$$"
        put_tree(data, {"CLIENTS.FIC": b"live"})
        put_tree(outside, {"LETTRE.DOC": b"the person's own"})
        journal = self.install.outils / "KVXRESTO.JNL"
        cases = {
            "work folder outside the data": self.journal(data, outside),
            "DONE without a number": self.journal(data, data / "KVXR0001.$$$", "RENAME\tA\tB", "SWITCH", "DONE\t"),
            "DONE -1": self.journal(data, data / "KVXR0001.$$$", "RENAME\tA\tB", "SWITCH", "DONE\t-1"),
        }
        for what, text in cases.items():
            with self.subTest(what):
                for old in self.install.outils.glob("KVXRESTO.JNL*"):
                    old.unlink()
                journal.write_bytes(text)
                start = self.install.run(["SAISIE ESC"])
                self.assertEqual(start.returncode, 0)
                told = [l for l in start.transcript if "KVXRESTO.JNL" in l]
                self.assertEqual(len(told), 1, start.transcript)
                self.assertIn("n'est pas valable", told[0])
                self.assertIn("il a été mis de côté sous", told[0])
                self.assertIn("CMD PROJET,KVXOUTIL.WDP", start.transcript)  # the toolbox went on
                self.assertFalse(journal.exists())
                self.assertEqual((self.install.outils / "KVXRESTO.JNL.1.bad").read_bytes(), text)
                self.assertEqual(tree(outside), {"LETTRE.DOC": b"the person's own"})
                self.assertEqual(tree(data), {"CLIENTS.FIC": b"live"})

    def test_a_restore_started_elsewhere_and_stopped_is_found_by_the_next_start(self):
        zips, bases = self.install.work / "ZIPS", self.install.work / "BASES"
        zips.mkdir()
        with zipfile.ZipFile(zips / "GOOD.zip", "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("CLIENTS.FIC", b"restored")
        before = {"CLIENTS.FIC": b"live", "OTHER.FIC": b"other"}
        put_tree(bases / "GOOD.zip", before)
        elsewhere = self.install.work / "AILLEURS"
        elsewhere.mkdir()
        stopped = self.install.run([], args=["KVXRESTAURE", windows_path(zips), windows_path(bases)], cwd=elsewhere,
                                   env={"KVXRESTORE_STOP_AFTER": "3"})
        self.assertEqual(stopped.returncode, 86)
        self.assertEqual(list(elsewhere.iterdir()), [])
        self.assertTrue((self.install.outils / "KVXRESTO.JNL").exists())
        start = self.install.run(["SAISIE ESC"])
        told = [l for l in start.transcript if "a été interrompue" in l]
        self.assertEqual(len(told), 1, start.transcript)
        self.assertFalse((self.install.outils / "KVXRESTO.JNL").exists())
        self.assertEqual(tree(bases / "GOOD.zip"), before)


class TwoToolboxes(ScenarioCase):
    """A second toolbox started while KVXRESTAURE works touches nothing: it says so and
    ends, and the restore it met ends complete."""

    def test_a_menu_started_during_a_restore_leaves_it_alone(self):
        zips, bases = self.install.work / "ZIPS", self.install.work / "BASES"
        zips.mkdir()
        rng = random.Random(42)
        files = {"F%03d.FIC" % i: rng.randbytes(2 << 20) for i in range(100)}  # 200 MB, stored
        with zipfile.ZipFile(zips / "BIG.zip", "w", zipfile.ZIP_STORED) as z:
            for name, data in files.items():
                z.writestr(name, data)
        journal = self.install.outils / "KVXRESTO.JNL"
        restore = self.install.start([], args=["KVXRESTAURE", windows_path(zips), windows_path(bases)], tag="1")
        deadline = time.time() + 60
        while not journal.exists() and time.time() < deadline and restore.proc.poll() is None:
            time.sleep(0.02)
        self.assertTrue(journal.exists(), "the restore never wrote its journal")
        menu = self.install.start(["SAISIE ESC"], tag="2").wait()
        self.assertEqual(menu.returncode, 1)
        busy = [l for l in menu.transcript if "travaille déjà" in l]
        self.assertEqual(len(busy), 1, menu.transcript)
        self.assertTrue(busy[0].startswith("CMD ERREUR,La boîte à outils travaille déjà sur les données de "),
                        busy[0])
        self.assertNotIn("CMD PROJET,KVXOUTIL.WDP", menu.transcript)
        self.assertTrue(all("restauration de" not in l for l in menu.transcript), menu.transcript)
        ended = restore.wait(600)
        self.assertEqual(ended.returncode, 0, ended.transcript)
        self.assertIn("CMD INFO, Dossiers créés avec succès.", ended.transcript)
        now = {n: b for n, b in tree(bases / "BIG.zip").items() if not SAFETY_COPY.match(n)}
        self.assertEqual(now, files)
        self.assertFalse(journal.exists())


if __name__ == "__main__":
    unittest.main()
