"""Images written by kvxburn, read back by tools nobody here wrote: isoinfo, xorriso,
pycdlib and bsdtar. Every file must come back byte-identical under its ISO 9660 and
its Joliet name, with its modification time."""

import calendar
import datetime
import functools
import hashlib
import io
import os
import pathlib
import struct
import subprocess
import sys
import tempfile
import unittest

import pycdlib

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
import kvxtest  # noqa: E402

KVXBURN = os.path.join(os.environ.get("KVX_BUILD_DIR", "build/native"), "bin", "kvxburn")
SECTOR = 2048
WINTER = calendar.timegm((2024, 1, 15, 12, 30, 44, 0, 0, 0))
SUMMER = calendar.timegm((2023, 7, 2, 8, 5, 10, 0, 0, 0))
# A zone with daylight saving, so that the offset of each recorded date matters.
ENV = dict(os.environ, TZ="Europe/Paris", LANG="C.UTF-8", LC_ALL="C.UTF-8")


run = functools.partial(kvxtest.run, env=ENV)


class Tree:
    """Source files written under a temporary folder, with what each must be on disc."""

    def __init__(self, root):
        self.root = root
        self.files = []  # (source path, iso path, joliet path)

    def file(self, rel, iso, joliet=None, data=None, mtime=WINTER):
        path = os.path.join(self.root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if data is None:
            data = hashlib.sha256(rel.encode()).digest() * (1 + len(rel) * 97 % 300)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (mtime, mtime))
        self.files.append((path, iso, joliet if joliet is not None else "/" + rel))
        return path


def record_utc(record):
    d = record.date
    local = calendar.timegm((1900 + d.years_since_1900, d.month, d.day_of_month, d.hour, d.minute, d.second, 0, 0, 0))
    offset = d.gmtoffset - 256 if d.gmtoffset > 127 else d.gmtoffset
    return local - offset * 15 * 60


class HashSink:
    def __init__(self):
        self.hash = hashlib.sha1()

    def write(self, data):
        self.hash.update(data)
        return len(data)


class MarkSink:
    """Keeps the bytes found at the given offsets of a stream, and its length."""

    def __init__(self, marks):
        self.marks = marks
        self.found = {offset: b"" for offset in marks}
        self.size = 0

    def write(self, data):
        for offset, mark in self.marks.items():
            lo, hi = max(offset, self.size), min(offset + len(mark), self.size + len(data))
            if lo < hi:
                self.found[offset] += data[lo - self.size:hi - self.size]
        self.size += len(data)
        return len(data)


