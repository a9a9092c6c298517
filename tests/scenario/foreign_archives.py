"""Archives as other tools write them, for the restore of archives the toolbox did not
write: Info-ZIP, 7-Zip and bsdtar run on a folder, Python's zipfile with names in an
OEM code page, and records laid out by hand where a tool's choice must be forced
(Unicode Path fields, MS-DOS folder attributes, leading data, padding, the shapes of
data descriptors)."""

import pathlib
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
from kvxtest import run  # noqa: E402

# Names the French OEM code page 850 holds, and names neither it nor Windows-1252 holds.
OEM_FILES = {
    "Données.FIC": b"donnees\r\n" * 300,
    "Réglages/Paramètres.INI": b"[PARAM]\r\nCLE=1\r\n",
    "Çà et là.txt": b"accents",
    "File 2 - ö.txt": b"umlaut",
}
WIDE_FILES = {
    "日本語/データ.txt": "日本語のデータ".encode("utf-8"),
    "Россия/файл.txt": "русский текст".encode("utf-8"),
}
# Four MiB and a little more that deflate into a few KiB: the end of the data comes out
# of the last bytes read.
ZEROS = {"ZEROS.NDX": bytes((4 << 20) + 3000)}

STUB = b"MZ" + bytes(62) + b"This program is the stub of a self-extracting archive.\r\n" * 40


def write_tree(root, files, folders=()):
    for name, data in files.items():
        (root / name).parent.mkdir(parents=True, exist_ok=True)
        (root / name).write_bytes(data)
    for name in folders:
        (root / name).mkdir(parents=True, exist_ok=True)


def tree(root):
    """{relative name: bytes, or None for a folder} of everything under root."""
    return {p.relative_to(root).as_posix(): None if p.is_dir() else p.read_bytes()
            for p in sorted(pathlib.Path(root).rglob("*"))}


def expected_tree(files, folders=()):
    """The tree a complete extraction of files and folders leaves."""
    found = {name: data for name, data in files.items()}
    for name in [*files, *folders]:
        parts = name.split("/")
        for i in range(1, len(parts) if name in files else len(parts) + 1):
            found["/".join(parts[:i])] = None
    return dict(sorted(found.items()))


class OEMName(zipfile.ZipInfo):
    """A member whose name is stored in an OEM code page without the UTF-8 flag, as the
    Windows shell's compressed folders and MS-DOS tools write it."""
    code_page = "cp850"

    def _encodeFilenameFlags(self):
        return self.filename.encode(self.code_page), self.flag_bits


def oem_archive(path, files, code_page="cp850"):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files.items():
            info = OEMName(name, (2004, 5, 6, 7, 8, 10))
            info.code_page = code_page
            info.create_system = 0  # MS-DOS
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)


class Member:
    """One member of a hand-laid archive."""

    def __init__(self, name, data=b"", *, raw_name=None, flags=0, system=3, attributes=0, extra=b""):
        self.name = raw_name if raw_name is not None else name.encode("utf-8")
        self.data = data
        self.flags = flags
        self.system = system
        self.attributes = attributes
        self.extra = extra


def unicode_path(raw_name, name):
    """Info-ZIP's Unicode Path extra field naming raw_name in UTF-8."""
    utf8 = name.encode("utf-8")
    return struct.pack("<HHBI", 0x7075, 5 + len(utf8), 1, zlib.crc32(raw_name)) + utf8


def laid_out(members, *, lead=b"", lead_counts=True, padding=b"", end_padding=b"", zip64_end=False,
             descriptor=None):
    """The archive's bytes: lead (a self-extracting program) first, counted in the offsets
    or not; padding after every member, end_padding between the central directory and
    the end records (zip64 ones when asked); data descriptors of the shape "signed32",
    "bare32", "signed64", "bare64"."""
    out = bytearray(lead)
    base = 0 if lead_counts else len(lead)
    central = bytearray()
    for m in members:
        compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
        packed = compressor.compress(m.data) + compressor.flush()
        crc = zlib.crc32(m.data)
        offset = len(out) - base
        flags = m.flags | (0x08 if descriptor else 0)
        wide = descriptor is not None and descriptor.endswith("64")
        local_extra = struct.pack("<HHQQ", 1, 16, 0, 0) if wide else b""
        sizes = (0xFFFFFFFF, 0xFFFFFFFF) if wide else (0, 0) if descriptor else (len(packed), len(m.data))
        out += struct.pack("<IHHHIIIIHH", 0x04034B50, 45 if wide else 20, flags, 8, 0x38A63C00,
                           0 if descriptor else crc, *sizes, len(m.name), len(local_extra + m.extra)) + m.name + local_extra + m.extra
        out += packed
        if descriptor:
            signature = struct.pack("<I", 0x08074B50) if descriptor.startswith("signed") else b""
            size_format = "<IQQ" if wide else "<III"
            out += signature + struct.pack(size_format, crc, len(packed), len(m.data))
        out += padding
        central += struct.pack("<IHHHHIIIIHHHHHII", 0x02014B50, m.system << 8 | 20, 20, flags, 8, 0x38A63C00, crc,
                               len(packed), len(m.data), len(m.name), len(m.extra), 0, 0, 0, m.attributes,
                               offset) + m.name + m.extra
    central_offset = len(out) - base
    out += central + end_padding
    if zip64_end:
        end64_offset = len(out) - base
        out += struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, len(members), len(members), len(central),
                           central_offset)
        out += struct.pack("<IIQI", 0x07064B50, 0, end64_offset, 1)
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members), len(central), central_offset, 0)
    return bytes(out)


