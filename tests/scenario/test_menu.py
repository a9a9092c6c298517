"""The start-up and the menu loop, seen from the host runtime's transcript."""

import time
import unittest

from kvxscenario import INPUT, MENU_CLOSE, MENU_OPEN, ScenarioCase, windows_path, wine_output


class MenuLoop(ScenarioCase):
    def test_esc_only_session(self):
        run = self.install.run(["SAISIE ESC"])
        self.assertEqual(run.returncode, 0)
        self.assertEqual(run.transcript, MENU_OPEN + [INPUT] + MENU_CLOSE)

    def test_codes_that_run_nothing_ask_again(self):
        run = self.install.run(["SAISIE B04", "SAISIE B09", "SAISIE", "SAISIE esc", "SAISIE ESC"])
        self.assertEqual(run.returncode, 0)
        self.assertEqual(run.transcript, MENU_OPEN + [INPUT] * 5 + MENU_CLOSE)

    def test_exhausted_script_answers_esc(self):
        run = self.install.run([])
        self.assertEqual(run.transcript, MENU_OPEN + [INPUT, "SCRIPT-END"] + MENU_CLOSE)

    def test_answer_of_the_wrong_verb_is_not_used(self):
        run = self.install.run(["OUINON 1"])
        self.assertEqual(run.transcript, MENU_OPEN + [INPUT, "MISMATCH SAISIE OUINON 1"] + MENU_CLOSE)

    def test_missing_menu_library(self):
        (self.install.root / "KVXOUTIL.WDL").unlink()
        run = self.install.run(["SAISIE ESC"])
        self.assertEqual(run.returncode, 0)
        self.assertEqual(run.transcript, [
            "INIT",
            "CMD BIBLI,disque,KVXOUTIL.wdl/CR",
            "CMD Erreur,La bibliothèque KVXOUTIL.WDL doit être présente dans le répertoire père.",
            "HFTERMINE 0",
            "TERM",
        ])

    def test_restore_keyword_in_lower_case_opens_the_menu(self):
        run = self.install.run(["SAISIE ESC"], args=["kvxrestaure", "A", "B"])
        self.assertEqual(run.returncode, 0)
        self.assertEqual(run.transcript, MENU_OPEN + [INPUT] + MENU_CLOSE)


class HighDpiRegistration(ScenarioCase):
    install_flags = ("--dpi",)
    LAYERS = r"HKCU\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Layers"

    def registered_value(self):
        exe = windows_path(self.install.outils / "KVXOUTIL.EXE")
        out = wine_output("reg", "query", self.LAYERS, "/v", exe)
        return "~ HIGHDPIAWARE" if "~ HIGHDPIAWARE" in out else None

    def test_registration_runs_without_dpiok(self):
        self.install.run(["SAISIE ESC"])
        for _ in range(60):  # the toolbox does not wait for the registration
            if self.registered_value():
                break
            time.sleep(0.5)
        self.assertEqual(self.registered_value(), "~ HIGHDPIAWARE")

    def test_dpiok_skips_the_registration(self):
        param = self.install.data / "PARAM.DTA"
        param.write_bytes(param.read_bytes() + b"DPIOK=1,,\r\n")
        self.install.run(["SAISIE ESC"])
        time.sleep(2)
        self.assertIsNone(self.registered_value())


if __name__ == "__main__":
    unittest.main()
