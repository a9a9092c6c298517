"""The release package as a customer receives it, checked without running anything, so
on every host: made by scripts/package from the production build, its toolbox folder
holds 32-bit programs with their version resource and manifest, that import only what
Windows and the KVX installation provide, and no stand-in."""

import hashlib
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree
import zipfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "scenario"))
from kvxscenario import BIN, SOURCE  # noqa: E402
from pe_image import I386, PE32_MAGIC, RT_MANIFEST, WINDOWS_CONSOLE, WINDOWS_GUI, PeImage  # noqa: E402

VERSION = os.environ["KVX_VERSION"]
NAME = "kvxoutil-%s-win32.zip" % VERSION
PROGRAMS = {"KVXOUTIL.EXE": WINDOWS_GUI, "kvxburn.exe": WINDOWS_CONSOLE}
SHIPPED = list(PROGRAMS) + ["CLUF_KVX.RTF", "CLUF_TBQ.RTF", "README.TXT"]
# What the installation provides; the build's own are stand-ins.
PROVIDED = ["WD110LE.DLL", "KVXZIP.DLL", "KVXUNZIP.DLL", "WNASPI32.DLL"]
STAND_INS = PROVIDED + ["KVXCDBURN.DLL", "KVXTOOL.EXE"]
# The names the installation's DLLs export and the toolbox finds them by: undecorated,
# without the "@N" that i686 gives __stdcall functions.
EXPORTED_NAMES = {
    "KVXZIP.DLL": {"dzip"},
    "KVXUNZIP.DLL": {"dunzip"},
    "WNASPI32.DLL": {"GetASPI32SupportInfo", "SendASPI32Command"},
    "WD110LE.DLL": {"InitModule", "WDExecuteCommande", "nGetValeurRetour", "dGetValeurRetour", "TermModule",
                    "LE_HftermineCTX"},
}
SYSTEM_DLLS = {line.upper() for line in (pathlib.Path(__file__).parent / "system-dlls.txt").read_text().splitlines()
               if line and not line.startswith("#")}
# Wine's i386 builds of those DLLs export what the Windows ones do, by the same names (the
# 32-bit C runtime has exports of its own): wine32's, or those scripts/setup took from
# Debian's libwine:i386 where the host cannot run them.
WINE_I386_DLLS = [pathlib.Path("/usr/lib/i386-linux-gnu/wine/i386-windows"), SOURCE / "build" / "wine-i386-windows"]
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"


