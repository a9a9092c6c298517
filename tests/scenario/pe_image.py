"""Reads what the tests check in a Windows program or DLL (PE file), through Debian's
pefile: its machine and kind, its subsystem, the version information and the application
manifest among its resources, the functions it imports and those it exports."""

import pefile

I386 = pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]
AMD64 = pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]
PE32_MAGIC = pefile.OPTIONAL_HEADER_MAGIC_PE
WINDOWS_GUI = pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]
WINDOWS_CONSOLE = pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_CUI"]
RT_MANIFEST = pefile.RESOURCE_TYPE["RT_MANIFEST"]


class PeImage:
    def __init__(self, path):
        self.pe = pefile.PE(str(path))
        self.machine = self.pe.FILE_HEADER.Machine
        self.magic = self.pe.OPTIONAL_HEADER.Magic
        self.subsystem = self.pe.OPTIONAL_HEADER.Subsystem
        self.is_dll = self.pe.is_dll()

    def resource(self, kind):
        """Bytes of the first resource of a type (first name, first language), or None."""
        directory = getattr(self.pe, "DIRECTORY_ENTRY_RESOURCE", None)
        for entry in directory.entries if directory else []:
            if entry.id == kind:
                data = entry.directory.entries[0].directory.entries[0].data.struct
                return self.pe.get_data(data.OffsetToData, data.Size)
        return None

    def fixed_file_version(self):
        """FILEVERSION of the version resource's fixed part, as four numbers, or None."""
        if not getattr(self.pe, "VS_FIXEDFILEINFO", None):
            return None
        fixed = self.pe.VS_FIXEDFILEINFO[0]
        high, low = fixed.FileVersionMS, fixed.FileVersionLS
        return (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)

    def version_strings(self):
        """The StringFileInfo values of the version resource, by key."""
        strings = {}
        for group in getattr(self.pe, "FileInfo", []):
            for block in group:
                for table in getattr(block, "StringTable", []):
                    strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
        return strings

    def imports(self):
        """The functions imported at load time, by DLL name in upper case: names, or
        '#ordinal' for those imported by number."""
        imported = {}
        for entry in getattr(self.pe, "DIRECTORY_ENTRY_IMPORT", []) + getattr(self.pe, "DIRECTORY_ENTRY_DELAY_IMPORT", []):
            functions = imported.setdefault(entry.dll.decode().upper(), set())
            functions.update(f.name.decode() if f.name else "#%d" % f.ordinal for f in entry.imports)
        return imported

    def exports(self):
        """The functions a DLL exports: names, and '#ordinal' for every ordinal."""
        directory = getattr(self.pe, "DIRECTORY_ENTRY_EXPORT", None)
        if directory is None:
            return set()
        return {s.name.decode() for s in directory.symbols if s.name} | {"#%d" % s.ordinal for s in directory.symbols}
