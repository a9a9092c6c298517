"""The maintenance actions of the menu, seen from the host transcript, the tool log
(program, arguments, current folder of every program started) and the files left."""

import shutil
import subprocess
import unittest

from kvxscenario import (INPUT, MENU_CLOSE, MENU_OPEN, PREFIX, ScenarioCase, system_folder, windows_path,
                         without_multitache)

PARAM_MISSING = ("CMD info,Erreur d'ouverture de la base de données : Ne trouve pas le fichier Param.dta. "
                 "Veuillez contacter le service technique.")


class MaintenanceCase(ScenarioCase):
    def menu_run(self, *codes, answers=()):
        """Runs the menu with the given codes followed by ESC."""
        script = ["SAISIE %s" % c for c in codes] + list(answers) + ["SAISIE ESC"]
        return self.install.run(script)

    def wpath(self, *parts):
        return windows_path(self.install.root.joinpath(*parts))


class Reindex(MaintenanceCase):
    def test_copies_the_index_list_and_runs_reindexe_on_the_data_folder(self):
        targets = [PREFIX / "drive_c" / "windows" / "WDINDEX.$$$", system_folder() / "WDINDEX.$$$"]
        for target in targets:
            if target.exists():
                target.chmod(0o644)
            target.write_bytes(b"old")
            target.chmod(0o444)  # read-only for Windows
        run = self.menu_run("B03")
        self.assertEqual(without_multitache(run.transcript), MENU_OPEN + [INPUT, INPUT] + MENU_CLOSE)
        self.assertEqual(run.tool_log, [("REINDEXE.EXE", "REP=" + self.wpath("FIC01"), self.wpath("OUTILS"))])
        for target in targets:
            self.assertEqual(target.read_bytes(), (self.install.data / "WDINDEX.TXT").read_bytes())
            target.unlink()

    def test_missing_parameter_file_reports_and_reindexes_nothing(self):
        (self.install.data / "PARAM.DTA").unlink()
        run = self.menu_run("B03")
        self.assertEqual(without_multitache(run.transcript), MENU_OPEN + [INPUT, PARAM_MISSING, INPUT] + MENU_CLOSE)
        self.assertEqual(run.tool_log, [])

    def test_a_failed_step_stops_the_reindex_with_its_message(self):
        # A folder in the place of the index list: the tool would read an older list.
        blocked = PREFIX / "drive_c" / "windows" / "WDINDEX.$$$"
        cases = [
            (lambda: (blocked.unlink(missing_ok=True), blocked.mkdir(), (blocked / "held").write_bytes(b"")), {},
             "CMD Info,Impossible de copier ..\\FIC01\\WDINDEX.TXT vers C:\\windows\\WDINDEX.$$$.", []),
            (lambda: None, {"KVXTOOL_FAIL": "reindexe.exe"},
             "CMD Info,REINDEXE.EXE s'est terminé en erreur (code de sortie 1).", ["REINDEXE.EXE"]),
        ]
        for prepare, env, message, tools in cases:
            with self.subTest(message=message):
                prepare()
                run = self.install.run(["SAISIE B03", "SAISIE ESC"], env=env)
                shutil.rmtree(blocked, ignore_errors=True)
                self.assertEqual(without_multitache(run.transcript), MENU_OPEN + [INPUT, message, INPUT] + MENU_CLOSE)
                self.assertEqual([entry[0] for entry in run.tool_log], tools)

    def test_from_a_folder_under_sources_finds_the_parameter_file(self):
        tools = self.install.root / "SOURCES" / "TOOLS"
        tools.mkdir()
        (self.install.root / "SOURCES" / "KVXOUTIL.WDL").write_bytes((self.install.root / "KVXOUTIL.WDL").read_bytes())
        run = self.install.run(["SAISIE B03", "SAISIE ESC"], cwd=tools)
        self.assertEqual(run.tool_log[0][1], "REP=" + self.wpath("FIC01"))
        self.assertEqual(run.tool_log[0][2], windows_path(tools))

    def test_asks_while_volmera_runs(self):
        self.install.start_background(self.install.root / "VOLMERA.EXE", "/STAY")
        question = "CMD OUINON,Volmera est ouvert, voulez-vous tout de même réindexer la base de données?"
        run = self.menu_run("B03", answers=["OUINON 0"])
        self.assertEqual(run.transcript, MENU_OPEN + [INPUT, question, INPUT] + MENU_CLOSE)
        self.assertEqual(run.tool_log, [])

    def test_answer_yes_while_volmera_runs_reindexes(self):
        self.install.start_background(self.install.root / "VOLMERA.EXE", "/STAY")
        run = self.install.run(["SAISIE B03", "OUINON 1", "SAISIE ESC"])
        self.assertEqual(len(run.tool_log), 1)
        self.assertEqual(run.tool_log[0][0], "REINDEXE.EXE")


