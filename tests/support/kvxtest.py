"""What the Python tests share: running a program with its output captured, and the
Windows name wine gives a Linux path. A test finds this module by putting tests/support
on sys.path, as it does tests/scenario for the scenario helpers."""

import os
import subprocess

# The build's own programs run through this emulator when the build sets one (the native32
# build on a host that cannot start i386 programs: qemu-i386).
EMULATOR = os.environ.get("KVX_EMULATOR", "").split()
BUILD_BIN = os.path.join(os.path.abspath(os.environ.get("KVX_BUILD_DIR", "build/native")), "bin")


def emulated(args):
    """The command line that runs args: the build's programs through the emulator, if any."""
    if EMULATOR and os.path.dirname(os.path.abspath(args[0])) == BUILD_BIN:
        return EMULATOR + list(args)
    return list(args)


def windows_path(path):
    """The Windows name of a Linux path under wine's Z: drive (a relative path is taken from
    the current folder)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(args, cwd=None, env=None, check=True, text=False):
    """Runs a program (arguments may be paths) with its output captured: bytes, or with text
    a str in which undecodable bytes stay as surrogates. With check, a non-zero exit fails
    the test with the program's name, its exit code and what it wrote on stderr."""
    args = [str(arg) for arg in args]
    result = subprocess.run(emulated(args), cwd=cwd, env=env, capture_output=True, text=text,
                            errors="surrogateescape" if text else None)
    if check and result.returncode != 0:
        stderr = result.stderr if text else result.stderr.decode(errors="replace")
        raise AssertionError("%s failed (%d): %s" % (args[0], result.returncode, stderr))
    return result
