"""Archives of the zip stand-ins checked by tools nobody here wrote (Info-ZIP, 7-Zip,
Python's zipfile, bsdtar), and archives of those tools read back by the stand-in."""

import functools
import os
import pathlib
import random
import shutil
import struct
import sys
import tempfile
import unittest
import zipfile
import zlib

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "support"))
import kvxtest  # noqa: E402

BUILD = pathlib.Path(os.environ.get("KVX_BUILD_DIR", pathlib.Path(__file__).resolve().parents[3] / "build" / "native"))
DRIVER = BUILD / "bin" / "zip_driver"


# The validators' verdicts are read from their exit codes.
run = functools.partial(kvxtest.run, check=False, text=True)


def driver(*args, cwd=None):
    """Runs the driver; returns (result, progress percentages, [(message id, text)], count)."""
    proc = run([DRIVER, *args], cwd=cwd)
    percents, messages, count = [], [], None
    for line in proc.stdout.splitlines():
        kind, _, rest = line.partition(" ")
        value, _, text = rest.partition(" ")
        if kind == "PROGRESS":
            percents.append(int(value))
        elif kind == "MESSAGE":
            messages.append((int(value), text))
        elif kind == "COUNT":
            count = int(value)
    return proc.returncode, percents, messages, count


def zip64_end_only(offset, size):
    """A zip64 end record, its locator and the end record, naming a directory of one entry."""
    end64 = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, 1, 1, size, offset)
    locator = struct.pack("<IIQI", 0x07064B50, 0, 0, 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0)
    return end64 + locator + end


def stored_member(name, data):
    """The local header of a stored member, its name and its data."""
    return struct.pack("<IHHHIIIIHH", 0x04034B50, 10, 0, 0, 0, zlib.crc32(data), len(data), len(data), len(name),
                       0) + name + data


def archive_of(body, entries):
    """body, then a central directory of the stored entries (name, data, local header offset)."""
    directory = b"".join(
        struct.pack("<IHHHHIIIIHHHHHII", 0x02014B50, 20, 10, 0, 0, 0, zlib.crc32(data), len(data), len(data),
                    len(name), 0, 0, 0, 0, 0, offset) + name for name, data, offset in entries)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(directory), len(body), 0)
    return body + directory + end


def overlapping_members():
    """Two archives of the non-recursive zip bomb: two entries sharing one local header,
    and a member whose data holds the whole of the next one."""
    shared = archive_of(stored_member(b"A.TXT", b"bomb"), [(b"A.TXT", b"bomb", 0), (b"B.TXT", b"bomb", 0)])
    inner = stored_member(b"B.TXT", b"inner data")
    nested = archive_of(stored_member(b"A.TXT", inner), [(b"A.TXT", inner, 0), (b"B.TXT", b"inner data", 35)])
    return {"shared-header.zip": shared, "nested-data.zip": nested}


class Unseekable:
    """A stream Python's zipfile cannot go back in, so that it writes data descriptors."""
    def __init__(self, path):
        self.file = open(path, "wb")

    def write(self, data):
        return self.file.write(data)

    def flush(self):
        self.file.flush()

    def close(self):
        self.file.close()


def tree(root):
    """{relative name: bytes, or None for a folder} of everything under root."""
    found = {}
    for path in sorted(pathlib.Path(root).rglob("*")):
        name = path.relative_to(root).as_posix()
        found[name] = None if path.is_dir() else path.read_bytes()
    return found


def make_sources(root):
    rng = random.Random(5)
    (root / "FIC01" / "IMAGES" / "VIDE").mkdir(parents=True)
    records = "".join(f"CLIENT{i:05d};Société Dupré {i};12 rue des Écoles\n" for i in range(40000)).encode("cp1252")
    (root / "FIC01" / "CLIENTS.FIC").write_bytes(records)
    (root / "FIC01" / "NOISE.NDX").write_bytes(rng.randbytes(2_500_000))
    (root / "FIC01" / "VIDE.FIC").write_bytes(b"")
    (root / "FIC01" / "IMAGES" / "LOGO.BMP").write_bytes(rng.randbytes(3000) * 20)
    (root / "FIC01" / "Mes notes.txt").write_bytes(b"blank in the name\r\n")
    (root / "FIC01" / "Société.txt").write_bytes(b"accent in the name\n")