class DataStructure(MaintenanceCase):
    def test_summary_then_wdmodfic_from_hsf_then_transfmo_from_the_start_folder(self):
        run = self.menu_run("B07")
        root = self.wpath()
        summary = ("CMD Info,Logiciel : %s\\SOURCES<0A><0D>Structure de données : %s\\HSF<0A><0D>"
                   "Base de données : %s" % (root, root, self.wpath("FIC01")))
        self.assertEqual(without_multitache(run.transcript), MENU_OPEN + [INPUT, summary, INPUT] + MENU_CLOSE)
        self.assertEqual(run.tool_log, [
            ("WDMODFIC.EXE", '-nobackup /WDD="GELDOR.WDD" /DIR="%s"' % self.wpath("FIC01"), self.wpath("HSF")),
            ("TRANSFMO.EXE", "MAJ", self.wpath("OUTILS")),
        ])
        self.assertEqual(sorted(p.name for p in (self.install.root / "HSF").iterdir()), ["GELDOR.WDD"])

    def test_each_failure_stops_the_update_with_its_message(self):
        root = self.wpath()
        summary = ("CMD Info,Logiciel : %s\\SOURCES<0A><0D>Structure de données : %s\\HSF<0A><0D>"
                   "Base de données : %s" % (root, root, self.wpath("FIC01")))
        param, hsf = self.install.data / "PARAM.DTA", self.install.root / "HSF"
        aside = {param: param.with_name("PARAM.OLD"), hsf: hsf.with_name("HSF.OLD")}
        cases = [
            # No data folder: the tool would update whatever folder it takes by default.
            (lambda: param.rename(aside[param]), {}, [PARAM_MISSING], []),
            (lambda: hsf.rename(aside[hsf]), {},
             [summary, "CMD Info,Impossible d'ouvrir le dossier %s\\HSF." % root], []),
            # A structure WDMODFIC did not reach is not transferred.
            (lambda: None, {"KVXTOOL_FAIL": "WDMODFIC.EXE"},
             [summary, "CMD Info,WDMODFIC.EXE s'est terminé en erreur (code de sortie 1)."], ["WDMODFIC.EXE"]),
            (lambda: None, {"KVXTOOL_FAIL": "TRANSFMO.EXE"},
             [summary, "CMD Info,TRANSFMO.EXE s'est terminé en erreur (code de sortie 1)."],
             ["WDMODFIC.EXE", "TRANSFMO.EXE"]),
        ]
        for prepare, env, messages, tools in cases:
            with self.subTest(messages=messages[-1]):
                prepare()
                run = self.install.run(["SAISIE B07", "SAISIE ESC"], env=env)
                for path, moved in aside.items():
                    if moved.exists():
                        moved.rename(path)
                self.assertEqual(without_multitache(run.transcript), MENU_OPEN + [INPUT] + messages + [INPUT] + MENU_CLOSE)
                self.assertEqual([entry[0] for entry in run.tool_log], tools)

    def test_refused_while_volmera_runs(self):
        self.install.start_background(self.install.root / "VOLMERA.EXE", "/STAY")
        run = self.menu_run("B07")
        self.assertEqual(without_multitache(run.transcript), MENU_OPEN + [
            INPUT, "CMD Info,Impossible de mettre à jour la base de données si Volmera est ouvert", INPUT] + MENU_CLOSE)
        self.assertEqual(run.tool_log, [])
        self.assertTrue((self.install.root / "HSF" / "MO1.BIN").exists())


