"""Runs kvxoutil.exe as a whole process under wine, in a demo installation, with the
host runtime stand-in in script mode, and reads what it leaves: the host transcript,
the tool log and the files."""

import os
import pathlib
import shutil
import subprocess
import tempfile
import unittest

SOURCE = pathlib.Path(os.environ.get("KVX_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
BUILD = pathlib.Path(os.environ.get("KVX_BUILD_DIR", SOURCE / "build" / "win64"))
BIN = BUILD / "bin"
WINE_RUN = SOURCE / "scripts" / "wine-run"
MAKE_DEMO = SOURCE / "scripts" / "make-demo-install"


def windows_path(path):
    """The Windows name of a Linux path under wine's Z: drive."""
    return "Z:" + str(path).replace("/", "\\")


def cp1252(text):
    return text.encode("cp1252")


class Run:
    """What one run of the toolbox left behind."""

    def __init__(self, returncode, transcript, tool_log):
        self.returncode = returncode
        self.transcript = transcript  # list of str, decoded from Windows-1252
        self.tool_log = tool_log      # list of (program, arguments, folder)


class Installation:
    """A fresh demo installation in a temporary folder."""

    def __init__(self, *flags):
        self.tmp = tempfile.TemporaryDirectory(prefix="kvx-scenario-")
        self.root = pathlib.Path(self.tmp.name) / "APP"
        env = dict(os.environ, KVX_WIN64_BIN=str(BIN))
        subprocess.run([str(MAKE_DEMO), str(self.root), *flags], check=True, env=env,
                       stdout=subprocess.DEVNULL)
        self.outils = self.root / "OUTILS"
        self.data = self.root / "FIC01"
        self.work = pathlib.Path(self.tmp.name)

    def close(self):
        self.tmp.cleanup()

    def run(self, answers, args=(), cwd=None, env=None, timeout=120):
        """Runs KVXOUTIL.EXE with the given script answers ("SAISIE B01", "OUINON 1")."""
        script = self.work / "script.txt"
        transcript = self.work / "transcript.log"
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
        exe = self.outils / "KVXOUTIL.EXE"
        proc = subprocess.run([str(WINE_RUN), windows_path(exe), *args], cwd=str(cwd or self.outils),
                              env=run_env, timeout=timeout, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        lines = transcript.read_bytes().decode("cp1252").split("\n") if transcript.exists() else []
        tools = []
        if tool_log.exists():
            for line in tool_log.read_bytes().decode("cp1252").splitlines():
                tools.append(tuple(line.split("\t")))
        return Run(proc.returncode, [l for l in lines if l], tools)


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
