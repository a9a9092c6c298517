"""Real windows for the GUI tests and the demo's photographs: an Xvfb display of its
own, a wine prefix of its own with the CD drive R: and the shell's CD writing service
set up before its wine server starts, and kvxgui.exe, which plays the user."""

import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
from kvxtest import windows_path  # noqa: E402  (the GUI tests take it from here)

SOURCE = pathlib.Path(os.environ.get("KVX_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
BUILD = pathlib.Path(os.environ.get("KVX_BUILD_DIR", SOURCE / "build" / "win64"))
BIN = BUILD / "bin"
WINE_ENV = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=;wnaspi32=n"}
# Files a program may rewrite in place: a prefix copied with hard links gets its own.
WINE_LOADER_VARIABLES = ("KVX_I386", "KVX_I386_REASON", "PATH", "WINELOADER")
SHARED_SUFFIXES = {".dll", ".exe", ".drv", ".sys", ".acm", ".ocx", ".cpl", ".tlb", ".ttf", ".fon", ".nls", ".ax",
                   ".ds", ".mui", ".manifest", ".cat", ".msstyles", ".com", ".vxd", ".386", ".mof"}


def choose_wine_loader():
    """Which wine loader runs the programs on this host (scripts/wine-env decides: the
    64-bit one, called directly, where the host cannot start i386 programs): taken from
    the calling script when it decided, else asked once for this process."""
    if "KVX_I386" in os.environ:
        return
    listing = subprocess.run(["bash", "-c", 'source "$1" && env -0', "wine-env", str(SOURCE / "scripts" / "wine-env")],
                             stdout=subprocess.PIPE, check=True).stdout.decode()
    for item in listing.split("\0"):
        name, _, value = item.partition("=")
        if name in WINE_LOADER_VARIABLES:
            os.environ[name] = value


choose_wine_loader()


class Display:
    """Xvfb on the first free display number from 70 on."""

    def __init__(self, size="1024x768"):
        for number in range(70, 200):
            if os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists("/tmp/.X11-unix/X%d" % number):
                continue
            self.proc = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", size + "x24", "-nolisten", "tcp"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(100):
                if os.path.exists("/tmp/.X11-unix/X%d" % number):
                    self.name = ":%d" % number
                    return
                if self.proc.poll() is not None:
                    break
                time.sleep(0.05)
            self.stop()
        raise RuntimeError("no free X display")

    def shoot(self, path):
        subprocess.run(["import", "-display", self.name, "-window", "root", str(path)], check=True)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
        self.proc.wait()


class Prefix:
    """A wine prefix of its own: a hard-linked copy of a ready one (or a new one), with R:
    as a CD drive in cd_folder and the shell service registered while no server runs
    for it yet; then its own wine server, stopped by close()."""

    def __init__(self, work, cd_folder, display, source=None):
        self.path = pathlib.Path(work) / "prefix"
        self.env = dict(os.environ, WINEPREFIX=str(self.path), DISPLAY=display, **WINE_ENV)
        source = pathlib.Path(source or os.environ.get("WINEPREFIX", SOURCE / "build" / "wineprefix"))
        if (source / "system.reg").exists():
            self.copy_of(source)
        else:
            subprocess.run(["wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for stale in ("drive_c/SauveKVX.zip", "drive_c/windows/SauvegardeKVX.ini"):
            if (self.path / stale).exists():
                (self.path / stale).unlink()
        link = self.path / "dosdevices" / "r:"
        if link.is_symlink() or link.exists():
            link.unlink()
        link.symlink_to(cd_folder)
        self.wine("reg", "add", r"HKLM\Software\Wine\Drives", "/v", "r:", "/d", "cdrom", "/f", "/reg:64")
        self.wine("regsvr32", "/s", windows_path(BIN / "KVXCDBURN.DLL"))
        # The mount manager reads the drives when the server starts: a new one for the run.
        subprocess.run(["wineserver", "-w"], env=self.env)
        self.server = subprocess.Popen(["wineserver", "-f", "-p"], env=self.env)

    def copy_of(self, source):
        subprocess.run(["cp", "-al", str(source), str(self.path)], check=True)
        for top, _, names in os.walk(self.path):
            for name in names:
                path = os.path.join(top, name)
                if os.path.islink(path) or os.path.splitext(name)[1].lower() in SHARED_SUFFIXES:
                    continue
                shutil.copy2(path, path + ".own")
                os.replace(path + ".own", path)

    def wine(self, *args, cwd=None, env=None):
        """Output of a wine program, read through a file: wine's service processes would
        hold a pipe open."""
        with tempfile.TemporaryFile() as out:
            subprocess.run(["wine", *args], cwd=cwd, env=dict(self.env, **(env or {})), stdout=out,
                           stderr=subprocess.DEVNULL, timeout=120)
            out.seek(0)
            return out.read().decode("utf-8", "replace").replace("\r", "")

    def start(self, program, cwd, env=None):
        return subprocess.Popen(["wine", str(program)], cwd=str(cwd), env=dict(self.env, **(env or {})),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        # The prefix's processes first (wine's services, winedevice.exe among them, outlive
        # a server that is only terminated), then the server.
        subprocess.run(["wineserver", "-k"], env=self.env)
        if self.server.poll() is None:
            self.server.terminate()
        self.server.wait()
        shutil.rmtree(self.path, ignore_errors=True)


class DriverError(AssertionError):
    pass


class Driver:
    """kvxgui.exe serving commands: words joined by tabs in, lines out up to "ok"."""

    def __init__(self, env):
        self.proc = subprocess.Popen(["wine", str(BIN / "kvxgui.exe")], env=env, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def __call__(self, *words):
        self.proc.stdin.write(("\t".join(str(w) for w in words) + "\n").encode("utf-8"))
        self.proc.stdin.flush()
        lines = []
        while True:
            line = self.proc.stdout.readline().decode("utf-8").rstrip("\r\n")
            if not line and self.proc.poll() is not None:
                raise DriverError("kvxgui ended during %r" % (words,))
            if line == "ok":
                return lines
            if line.startswith("error "):
                raise DriverError("%s: %s" % (" ".join(str(w) for w in words), line[6:]))
            lines.append(line)

    def controls(self, title):
        """(class, enabled, text, entries) of every visible control of a window."""
        found = []
        for line in self("texts", title):
            fields = line.split("\t")
            found.append((fields[0], fields[1] == "1", fields[2], fields[3:]))
        return found

    def texts(self, title):
        return [text for _, _, text, _ in self.controls(title)]

    def wait_text(self, title, predicate, seconds=60):
        """The window's controls once one of them satisfies predicate(text, entries)."""
        deadline = time.time() + seconds
        while True:
            controls = self.controls(title)
            if any(predicate(text, entries) for _, _, text, entries in controls):
                return controls
            if time.time() > deadline:
                raise DriverError("%s: nothing expected after %ds: %r" % (title, seconds, controls))
            time.sleep(0.3)

    def close(self):
        self.proc.stdin.close()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.proc.stdout.close()