class Tools(MaintenanceCase):
    def test_platform_tools_and_notepad(self):
        # A tool copy named NOTEPAD.EXE beside the program is found before the system's.
        (self.install.outils / "NOTEPAD.EXE").write_bytes((self.install.outils / "WDMAP.EXE").read_bytes())
        run = self.menu_run("B05", "B06", "B10", "B11")
        outils = self.wpath("OUTILS")
        self.assertEqual(run.tool_log, [
            ("WDMAP.EXE", "", outils),
            ("WD533NDX.EXE", "", outils),
            ("NOTEPAD.EXE", "..\\FIC01\\PARAM.DTA", outils),
            ("NOTEPAD.EXE", "SETUP.DTA", outils),
        ])
        self.assertEqual(without_multitache(run.transcript), MENU_OPEN + [INPUT] * 5 + MENU_CLOSE)

    def test_update_software_starts_the_updater_and_ends_without_closing(self):
        run = self.menu_run("B08")
        self.assertEqual(run.returncode, 0)
        self.assertEqual(run.transcript, MENU_OPEN + [INPUT])
        self.assertEqual(self.install.wait_for_tool_log(1), [("PAVORIN.EXE", "MAJ", self.wpath("OUTILS"))])

    def test_update_software_refused_while_volmera_runs(self):
        self.install.start_background(self.install.root / "VOLMERA.EXE", "/STAY")
        run = self.menu_run("B08")
        self.assertEqual(without_multitache(run.transcript), MENU_OPEN + [
            INPUT, "CMD Info,Impossible de mettre à jour le logiciel si Volmera est ouvert", INPUT] + MENU_CLOSE)
        self.assertEqual(run.tool_log, [])

    def test_teamviewer_is_restarted(self):
        viewer = self.install.root / "TeamViewer" / "TeamViewer.exe"
        first = self.install.start_background(viewer, "/STAY")
        second = self.install.start_background(viewer, "/STAY")
        self.menu_run("TMV")
        # Stand-ins with /STAY never end on their own: their end is the toolbox's doing. The
        # status wine gives their Unix parent is not the Windows exit code they were given
        # (0 for the 32-bit build under wine 8), so only the end is checked here.
        for proc in (first, second):
            try:
                proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.fail("a running TeamViewer.exe was not terminated")
        started = self.install.wait_for_tool_log(1)
        self.assertEqual([entry[:2] for entry in started], [("TeamViewer.exe", "")])


class Licence(MaintenanceCase):
    def licence_commands(self, name):
        path = self.wpath("OUTILS", name)
        return ['CMD EXéCUTE("OUVREFEN","FEN_CLUF_VIEW")', "CMD OUVRE,FEN_CLUF_VIEW.WDW",
                'CMD EXéCUTE("Charge","%s")' % path, INPUT, 'CMD EXéCUTE("FermeFen")', "CMD FERME"]

    def check_viewer_shows(self, name):
        run = self.install.run(["SAISIE CLU", "SAISIE OK", "SAISIE ESC"])
        self.assertEqual(run.transcript, MENU_OPEN + [INPUT] + self.licence_commands(name) + [INPUT] + MENU_CLOSE)

    def test_kvx_edition_shows_the_kvx_licence(self):
        self.check_viewer_shows("CLUF_KVX.RTF")

    def test_a_user_that_differs_in_case_is_the_kvx_edition(self):
        param = self.install.data / "PARAM.DTA"
        param.write_bytes(param.read_bytes().replace(b"USER=KVX", b"USER=veltranokismare"))
        self.check_viewer_shows("CLUF_KVX.RTF")

    def test_without_licence_file_nothing_happens(self):
        (self.install.outils / "CLUF_KVX.RTF").unlink()
        run = self.menu_run("CLU")
        self.assertEqual(run.transcript, MENU_OPEN + [INPUT, INPUT] + MENU_CLOSE)


class TbqLicence(MaintenanceCase):
    install_flags = ("--tbq",)

    def test_tbq_edition_shows_the_tbq_licence(self):
        Licence.check_viewer_shows(self, "CLUF_TBQ.RTF")

    licence_commands = Licence.licence_commands


if __name__ == "__main__":
    unittest.main()