def make_package(dist):
    subprocess.run([str(SOURCE / "scripts" / "package"), "--no-build", str(dist)], check=True,
                   stdout=subprocess.DEVNULL)
    return dist / NAME


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dist = pathlib.Path(tempfile.mkdtemp(prefix="kvxdist"))
        cls.archive = make_package(cls.dist)
        with zipfile.ZipFile(cls.archive) as archive:
            cls.names = archive.namelist()
            cls.files = {pathlib.PurePosixPath(n).name: archive.read(n) for n in cls.names}
        cls.unpacked = cls.dist / "unpacked"
        for name, data in cls.files.items():
            (cls.unpacked / name).parent.mkdir(parents=True, exist_ok=True)
            (cls.unpacked / name).write_bytes(data)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dist, ignore_errors=True)

    def test_holds_the_toolbox_folder_without_stand_ins_and_its_checksum(self):
        self.assertEqual(self.names, ["OUTILS/" + name for name in SHIPPED])
        self.assertEqual(subprocess.run(["unzip", "-tq", str(self.archive)], stdout=subprocess.DEVNULL).returncode, 0)
        digest = hashlib.sha256(self.archive.read_bytes()).hexdigest()
        self.assertEqual((self.dist / "SHA256SUMS").read_text(), "%s  %s\n" % (digest, NAME))
        for name in ("CLUF_KVX.RTF", "CLUF_TBQ.RTF"):
            self.assertEqual(self.files[name], (SOURCE / "scripts" / "demo-files" / name).read_bytes())

    def test_same_build_gives_the_same_bytes(self):
        with tempfile.TemporaryDirectory(prefix="kvxdist") as again:
            self.assertEqual(make_package(pathlib.Path(again)).read_bytes(), self.archive.read_bytes())

    def test_readme_names_the_dlls_the_installation_provides(self):
        readme = self.files["README.TXT"]
        self.assertNotIn(b"\n", readme.replace(b"\r\n", b""))
        text = readme.decode("cp1252")
        self.assertIn("kvxoutil %s" % VERSION, text)
        provided = text[text.index("Fournis par l'installation"):]
        for name in PROVIDED:
            self.assertIn(name, provided)

    def check_version_resource(self, path):
        image = PeImage(path)
        strings = image.version_strings()
        self.assertEqual(strings["FileVersion"], VERSION, path)
        self.assertEqual(strings["ProductVersion"], VERSION, path)
        self.assertEqual(strings["ProductName"], "kvxoutil", path)
        self.assertEqual(strings["OriginalFilename"], path.name, path)
        self.assertTrue(strings["CompanyName"] and strings["FileDescription"], path)
        self.assertEqual(image.fixed_file_version(), tuple(int(n) for n in VERSION.split(".")) + (0,), path)
        return image

    def test_programs_are_32_bit_with_version_resource_and_manifest(self):
        for name, subsystem in PROGRAMS.items():
            path = self.unpacked / name
            image = self.check_version_resource(path)
            self.assertEqual((image.machine, image.magic, image.is_dll), (I386, PE32_MAGIC, False), name)
            self.assertEqual(image.subsystem, subsystem, name)
            objdump = subprocess.run(["i686-w64-mingw32-objdump", "-f", str(path)], capture_output=True, text=True)
            self.assertIn("file format pei-i386", objdump.stdout)
            manifest = ElementTree.fromstring(image.resource(RT_MANIFEST))
            level = manifest.find("%strustInfo/%ssecurity/%srequestedPrivileges/%srequestedExecutionLevel"
                                  % (ASM_V3, ASM_V3, ASM_V3, ASM_V3))
            self.assertEqual(level.get("level"), "asInvoker", name)
            controls = manifest.find("%sdependency/%sdependentAssembly/%sassemblyIdentity" % (ASM_V1, ASM_V1, ASM_V1))
            self.assertEqual((controls.get("name"), controls.get("version")),
                             ("Microsoft.Windows.Common-Controls", "6.0.0.0"), name)
            supported = {e.get("Id") for e in manifest.iter(COMPATIBILITY + "supportedOS")}
            self.assertEqual(supported, SUPPORTED_OS, name)
            # High-DPI stays with the compatibility layer that the start-up registers.
            self.assertEqual([e.tag for e in manifest.iter() if "dpiAware" in e.tag], [], name)

    def test_programs_import_only_what_windows_and_the_installation_export(self):
        wine_dlls = next((folder for folder in WINE_I386_DLLS if (folder / "kernel32.dll").is_file()), None)
        self.assertIsNotNone(wine_dlls, "no i386 build of wine's DLLs; scripts/setup provides them")
        for name in PROGRAMS:
            for dll, functions in PeImage(self.unpacked / name).imports().items():
                if dll in PROVIDED:
                    exporter = BIN / dll  # the build's stand-in has the real one's entry points
                else:
                    self.assertIn(dll, SYSTEM_DLLS, "%s imports %s, which Windows does not have" % (name, dll))
                    exporter = wine_dlls / dll.lower()
                missing = functions - PeImage(exporter).exports()
                self.assertEqual(missing, set(), "%s imports from %s what it does not export" % (name, dll))

    def test_stand_ins_of_the_build_export_exactly_the_undecorated_names(self):
        for name, expected in EXPORTED_NAMES.items():
            exported = {export for export in PeImage(BIN / name).exports() if not export.startswith("#")}
            self.assertEqual(exported, expected, name)

    def test_stand_ins_of_the_build_carry_a_version_resource_and_no_manifest(self):
        for name in STAND_INS:
            image = self.check_version_resource(BIN / name)
            self.assertIsNone(image.resource(RT_MANIFEST), name)


if __name__ == "__main__":
    unittest.main()