def isoinfo_latin1(text):
    """A Joliet name as isoinfo -j iso8859-1 shows it: "_" for each UTF-16 unit that
    Latin-1 lacks."""
    return "".join(c if ord(c) < 256 else "_" * (len(c.encode("utf-16-be")) // 2) for c in text)


def sha1_file(path):
    h = hashlib.sha1()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()


class KvxburnImageTest(unittest.TestCase):
    iso_file_names_known = True  # no 8.3 names from the file system
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="kvxburn_")
        self.dir = self.tmp.name
        self.tree = Tree(os.path.join(self.dir, "src"))
        os.makedirs(self.tree.root)

    def tearDown(self):
        self.tmp.cleanup()

    def image(self, paths, *options, name="out.iso"):
        out = os.path.join(self.dir, name)
        run([KVXBURN, "image", out, *options, *paths])
        return out

    # --- checks with each outside tool -------------------------------------------------

    def check_pycdlib(self, image, joliet=True):
        iso = pycdlib.PyCdlib()
        iso.open(image)
        try:
            walked = sorted(os.path.join(d, f) for d, _, files in iso.walk(iso_path="/") for f in files)
            if not self.iso_file_names_known:
                self.check_iso_tree_by_content(iso, walked)
                walked = sorted(f[1] for f in self.tree.files)
            self.assertEqual(walked, sorted(f[1] for f in self.tree.files))
            self.check_record_order(iso, "iso_path")
            if joliet:
                walked = sorted(os.path.join(d, f) for d, _, files in iso.walk(joliet_path="/") for f in files)
                self.assertEqual(walked, sorted(f[2] + ";1" for f in self.tree.files))
                self.check_record_order(iso, "joliet_path")
            for source, iso_path, joliet_path in self.tree.files:
                expected = sha1_file(source)
                wanted = [("iso_path", iso_path)] if self.iso_file_names_known else []
                wanted += [("joliet_path", joliet_path + ";1")] if joliet else []
                for kind, path in wanted:
                    sink = HashSink()
                    iso.get_file_from_iso_fp(sink, **{kind: path})
                    self.assertEqual(sink.hash.hexdigest(), expected, path)
                    record = iso.get_record(**{kind: path})
                    self.assertEqual(record_utc(record), int(os.stat(source).st_mtime), path)
        finally:
            iso.close()

    def check_record_order(self, iso, kind):
        """Directory records in the order of ECMA-119 9.3: names, then extensions, each
        padded with spaces, compared code by code."""
        def key(name):
            name = name.split(";")[0]
            stem, dot, ext = name.rpartition(".") if "." in name else (name, "", "")
            return stem, ext

        def padded_less_or_equal(a, b):
            for x, y in zip(key(a), key(b)):
                width = max(len(x), len(y))
                x, y = x.ljust(width), y.ljust(width)
                if x != y:
                    return x < y
            return True

        for folder, _, _ in iso.walk(**{kind: "/"}):
            names = [c.file_identifier().decode("utf-16-be" if kind == "joliet_path" else "latin-1")
                     for c in iso.list_children(**{kind: folder}) if not (c.is_dot() or c.is_dotdot())]
            for a, b in zip(names, names[1:]):
                self.assertTrue(padded_less_or_equal(a, b), "%s: %r before %r" % (folder, a, b))

    def check_iso_tree_by_content(self, iso, walked):
        """Where the file system gives 8.3 names of its own, each ISO 9660 file must hold
        the data and date of one source file of the same folder."""
        found = []
        for path in walked:
            sink = HashSink()
            iso.get_file_from_iso_fp(sink, iso_path=path)
            found.append((os.path.dirname(path), sink.hash.hexdigest(), record_utc(iso.get_record(iso_path=path))))
        expected = [(os.path.dirname(iso_path), sha1_file(source), int(os.stat(source).st_mtime))
                    for source, iso_path, _ in self.tree.files]
        self.assertEqual(sorted(found), sorted(expected))

    def check_bsdtar(self, image, joliet=True):
        target = os.path.join(self.dir, "x_" + os.path.basename(image))
        os.makedirs(target)
        run(["bsdtar", "-xf", image, "-C", target])
        extracted = {os.path.relpath(os.path.join(d, f), target)
                     for d, _, files in os.walk(target) for f in files}
        names = {(f[2] if joliet else f[1][:-2].rstrip(".")).lstrip("/") for f in self.tree.files}
        if joliet:
            self.assertEqual(extracted, names)
            folders = {"."} | {n.rsplit("/", k)[0] for n in names for k in range(1, n.count("/") + 1)}
            listed = [line for line in run(["bsdtar", "-tf", image]).stdout.decode().splitlines()
                      if line not in folders]
            self.assertEqual(sorted(listed), sorted(names))
        for source, iso_path, joliet_path in self.tree.files:
            rel = joliet_path.lstrip("/") if joliet else iso_path.lstrip("/")[:-2]
            path = os.path.join(target, rel)
            if not joliet and not os.path.exists(path):
                path = path.rstrip(".")
            self.assertEqual(sha1_file(path), sha1_file(source), rel)
            self.assertEqual(int(os.stat(path).st_mtime), int(os.stat(source).st_mtime), rel)

    def check_isoinfo(self, image, joliet=True, volume=""):
        info = run(["isoinfo", "-d", "-i", image]).stdout.decode("latin-1")
        self.assertIn("Volume id: %s\n" % volume.upper(), info)
        self.assertEqual("Joliet with UCS level 1 found" in info, joliet)
        listing = run(["isoinfo", "-l", "-i", image] + (["-J", "-j", "iso8859-1"] if joliet else [])).stdout
        for _, iso_path, joliet_path in self.tree.files:
            name = os.path.basename(joliet_path) + ";1" if joliet else os.path.basename(iso_path)
            name = isoinfo_latin1(name).encode("latin-1")
            self.assertIn(b"  " + name + b" ", listing)
        return info

    def check_xorriso(self, image):
        found = run(["xorriso", "-indev", image, "-find", "/", "-type", "f"]).stdout.decode()
        listed = sorted(line.strip("'") for line in found.splitlines())
        # xorriso shows "NAME." as "NAME".
        self.assertEqual(listed, sorted(f[2].rstrip(".") for f in self.tree.files))

    def isoinfo_files(self, image, joliet):
        """Every file isoinfo -l lists, as a full path, from the ISO 9660 tree alone or the
        Joliet tree (which it shows in Latin-1, "_" for what Latin-1 lacks)."""
        listing = run(["isoinfo", "-l", "-i", image] + (["-J", "-j", "iso8859-1"] if joliet else [])).stdout
        files, folder = [], None
        for line in listing.decode("latin-1").splitlines():
            if line.startswith("Directory listing of "):
                folder = line[len("Directory listing of "):].rstrip()
            elif "]  " in line and not line.startswith("d"):
                files.append(folder + line.split("]  ", 1)[1].rstrip(" "))
        return sorted(files)

    def check_all(self, image, joliet=True, volume=""):
        self.check_pycdlib(image, joliet)
        self.check_bsdtar(image, joliet)
        if joliet:
            self.check_xorriso(image)
        return self.check_isoinfo(image, joliet, volume)

    # --- cases -------------------------------------------------------------------------

    def test_empty_tree(self):
        image = self.image([], "--volume", "vide")
        self.assertEqual(os.path.getsize(image), 300 * SECTOR)  # padded to the 300-sector minimum
        info = self.check_all(image, volume="vide")
        self.assertIn("Volume size is: 150\n", info)

    def test_one_file(self):
        source = self.tree.file("Sauve KVX.zip", "/SAUVE_KV.ZIP;1", data=os.urandom(70000))
        image = self.image([source], "--volume", "SauveKVX")
        self.check_all(image, volume="SauveKVX")
        with open(image, "rb") as f:
            f.seek(150 * SECTOR)
            self.assertEqual(f.read(70000), open(source, "rb").read())
        self.assertEqual(os.path.getsize(image), 300 * SECTOR)

    def test_mixed_tree(self):
        t = self.tree
        t.file("Donn\u00e9es/caf\u00e9 cr\u00e8me.txt", "/DONN_ES/CAF__CR_.TXT;1")
        t.file("Donn\u00e9es/README", "/DONN_ES/README.;1", "/Donn\u00e9es/README.", mtime=SUMMER)
        t.file("Donn\u00e9es/empty.dat", "/DONN_ES/EMPTY.DAT;1", data=b"")
        t.file("Donn\u00e9es/\u00e9t\u00e9 \u20ac.doc", "/DONN_ES/_T___.DOC;1")
        deep = "/".join("niveau%d" % i for i in range(1, 9))
        t.file("Donn\u00e9es/" + deep + "/fond.bin", "/DONN_ES/" + deep.upper() + "/FOND.BIN;1",
               data=os.urandom(3 * SECTOR))
        t.file("Donn\u00e9es/exact.bin", "/DONN_ES/EXACT.BIN;1", data=os.urandom(SECTOR))
        image = self.image([os.path.join(t.root, "Donn\u00e9es")], "--volume", "Test")
        self.check_all(image, volume="Test")

    # Source name under Tree/Coll, ISO 9660 name under /TREE/COLL, Joliet name when it is
    # not the source name. The tree adder takes a folder's names in byte order, and of
    # two names that meet on the disc the later one takes the number.
    COLLISIONS = [
        ("Facture 2023.pdf", "FACTURE_.PDF", None),
        ("Facture 2024.pdf", "FACTUR01.PDF", None),
        ("NOTES.TXT", "NOTES.TXT", None),
        ("notes.txt", "NOTES01.TXT", "notes (2).txt"),
        ("\u00e8t\u00e8.doc", "_T_.DOC", None),
        ("\u00e9t\u00e9.doc", "_T_01.DOC", None),
        ("\u03a9mega \u65e5\u672c.txt", "_MEGA___.TXT", None),
        ("\U0001F600 sourire.txt", "__SOURIR.TXT", None),  # a surrogate pair in UTF-16
        ("L" * 65 + ".txt", "LLLLLLLL.TXT", "L" * 60 + ".txt"),
        ("L" * 200 + ".txt", "LLLLLL01.TXT", "L" * 56 + " (2).txt"),
        ("a.b.c.d.txt", "A_B_C_D.TXT", None),
        ("my file (copy) #2!.txt", "MY_FILE_.TXT", None),
        ("my file (copy) #3!.txt", "MY_FIL01.TXT", None),
        (".profile", "_.PRO", None),
        ("README", "README.", "README."),
        ("Readme/x.txt", "README01/X.TXT", "Readme (2)/x.txt"),
        ("Archives 2023/a.txt", "ARCHIVES/A.TXT", None),
        ("Archives 2024/a.txt", "ARCHIV01/A.TXT", None),
    ]

    def collision_tree(self):
        for rel, iso, joliet in self.COLLISIONS:
            self.tree.file("Tree/Coll/" + rel, "/TREE/COLL/%s;1" % iso, "/Tree/Coll/" + (joliet or rel))
        # 12 levels below the top, and a path of more than 255 characters.
        deep = "/".join("n%02d" % i for i in range(1, 13))
        self.tree.file("Tree/Deep/%s/fond.bin" % deep, "/TREE/DEEP/%s/FOND.BIN;1" % deep.upper())
        long_folders = ["dossier %d " % i + "x" * 50 for i in range(6)]
        self.tree.file("Tree/Long/%s/fin.txt" % "/".join(long_folders),
                       "/TREE/LONG/%s/FIN.TXT;1" % "/".join(["DOSSIER_"] * 6))
        self.assertGreater(len(self.tree.files[-1][2]), 255)
        return self.image([os.path.join(self.tree.root, "Tree")])

    def test_colliding_names_each_file_once_in_every_reader(self):
        image = self.collision_tree()
        self.check_all(image)
        joliet = sorted(isoinfo_latin1(f[2] + ";1") for f in self.tree.files)
        self.assertEqual(self.isoinfo_files(image, joliet=True), joliet)
        if self.iso_file_names_known:
            self.assertEqual(self.isoinfo_files(image, joliet=False), sorted(f[1] for f in self.tree.files))
        # No Joliet name passes 64 characters, no ISO 9660 name leaves level 1.
        iso = pycdlib.PyCdlib()
        iso.open(image)
        for folder, dirs, files in iso.walk(joliet_path="/"):
            for name in dirs + [f[:-2] for f in files]:
                self.assertLessEqual(len(name), 64, name)
        for folder, dirs, files in iso.walk(iso_path="/"):
            for name in dirs + files:
                self.assertRegex(name, r"^[A-Z0-9_]{1,8}(\.[A-Z0-9_]{0,3};1)?$", folder)
        iso.close()

    def test_many_folders_in_path_table_order(self):
        names = ["abc", "ABD", "A", "zz", "m_1", "M-2", "Longer Folder Name"]
        for top in names:
            for sub in names[:4]:
                self.tree.file("Top/%s/%s/f.txt" % (top, sub), None)
        self.tree.files = []
        image = self.image([os.path.join(self.tree.root, "Top")])
        iso = pycdlib.PyCdlib()
        iso.open(image)
        extents = {}
        for d, dirs, _ in iso.walk(iso_path="/"):
            extents[iso.get_record(iso_path=d).extent_location()] = d
        iso.close()
        with open(image, "rb") as f:
            f.seek(16 * SECTOR)
            pvd = f.read(SECTOR)
            size, location = struct.unpack_from("<I", pvd, 132)[0], struct.unpack_from("<I", pvd, 140)[0]
            f.seek(location * SECTOR)
            table = f.read(size)
        records, offset = [], 0
        while offset < len(table):
            length, _, extent, parent = struct.unpack_from("<BBIH", table, offset)
            records.append((parent, table[offset + 8:offset + 8 + length], extent))
            offset += 8 + length + length % 2
        self.assertEqual(len(records), 1 + 1 + len(names) * 5)
        # Sorted by parent number, then by identifier, byte by byte; every extent is a folder.
        self.assertEqual(records[1:], sorted(records[1:], key=lambda r: (r[0], r[1])))
        self.assertEqual({r[2] for r in records}, set(extents))
        for number, (parent, ident, extent) in enumerate(records[1:], start=2):
            expected_parent = os.path.dirname(extents[extent])
            self.assertEqual(extents[records[parent - 1][2]], expected_parent)

    def test_directory_record_filling_a_sector_and_path_table_on_a_boundary(self):
        # 30 Joliet records of 66 bytes fill the folder's first sector after "." and "..";
        # the ISO 9660 names take numbers: F0000000, F0000001...
        for i in range(31):
            name = "F%09d.TXT" % i
            self.tree.file("Fill/" + name, "/FILL/F00000%02d.TXT;1" % i, data=b"x" * i)
        # Root 10, FILL 12, 126 x 16 (FOLDER00 to FOLDER99, FOLDE100...), ZZ 10 bytes of
        # ISO path table: one sector.
        for i in range(126):
            folder = "FOLDER%06d" % i
            iso = "FOLDER%02d" % i if i < 100 else "FOLDE%03d" % i
            self.tree.file("Fill/%s/a" % folder, "/FILL/%s/A.;1" % iso, "/Fill/%s/a." % folder)
        self.tree.file("Fill/ZZ/a", "/FILL/ZZ/A.;1", "/Fill/ZZ/a.")
        image = self.image([os.path.join(self.tree.root, "Fill")])
        with open(image, "rb") as f:
            f.seek(16 * SECTOR + 132)
            self.assertEqual(struct.unpack("<I", f.read(4))[0], 2048)
        self.check_all(image)

    def test_without_joliet(self):
        self.tree.file("Plain/notes.txt", "/PLAIN/NOTES.TXT;1")
        self.tree.file("Plain/b.bin", "/PLAIN/B.BIN;1", data=os.urandom(5000))
        image = self.image([os.path.join(self.tree.root, "Plain")], "--no-joliet")
        self.check_pycdlib(image, joliet=False)
        self.check_isoinfo(image, joliet=False)

    def test_second_session_read_at_its_offset(self):
        self.tree.file("Session/deux.txt", "/SESSION/DEUX.TXT;1", data=os.urandom(9000))
        self.tree.file("Session/Sub/trois.bin", "/SESSION/SUB/TROIS.BIN;1", data=os.urandom(100))
        start = 1000
        track = self.image([os.path.join(self.tree.root, "Session")], "--start", str(start), name="track.iso")
        with open(track, "rb") as f:
            data = f.read()
        self.assertEqual(len(data), 300 * SECTOR)
        # The track lies at sector 1000 of the disc; its descriptors, copied to sector 16,
        # make the disc readable as the last session is read.
        disc = os.path.join(self.dir, "disc.iso")
        with open(disc, "wb") as f:
            f.write(data[:start * SECTOR].ljust(start * SECTOR, b"\0"))
            f.write(data)
        self.check_all(disc)
        listing = run(["xorriso", "-indev", disc, "-find", "/", "-exec", "report_lba"]).stdout.decode()
        self.assertIn("deux.txt", listing)
        lbas = [int(line.split(",")[1]) for line in listing.splitlines()
                if line.startswith("File data lba:") and "deux.txt" in line]
        self.assertTrue(lbas and lbas[0] >= start + 25, listing)

    def test_file_above_four_gigabytes_is_multi_extent(self):
        size = (4 << 30) + 5000
        path = os.path.join(self.tree.root, "big.bin")
        marks = {}
        with open(path, "wb") as f:
            f.truncate(size)  # sparse
            for offset in (0, 0xFFFFF800 - 50, size - 100):
                marks[offset] = os.urandom(100)
                f.seek(offset)
                f.write(marks[offset])
        os.utime(path, (SUMMER, SUMMER))
        image = self.image([path])
        self.assertLess(os.stat(image).st_blocks * 512, 1 << 20)  # written sparse
        # Read where the data is, across the boundary of the two extents, in both trees.
        iso = pycdlib.PyCdlib()
        iso.open(image)
        for kind, name in (("iso_path", "/BIG.BIN;1"), ("joliet_path", "/big.bin;1")):
            self.assertEqual(record_utc(iso.get_record(**{kind: name})), SUMMER)
            sink = MarkSink(marks)
            iso.get_file_from_iso_fp(sink, **{kind: name})
            self.assertEqual(sink.size, size)
            self.assertEqual(sink.found, marks, kind)
        iso.close()
        self.tree.files.append((path, "/BIG.BIN;1", "/big.bin"))
        self.check_xorriso(image)
        self.check_isoinfo(image)
        # The whole file through bsdtar: the marks where they were written, zeros elsewhere.
        tar = subprocess.Popen(["bsdtar", "-xOf", image, "big.bin"], stdout=subprocess.PIPE, env=ENV)
        sink, zeros = MarkSink(marks), 0
        for chunk in iter(lambda: tar.stdout.read(1 << 22), b""):
            sink.write(chunk)
            zeros += chunk.count(0)
        self.assertEqual(tar.wait(), 0)
        self.assertEqual(sink.size, size)
        self.assertEqual(sink.found, marks)
        self.assertEqual(zeros, size - sum(len(m) - m.count(0) for m in marks.values()))

    def test_failures_exit_non_zero_with_the_error(self):
        missing = os.path.join(self.dir, "missing.txt")
        result = run([KVXBURN, "image", os.path.join(self.dir, "o.iso"), missing], check=False)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(b"not found", result.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "o.iso")))
        result = run([KVXBURN, "frobnicate"], check=False)
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"kvxburn image OUT.iso", result.stderr)


if __name__ == "__main__":
    unittest.main()
