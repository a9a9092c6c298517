"""scripts/wine-env on both kinds of host, each forced with KVX_I386: where i386 programs
cannot start, or wine32:i386 could not be installed, wine is the 64-bit loader called
directly and a 64-bit-only prefix is complete; where they can, Debian's wine launcher is
kept and a prefix needs both sides. scripts/setup, when the 32-bit side cannot be had,
goes on and tells why; the probe answers no where an emulator would run i386 programs."""

import os
import pathlib
import shutil
import subprocess
import tempfile
import unittest

SOURCE = pathlib.Path(os.environ.get("KVX_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
SCRIPTS = SOURCE / "scripts"
SHIMS = SCRIPTS / "wine64"


def host_environment(**forced):
    """The environment of a new run: nothing decided yet, PATH without our wine shims."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("KVX_I386", "KVX_I386_REASON", "WINELOADER", "KVX_WINE32_PACKAGE", "KVX_WINE32_RECORD")}
    env["PATH"] = ":".join(p for p in env["PATH"].split(":") if pathlib.Path(p) != SHIMS)
    env.update(forced)
    return env


def decision(**forced):
    """What a script sees after sourcing wine-env: answer, reason, wine, loader; or the
    error of a refused value."""
    show = 'source "$1" && printf "%s\\n" "$KVX_I386" "$KVX_I386_REASON" "$(command -v wine)" "${WINELOADER:-}"'
    run = subprocess.run(["bash", "-c", show, "show", str(SCRIPTS / "wine-env")], env=host_environment(**forced),
                         capture_output=True, text=True)
    return run.stdout.split("\n")[:4] if run.returncode == 0 else run.stderr.strip()


class Decision(unittest.TestCase):
    def test_forced_answers_and_a_refused_value(self):
        self.assertEqual(decision(KVX_I386="0"),
                         ["0", "forced by KVX_I386=0", str(SHIMS / "wine"), "/usr/lib/wine/wine64"])
        answer, reason, wine, loader = decision(KVX_I386="1")
        self.assertEqual((answer, reason, loader), ("1", "", ""))
        self.assertNotEqual(pathlib.Path(wine).parent, SHIMS)
        self.assertEqual(decision(KVX_I386="yes"), "wine-env: KVX_I386 must be 0 or 1, not 'yes'")

    def test_the_probe_answers_for_this_host(self):
        probe = subprocess.run([str(SCRIPTS / "i386-probe")], capture_output=True, text=True)
        wine32 = subprocess.run(["dpkg-query", "-W", "-f=${Status}", "wine32:i386"], capture_output=True, text=True)
        answer, reason, wine, _ = decision()
        if probe.returncode != 0:
            # The system's words, e.g. "Exec format error", not a made-up text.
            self.assertRegex(probe.stdout.strip(), r"\w")
            self.assertEqual((answer, reason), ("0", f"this machine cannot start i386 programs ({probe.stdout.strip()})"))
            self.assertEqual(wine, str(SHIMS / "wine"))
        elif "install ok installed" not in wine32.stdout:
            self.assertEqual(answer, "0")
            self.assertRegex(reason, r"^wine32:i386 (could not be installed \(.+\)|is not installed)")
            self.assertEqual(wine, str(SHIMS / "wine"))
        else:
            self.assertEqual((answer, reason), ("1", ""))

    def test_an_emulator_registered_for_i386_makes_the_probe_answer_no(self):
        with tempfile.TemporaryDirectory() as binfmt:
            entries = {"status": "enabled\n",
                       "qemu-arm": "enabled\ninterpreter /usr/bin/qemu-arm\nmagic 7f454c4601010100000000000000000002002800\n",
                       "qemu-i386": "disabled\ninterpreter /usr/bin/qemu-i386\nmagic 7f454c4601010100000000000000000002000300\n"}
            for name, text in entries.items():
                pathlib.Path(binfmt, name).write_text(text)
            probe = lambda: subprocess.run([str(SCRIPTS / "i386-probe")], env=dict(os.environ, KVX_BINFMT_DIR=binfmt),
                                           capture_output=True, text=True)
            unregistered = subprocess.run([str(SCRIPTS / "i386-probe")], env=dict(os.environ, KVX_BINFMT_DIR=binfmt + "/none"),
                                          capture_output=True, text=True)
            self.assertEqual((probe().returncode, probe().stdout), (unregistered.returncode, unregistered.stdout))
            pathlib.Path(binfmt, "qemu-i386").write_text(entries["qemu-i386"].replace("disabled", "enabled"))
            self.assertEqual((probe().returncode, probe().stdout.strip()),
                             (1, "i386 programs would run through /usr/bin/qemu-i386 (binfmt_misc qemu-i386)"))


@unittest.skipUnless(os.geteuid() == 0, "installs packages: needs root, as scripts/setup does in CI")
class SetupWithoutWine32(unittest.TestCase):
    """A 32-bit side that apt cannot install: set-up still ends well, and says why."""

    def test_a_failing_wine32_install_leaves_the_run_going_without_it(self):
        with tempfile.TemporaryDirectory() as work:
            record = pathlib.Path(work, "wine32-unavailable.txt")
            forced = dict(KVX_I386="1", KVX_WINE32_PACKAGE="kvx-no-such-wine32:i386", KVX_WINE32_RECORD=str(record))
            setup = subprocess.run([str(SCRIPTS / "setup")], env=host_environment(**forced), capture_output=True,
                                   text=True, timeout=600)
            self.assertEqual(setup.returncode, 0, setup.stderr)
            apt_error = "E: Unable to locate package kvx-no-such-wine32:i386"
            self.assertEqual(setup.stderr.count(apt_error), 2, "tried again after a fresh apt-get update")
            self.assertIn(f"setup: wine32:i386 could not be installed ({apt_error}): the 32-bit build is checked"
                          " without running it", setup.stdout)
            self.assertEqual(record.read_text(), apt_error + "\n")
            del forced["KVX_I386"]
            answer, reason, wine, _ = decision(**forced)
            probe = subprocess.run([str(SCRIPTS / "i386-probe")], capture_output=True, text=True)
            if probe.returncode == 0:
                self.assertEqual((answer, reason), ("0", f"wine32:i386 could not be installed ({apt_error})"))
                self.assertEqual(wine, str(SHIMS / "wine"))


class Prefix(unittest.TestCase):
    def setUp(self):
        self.work = pathlib.Path(tempfile.mkdtemp(prefix="kvxprefix"))
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)

    def check(self, prefix, answer):
        return subprocess.run([str(SCRIPTS / "wine-prefix"), "check", str(prefix)], env=host_environment(KVX_I386=answer),
                              capture_output=True, text=True)

    def test_a_prefix_without_the_32_bit_side_is_complete_only_where_i386_cannot_start(self):
        prefix = self.work / "prefix64"
        (prefix / "drive_c" / "windows" / "system32").mkdir(parents=True)
        (prefix / "system.reg").write_text("")
        (prefix / "drive_c" / "windows" / "system32" / "kernel32.dll").write_bytes(b"MZ")
        self.assertEqual(self.check(prefix, "0").returncode, 0)
        refused = self.check(prefix, "1")
        self.assertEqual(refused.returncode, 1)
        self.assertIn("lacks one of the system folders system32 syswow64", refused.stderr)

    def test_forced_64_bit_only_prefix_is_made_and_runs_a_program(self):
        prefix = self.work / "made"
        env = host_environment(KVX_I386="0", WINEPREFIX=str(prefix))
        made = subprocess.run([str(SCRIPTS / "wine-prefix"), "make"], env=env, capture_output=True, text=True,
                              timeout=300)
        try:
            self.assertEqual(made.returncode, 0, made.stderr)
            self.assertRegex(made.stdout, r"wine-prefix: system32: Microsoft Windows \d")
            self.assertIn("wine-prefix: 64-bit only: forced by KVX_I386=0",
                          made.stdout)
            with tempfile.TemporaryFile() as out:  # no pipe: wine's services would hold it open
                subprocess.run([str(SCRIPTS / "wine-run"), "cmd", "/c", "echo", "ran"], env=env, stdout=out,
                               timeout=120)
                out.seek(0)
                self.assertEqual(out.read().decode().strip(), "ran")
        finally:
            subprocess.run(["wineserver", "-k"], env=env)


if __name__ == "__main__":
    unittest.main()