def make_archives(folder, scratch):
    """Writes the archives into folder; returns {archive name: tree its extraction leaves}.
    Names of eight characters before ".zip", so that each restores into its own folder."""
    made = {}
    src = scratch / "src"
    every = {**OEM_FILES, **WIDE_FILES, **ZEROS}
    write_tree(src, every, ["VIDE"])
    whole = expected_tree(every, ["VIDE"])

    run(["zip", "-q", "-r", "-X", folder / "T01_INFZ.zip", "."], cwd=src)
    made["T01_INFZ.zip"] = whole
    run(["7z", "a", "-tzip", "-bd", folder / "T02_7ZIP.zip", "."], cwd=src)
    made["T02_7ZIP.zip"] = whole
    # bsdtar streams its members: every one has a data descriptor.
    run(["bsdtar", "--format", "zip", "-cf", folder / "T03_BSDT.zip", "."], cwd=src)
    made["T03_BSDT.zip"] = whole

    oem_archive(folder / "T04_OEM8.zip", OEM_FILES)
    made["T04_OEM8.zip"] = expected_tree(OEM_FILES)

    # OEM names with their UTF-8 names beside them; names the code page lacks as '?'.
    names = {**OEM_FILES, **WIDE_FILES}
    members = []
    for name, data in names.items():
        raw = name.encode("cp850", "replace")
        members.append(Member(name, data, raw_name=raw, system=0, extra=unicode_path(raw, name)))
    (folder / "T05_UPTH.zip").write_bytes(laid_out(members))
    made["T05_UPTH.zip"] = expected_tree(names)

    # Folders named without a trailing slash, known by their MS-DOS attribute only.
    dos = [Member("DOSDIR", system=0, attributes=0x10), Member("DOSDIR/DANS.TXT", b"inside", system=0),
           Member("VIDE", system=0, attributes=0x10)]
    (folder / "T06_DOSD.zip").write_bytes(laid_out(dos))
    made["T06_DOSD.zip"] = expected_tree({"DOSDIR/DANS.TXT": b"inside"}, ["VIDE"])

    # Self-extracting archives: a program, then the archive; offsets from the archive's
    # own start (plain concatenation), or from the file's (zip -A adjusts them).
    (folder / "T07_SFXC.zip").write_bytes(STUB + (folder / "T02_7ZIP.zip").read_bytes())
    made["T07_SFXC.zip"] = whole
    (folder / "T08_SFXA.zip").write_bytes(STUB + (folder / "T01_INFZ.zip").read_bytes())
    run(["zip", "-q", "-A", folder / "T08_SFXA.zip"])
    made["T08_SFXA.zip"] = whole

    plain = {**OEM_FILES, **ZEROS}
    plain_members = [Member(name, data, flags=0x800) for name, data in plain.items()]
    (folder / "T09_PADD.zip").write_bytes(laid_out(plain_members, padding=bytes(37)))
    made["T09_PADD.zip"] = expected_tree(plain)
    (folder / "T15_PEND.zip").write_bytes(laid_out(plain_members, end_padding=bytes(37), zip64_end=True))
    made["T15_PEND.zip"] = expected_tree(plain)
    (folder / "T10_SFXP.zip").write_bytes(laid_out(plain_members, lead=STUB, lead_counts=False, padding=bytes(5)))
    made["T10_SFXP.zip"] = expected_tree(plain)
    for i, shape in enumerate(("signed32", "bare32", "signed64", "bare64")):
        name = "T1%d_DD%s.zip" % (i + 1, shape[0].upper() + shape[-2:])
        (folder / name).write_bytes(laid_out(plain_members, descriptor=shape))
        made[name] = expected_tree(plain)
    shutil.rmtree(src)
    return made


def outside_tree(archive, out, code_page=None):
    """What 7-Zip extracts from the archive; with code_page, what Python's zipfile extracts
    reading the names in that code page (7-Zip reads them in the host's own)."""
    if code_page:
        with zipfile.ZipFile(archive, metadata_encoding=code_page) as z:
            z.extractall(out)
    else:
        # The exit code says whether 7-Zip warned (padding before the end records); the files tell what it read.
        subprocess.run(["7z", "x", "-tzip", "-bd", "-y", "-o%s" % out, str(archive)], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    return tree(out)