class Validators(unittest.TestCase):
    def setUp(self):
        self.tmp = pathlib.Path(tempfile.mkdtemp(prefix="kvx-zipcheck-"))
        self.addCleanup(shutil.rmtree, self.tmp, True)

    def check_with_outside_tools(self, archive, expected):
        self.assertEqual(run(["unzip", "-t", archive]).returncode, 0)
        self.assertEqual(run(["7z", "t", archive]).returncode, 0)
        listing = run(["bsdtar", "-tf", archive])
        self.assertEqual(listing.returncode, 0, listing.stderr)
        self.assertEqual(sorted(listing.stdout.split("\n")[:-1]),
                         sorted(n + "/" if d is None else n for n, d in expected.items()))
        with zipfile.ZipFile(archive) as z:
            self.assertIsNone(z.testzip())
            names = {i.filename.rstrip("/"): i for i in z.infolist()}
            self.assertEqual(sorted(names), sorted(expected))
            for name, data in expected.items():
                if data is not None:
                    self.assertEqual(names[name].file_size, len(data), name)
                    self.assertEqual(z.read(names[name]), data, name)
        out = self.tmp / ("unzipped-" + pathlib.Path(archive).stem)
        self.assertEqual(run(["unzip", "-q", "-o", archive, "-d", out]).returncode, 0)
        self.assertEqual(tree(out), expected)

    def test_stand_in_archives_pass_every_outside_tool(self):
        src = self.tmp / "src"
        make_sources(src)
        expected = {"FIC01/" + k: v for k, v in tree(src / "FIC01").items()}
        expected["FIC01"] = None
        for level in ("5", "0", "9"):
            archive = self.tmp / f"backup{level}.zip"
            result, percents, messages, _ = driver("add", archive, level, "rp", '"FIC01"', cwd=src)
            self.assertEqual((result, messages), (0, []))
            self.assertEqual(percents, sorted(percents))
            self.assertEqual(percents[-1], 100)
            self.assertTrue(all(0 <= p <= 100 for p in percents))
            self.check_with_outside_tools(archive, expected)
        # The records shrink, the random blocks cannot.
        self.assertLess(os.path.getsize(self.tmp / "backup5.zip"), os.path.getsize(self.tmp / "backup0.zip") - 1_400_000)

    def test_info_zip_archives_extract_identically(self):
        src = self.tmp / "src"
        make_sources(src)
        for option in ("-0", "-6"):
            archive = self.tmp / f"infozip{option}.zip"
            self.assertEqual(run(["zip", "-q", "-r", option, archive, "FIC01"], cwd=src).returncode, 0)
            result, _, _, count = driver("count", archive)
            self.assertEqual((result, count), (0, len(zipfile.ZipFile(archive).infolist())))
            out = self.tmp / f"out{option}"
            result, percents, messages, _ = driver("extract", archive, out, "*.*", "or")
            self.assertEqual((result, messages), (0, []))
            self.assertEqual(percents[-1], 100)
            self.assertEqual(tree(out), tree(src))

    def test_spec_and_flags_choose_what_is_extracted(self):
        src = self.tmp / "src"
        make_sources(src)
        archive = self.tmp / "a.zip"
        self.assertEqual(run(["zip", "-q", "-r", archive, "."], cwd=src / "FIC01").returncode, 0)
        out = self.tmp / "top"
        self.assertEqual(driver("extract", archive, out, "*.FIC", "-")[0], 0)
        self.assertEqual(sorted(tree(out)), ["CLIENTS.FIC", "VIDE.FIC"])
        out = self.tmp / "flat"
        self.assertEqual(driver("extract", archive, out, "*.BMP", "rj")[0], 0)
        self.assertEqual(sorted(tree(out)), ["LOGO.BMP"])

    def test_damaged_archives_report_and_leave_nothing_behind(self):
        src = self.tmp / "src"
        make_sources(src)
        good = self.tmp / "good.zip"
        self.assertEqual(driver("add", good, "5", "rp", "FIC01", cwd=src)[0], 0)
        data = good.read_bytes()
        cases = {
            "truncated.zip": data[: len(data) // 2],
            "notazip.zip": b"PK\x03\x04 this is not an archive" * 10,
            "nothing.zip": b"",
            # Zip64 end records whose central directory ends past the archive, one by a 64-bit wrap.
            "wrapping64.zip": zip64_end_only(offset=1, size=2**64 - 1),
            "huge64.zip": zip64_end_only(offset=2**63, size=2**62),
            **overlapping_members(),
        }
        for name, content in cases.items():
            (self.tmp / name).write_bytes(content)
            result, _, messages, count = driver("count", self.tmp / name)
            self.assertNotEqual(result, 0, name)
            self.assertEqual((messages, count), ([(3, str(self.tmp / name))], -7), name)
            out = self.tmp / ("out-" + name)
            result, _, messages, _ = driver("extract", self.tmp / name, out, "*.*", "or")
            self.assertEqual((result != 0, messages), (True, [(3, str(self.tmp / name))]), name)
            self.assertFalse(out.exists(), name)
        self.assertEqual(driver("count", self.tmp / "missing.zip")[2], [(2, str(self.tmp / "missing.zip"))])

        # Damage inside the deflated data of one member: that member is refused, the others come out.
        with zipfile.ZipFile(good) as z:
            info = z.getinfo("FIC01/CLIENTS.FIC")
        corrupt = bytearray(data)
        start = info.header_offset + 30 + len(info.filename.encode())
        for i in range(start + 1000, start + 1200):
            corrupt[i] ^= 0x55
        (self.tmp / "corrupt.zip").write_bytes(bytes(corrupt))
        out = self.tmp / "out-corrupt"
        result, _, messages, _ = driver("extract", self.tmp / "corrupt.zip", out, "*.*", "or")
        self.assertEqual((result, messages), (3, [(3, "FIC01/CLIENTS.FIC")]))
        self.assertFalse((out / "FIC01" / "CLIENTS.FIC").exists())
        self.assertEqual((out / "FIC01" / "NOISE.NDX").read_bytes(), (src / "FIC01" / "NOISE.NDX").read_bytes())

        empty = self.tmp / "empty.zip"
        zipfile.ZipFile(empty, "w").close()
        self.assertEqual(driver("count", empty)[::3], (0, 0))
        self.assertEqual(driver("extract", empty, self.tmp / "out-empty", "*.*", "or")[2], [])

    def test_members_written_with_data_descriptors_extract(self):
        expected = {"SUB": None, "SUB/A.TXT": b"first member\r\n" * 50, "B.BIN": bytes(range(256)) * 40, "C.TXT": b""}
        for zip64 in (False, True):
            archive = self.tmp / f"streamed{int(zip64)}.zip"
            stream = Unseekable(archive)
            with zipfile.ZipFile(stream, "w", zipfile.ZIP_DEFLATED) as z:
                for name, data in expected.items():
                    if data is not None:
                        with z.open(name, "w", force_zip64=zip64) as member:
                            member.write(data)
            stream.close()
            with zipfile.ZipFile(archive) as z:
                self.assertTrue(all(info.flag_bits & 0x08 for info in z.infolist()))
            out = self.tmp / f"out-streamed{int(zip64)}"
            self.assertEqual(driver("extract", archive, out, "*.*", "or")[:3:2], (0, []))
            self.assertEqual(tree(out), expected)

    def test_members_whose_data_ends_past_a_buffer_boundary_extract(self):
        """Files of one repeated byte shrink to a few hundred bytes whose last ones expand past a
        multiple of the reader's 256 KiB output buffer: inflate still holds output once it has
        used up all its input."""
        block = 256 * 1024
        sizes = [block + k for k in range(0, 300, 3)] + [m * block + k for m in (2, 3, 4) for k in (0, 7, 60, 250)]
        expected = {f"F{size}.DAT": bytes([size % 251]) * size for size in sizes}
        python_zip = self.tmp / "python.zip"
        with zipfile.ZipFile(python_zip, "w", zipfile.ZIP_DEFLATED) as z:
            for name, data in expected.items():
                z.writestr(name, data)
        src = self.tmp / "src"
        src.mkdir()
        for name, data in expected.items():
            (src / name).write_bytes(data)
        own_zip = self.tmp / "own.zip"
        # The add reads its archive back member by member before it counts as written.
        self.assertEqual(driver("add", own_zip, "6", "p", "*.*", cwd=src)[:3:2], (0, []))
        for archive in (python_zip, own_zip):
            self.assertEqual(driver("extract", archive, self.tmp / "tested", "*.*", "t")[:3:2], (0, []), archive)
            self.assertFalse((self.tmp / "tested").exists())
            out = self.tmp / ("out-" + archive.stem)
            self.assertEqual(driver("extract", archive, out, "*.*", "-")[:3:2], (0, []), archive)
            self.assertEqual(tree(out), expected, archive)

    def test_traversal_names_are_refused_and_the_others_extracted(self):
        archive = self.tmp / "evil.zip"
        bad = ["../evil1.txt", "/abs.txt", "C:/drive.txt", "sub/../../evil2.txt", "..\\evil3.txt", "sub/.. /x.txt"]
        with zipfile.ZipFile(archive, "w") as z:
            for name in bad:
                z.writestr(zipfile.ZipInfo(name), b"escaped")
            z.writestr("good/ok.txt", b"fine")
            z.writestr("top.txt", b"top")
        box = self.tmp / "box"
        dest = box / "dest"
        result, _, messages, _ = driver("extract", archive, dest, "*.*", "or")
        self.assertEqual(result, 11)
        self.assertEqual(messages, [(11, name) for name in bad])
        self.assertEqual(tree(box), {"dest": None, "dest/good": None, "dest/good/ok.txt": b"fine",
                                     "dest/top.txt": b"top"})
        self.assertEqual(sorted(p.name for p in self.tmp.iterdir()), ["box", "evil.zip"])

    def test_a_file_that_cannot_be_written_is_reported_and_the_others_extracted(self):
        archive = self.tmp / "blocked.zip"
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("DATA/CLIENTS.FIC", b"clients")
            z.writestr("TOP.FIC", b"top")
        dest = self.tmp / "dest"
        dest.mkdir()
        (dest / "DATA").write_bytes(b"a file where the folder should go")
        result, _, messages, _ = driver("extract", archive, dest, "*.*", "or")
        self.assertEqual((result, messages), (4, [(4, "DATA/CLIENTS.FIC")]))
        self.assertEqual(tree(dest), {"DATA": b"a file where the folder should go", "TOP.FIC": b"top"})

    def test_zip64_for_more_than_65535_entries(self):
        src = self.tmp / "many"
        src.mkdir()
        for i in range(65600):
            (src / f"F{i:05d}").write_bytes(b"")
        archive = self.tmp / "many.zip"
        self.assertEqual(driver("add", archive, "5", "rpn", "many", cwd=self.tmp)[0], 0)
        self.assertEqual(run(["unzip", "-tq", archive]).returncode, 0)
        self.assertEqual(run(["7z", "t", archive]).returncode, 0)
        with zipfile.ZipFile(archive) as z:
            self.assertEqual(len(z.infolist()), 65600)
        self.assertEqual(len(run(["bsdtar", "-tf", archive]).stdout.splitlines()), 65600)
        self.assertEqual(driver("count", archive)[::3], (0, 65600))

    def test_zip64_for_a_member_and_offsets_past_4_gib(self):
        src = self.tmp / "big"
        src.mkdir()
        big = src / "BIG.DAT"
        with open(big, "wb") as f:  # sparse: zeros that cost no disk
            f.truncate((4 << 30) + 12345)
            f.seek(1 << 32)
            f.write(b"past the 32-bit boundary")
        (src / "TAIL.TXT").write_bytes(b"member after the big one")
        archive = self.tmp / "big.zip"
        # Stored, so that the next member and the central directory also lie past 4 GiB.
        self.assertEqual(driver("add", archive, "0", "rp", "big", cwd=self.tmp)[0], 0)
        self.assertEqual(run(["unzip", "-tq", archive]).returncode, 0)
        self.assertEqual(run(["7z", "t", archive]).returncode, 0)
        self.assertEqual(run(["bsdtar", "-tf", archive]).returncode, 0)
        with zipfile.ZipFile(archive) as z:
            self.assertEqual(z.getinfo("big/BIG.DAT").file_size, (4 << 30) + 12345)
            self.assertGreater(z.getinfo("big/TAIL.TXT").header_offset, 4 << 30)
            self.assertEqual(z.read("big/TAIL.TXT"), b"member after the big one")
        out = self.tmp / "out"
        self.assertEqual(driver("extract", archive, out, "TAIL.TXT", "r")[0], 0)
        self.assertEqual(tree(out), {"big": None, "big/TAIL.TXT": b"member after the big one"})


if __name__ == "__main__":
    unittest.main()
