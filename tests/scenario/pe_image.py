"""Reads what the tests check in a Windows program or DLL (PE file): its machine, and its
resources, among them the version information and the application manifest."""

import pathlib
import struct

I386 = 0x14C
AMD64 = 0x8664
PE32_MAGIC = 0x10B
RT_VERSION = 16
RT_MANIFEST = 24


class PeImage:
    def __init__(self, path):
        self.data = pathlib.Path(path).read_bytes()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("%s is not a PE file" % path)
        self.machine, sections, _, _, _, optional_size = struct.unpack_from("<HHIIIH", self.data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from("<H", self.data, optional)[0]
        directories = optional + (96 if self.magic == PE32_MAGIC else 112)
        self.resource_rva = struct.unpack_from("<I", self.data, directories + 2 * 8)[0]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<IIII", self.data, table + 40 * i + 8) for i in range(sections)]

    def offset(self, rva):
        """File offset of a relative virtual address."""
        for virtual_size, address, raw_size, raw_offset in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_offset + rva - address
        raise ValueError("address %#x is in no section" % rva)

    def resource(self, kind):
        """Bytes of the first resource of a type (first name, first language), or None."""
        if not self.resource_rva:
            return None
        base = self.offset(self.resource_rva)
        entry = base
        for wanted in (kind, None, None):
            named, numbered = struct.unpack_from("<HH", self.data, entry + 12)
            entries = [struct.unpack_from("<II", self.data, entry + 16 + 8 * i) for i in range(named + numbered)]
            target = next((t for ident, t in entries if wanted is None or ident == wanted), None)
            if target is None:
                return None
            entry = base + (target & 0x7FFFFFFF)
        rva, size = struct.unpack_from("<II", self.data, entry)
        start = self.offset(rva)
        return self.data[start:start + size]

    def fixed_file_version(self):
        """FILEVERSION of the version resource's fixed part, as four numbers, or None."""
        resource = self.resource(RT_VERSION)
        if resource is None:
            return None
        fixed = _aligned(6 + len("VS_VERSION_INFO\0") * 2)
        signature, _, high, low = struct.unpack_from("<IIII", resource, fixed)
        if signature != 0xFEEF04BD:
            raise ValueError("no fixed file information")
        return (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)

    def version_strings(self):
        """The StringFileInfo values of the version resource, by key."""
        resource = self.resource(RT_VERSION)
        if resource is None:
            return {}
        strings = {}
        _walk_version_block(resource, 0, strings)
        return strings


def _aligned(offset):
    return (offset + 3) & ~3


def _walk_version_block(data, start, strings):
    """One block of a version resource: length, value length, type (1 = text), key,
    value, then child blocks; text values of the leaves go into strings."""
    length, value_length, kind = struct.unpack_from("<HHH", data, start)
    key_end = start + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[start + 6:key_end].decode("utf-16-le")
    value_start = _aligned(key_end + 2)
    value_bytes = value_length * 2 if kind == 1 else value_length
    if kind == 1 and value_length:
        strings[key] = data[value_start:value_start + value_bytes].decode("utf-16-le").rstrip("\0")
    child = _aligned(value_start + value_bytes)
    while child < start + length:
        child_length = struct.unpack_from("<H", data, child)[0]
        if child_length == 0:
            break
        _walk_version_block(data, child, strings)
        child = _aligned(child + child_length)
