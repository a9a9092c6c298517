"""Runs kvxoutil.exe as a whole process under wine, in a demo installation, with the
host runtime stand-in in script mode, and reads what it leaves: the host transcript,
the tool log and the files."""

import os
import pathlib
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

from pe_image import I386, PeImage

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
from kvxtest import windows_path  # noqa: E402,F401  (the scenario tests take it from here)

SOURCE = pathlib.Path(os.environ.get("KVX_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
BUILD = pathlib.Path(os.environ.get("KVX_BUILD_DIR", SOURCE / "build" / "win64"))
BIN = BUILD / "bin"
WINE_RUN = SOURCE / "scripts" / "wine-run"
MAKE_DEMO = SOURCE / "scripts" / "make-demo-install"
PREFIX = pathlib.Path(os.environ.get("WINEPREFIX", str(SOURCE / "build" / "wineprefix")))


def system_folder():
    """The prefix's folder that the build's programs reach as C:\\windows\\system32: a
    32-bit program on a 64-bit system is redirected to SysWOW64."""
    bits32 = PeImage(BIN / "KVXOUTIL.EXE").machine == I386
    return PREFIX / "drive_c" / "windows" / ("syswow64" if bits32 else "system32")


def cp1252(text):
    return text.encode("cp1252")


def short_temp_folder():
    """A new folder /tmp/KVXnnnnn: a valid 8.3 name, so that its short path is itself."""
    while True:
        path = pathlib.Path("/tmp") / ("KVX%05d" % random.randrange(100000))
        try:
            path.mkdir()
            return path
        except FileExistsError:
            continue


def archive_members(path):
    """Every file member of an archive with its bytes, after Info-ZIP and 7-Zip have
    tested it and listed the same members as Python's zipfile."""
    subprocess.run(["unzip", "-tq", str(path)], check=True, stdout=subprocess.DEVNULL)
    listing = subprocess.run(["7z", "l", "-ba", "-slt", str(path)], check=True, capture_output=True, text=True).stdout
    seven = {l[7:].replace("\\", "/") for l in listing.splitlines() if l.startswith("Path = ")}
    with zipfile.ZipFile(path) as archive:
        self_test = archive.testzip()
        assert self_test is None, self_test
        names = [n.rstrip("/") for n in archive.namelist()]
        assert set(names) == seven, (names, seven)
        return {n: archive.read(n) for n in archive.namelist() if not n.endswith("/")}


def without_multitache(lines):
    """The transcript without the keep-alive commands, whose number depends on timing."""
    return [l for l in lines if not l.startswith("CMD MULTITACHE")]


SAFETY_NOTICE = "DIALOG INFO Les données d'avant la restauration sont dans la copie de sécurité "


def without_safety_notice(lines):
    """The wizard's report without the one line by which a restore that went through tells
    where its safety copy (a YYMMDDNN.ZIP of the data folder) lies."""
    notices = [l for l in lines if l.startswith(SAFETY_NOTICE)]
    assert len(notices) == 1 and re.search(r"\\\d{8}\.ZIP\.$", notices[0]), lines
    return [l for l in lines if l not in notices]


def wine_output(*command):
    """Output of a wine program, read through a file rather than a pipe."""
    with tempfile.TemporaryFile() as out:
        subprocess.run([str(WINE_RUN), *command], stdout=out, stderr=subprocess.DEVNULL, timeout=120)
        out.seek(0)
        return out.read().decode("cp1252", "replace")


class Run:
    """What one run of the toolbox left behind."""

    def __init__(self, returncode, transcript, tool_log):
        self.returncode = returncode
        self.transcript = transcript  # list of str, decoded from Windows-1252
        self.tool_log = tool_log      # list of (program, arguments, folder)


class Started:
    """A program started by Installation.start."""

    def __init__(self, proc, transcript, tool_log):
        self.proc, self.transcript, self.tool_log = proc, transcript, tool_log

    def wait(self, timeout=120):
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise
        lines = self.transcript.read_bytes().decode("cp1252").split("\n") if self.transcript.exists() else []
        return Run(self.proc.returncode, [l for l in lines if l], self.tool_log())


class Installation:
    """A fresh demo installation in a temporary folder."""

    def __init__(self, *flags):
        self.work = short_temp_folder()
        self.root = self.work / "APP"
        self.background = []
        env = dict(os.environ, KVX_BIN=str(BIN))
        subprocess.run([str(MAKE_DEMO), str(self.root), *flags], check=True, env=env,
                       stdout=subprocess.DEVNULL)
        self.outils = self.root / "OUTILS"
        self.data = self.root / "FIC01"

    def close(self):
        for proc in self.background:
            if proc.poll() is None:
                proc.kill()
            proc.wait()
        shutil.rmtree(self.work, ignore_errors=True)

    def start_background(self, program, *args):
        """Starts a program of the installation that stays running (the tool stub with
        /STAY), and waits until it has logged its start."""
        log = self.work / "background.log"
        before = log.read_bytes().count(b"\n") if log.exists() else 0
        env = dict(os.environ, KVXTOOL_LOG=windows_path(log))
        proc = subprocess.Popen([str(WINE_RUN), windows_path(program), *args], cwd=str(program.parent), env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.background.append(proc)
        for _ in range(200):
            if log.exists() and log.read_bytes().count(b"\n") > before:
                return proc
            time.sleep(0.05)
        raise AssertionError("%s did not start" % program)

    def run(self, answers, args=(), cwd=None, env=None, timeout=120, program="KVXOUTIL.EXE"):
        """Runs KVXOUTIL.EXE (or another program of OUTILS) with the given script answers
        ("SAISIE B01", "OUINON 1")."""
        return self.start(answers, args, cwd, env, program).wait(timeout)

    def start(self, answers, args=(), cwd=None, env=None, program="KVXOUTIL.EXE", tag=""):
        """Starts the program as run does, without waiting: wait() on what it returns gives
        the Run. A tag keeps this run's script and transcript apart from another's."""
        script = self.work / ("script%s.txt" % tag)
        transcript = self.work / ("transcript%s.log" % tag)
        tool_log = self.work / "tools.log"
        script.write_bytes(cp1252("\n".join(answers) + "\n"))
        for path in (transcript, tool_log):
            if path.exists():
                path.unlink()
        run_env = dict(os.environ)
        run_env.update({
            "KVXHOST_SCRIPT": windows_path(script),
            "KVXHOST_LOG": windows_path(transcript),
            "KVXTOOL_LOG": windows_path(tool_log),
        })
        run_env.update(env or {})
        exe = self.outils / program
        # No pipes: wine's service processes inherit them and would keep them open.
        proc = subprocess.Popen([str(WINE_RUN), windows_path(exe), *args], cwd=str(cwd or self.outils),
                                env=run_env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return Started(proc, transcript, self.tool_log)

    def tool_log(self):
        """(program, arguments, folder) of every program started during the last run."""
        log = self.work / "tools.log"
        if not log.exists():
            return []
        return [tuple(line.split("\t")) for line in log.read_bytes().decode("cp1252").splitlines()]

    def wait_for_tool_log(self, count, timeout=20):
        """The tool log once it holds count starts: programs started without waiting may
        log after the toolbox has ended."""
        deadline = time.time() + timeout
        while len(self.tool_log()) < count and time.time() < deadline:
            time.sleep(0.1)
        return self.tool_log()


class ScenarioCase(unittest.TestCase):
    """A test case with a fresh installation for every test."""

    install_flags = ()

    def setUp(self):
        self.install = Installation(*self.install_flags)
        self.addCleanup(self.install.close)


# The commands every menu session starts and ends with.
MENU_OPEN = [
    "INIT",
    "CMD BIBLI,disque,KVXOUTIL.wdl/CR",
    "CMD PROJET,KVXOUTIL.WDP",
    'CMD EXéCUTE("OUVREFEN","KVXOUTIL")',
    "CMD OUVRE,KVXOUTIL.WDW",
]
MENU_CLOSE = [
    'CMD EXéCUTE("FermeFen")',
    "CMD FERME",
    "TERM",
]
INPUT = "CMD ECRAN,SAISIE"
