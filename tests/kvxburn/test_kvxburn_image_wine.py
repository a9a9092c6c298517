"""kvxburn.exe under wine: the Win32 directory search (Windows-1252 names, 64-bit
sizes, last-write times in the local zone) feeding the layout, read back by pycdlib and
bsdtar."""

import os
import pathlib
import sys
import unittest

import test_kvxburn_image as native

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "support"))
from kvxtest import windows_path  # noqa: E402

WINE_RUN = os.path.join(os.environ.get("KVX_SOURCE_DIR", "../.."), "scripts", "wine-run")
KVXBURN_EXE = os.path.join(os.environ.get("KVX_BUILD_DIR", "build/win64"), "bin", "kvxburn.exe")


class KvxburnExeTest(native.KvxburnImageTest):
    iso_file_names_known = False  # wine gives long names 8.3 names of its own
    def image(self, paths, *options, name="out.iso"):
        out = os.path.join(self.dir, name)
        native.run([WINE_RUN, KVXBURN_EXE, "image", windows_path(out), *options, *map(windows_path, paths)])
        return out

    # The cases that exercise the directory search; the layout itself is the same code.
    test_empty_tree = None
    test_many_folders_in_path_table_order = None
    test_directory_record_filling_a_sector_and_path_table_on_a_boundary = None
    test_without_joliet = None
    test_second_session_read_at_its_offset = None
    test_file_above_four_gigabytes_is_multi_extent = None
    test_failures_exit_non_zero_with_the_error = None


del native.KvxburnImageTest  # not run twice from this module

if __name__ == "__main__":
    unittest.main()
