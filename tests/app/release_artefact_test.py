#!/usr/bin/python3
# Checks the shipped 32-bit kolbrin.exe: it stands alone (only system DLLs imported) and is
# large-address-aware, so a run on 64-bit Windows can use 4 GiB for big files.
# usage: release_artefact_test.py OBJDUMP KOLBRIN_EXE
import os
import re
import subprocess
import sys
import unittest

# DLLs that every supported Windows ships; anything else would have to travel with the program.
SYSTEM_DLLS = {
    'kernel32.dll', 'user32.dll', 'gdi32.dll', 'comctl32.dll', 'comdlg32.dll', 'shell32.dll',
    'shlwapi.dll', 'ole32.dll', 'oleaut32.dll', 'advapi32.dll', 'msvcrt.dll', 'uxtheme.dll',
    'bcrypt.dll', 'version.dll', 'rpcrt4.dll', 'ntdll.dll', 'imm32.dll', 'uiautomationcore.dll',
}

OBJDUMP, EXE = sys.argv[1], sys.argv[2]


class ReleaseArtefact(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # objdump translates its headings; the tests run under a Japanese locale.
        env = dict(os.environ, LANG='C', LC_ALL='C')
        cls.headers = subprocess.run([OBJDUMP, '-p', EXE], check=True, capture_output=True,
                                     text=True, errors='replace', env=env).stdout

    def test_is_a_32_bit_windows_program(self):
        self.assertTrue(re.search(r'file format pei-i386', self.headers), 'not a 32-bit PE image')
        self.assertTrue(re.search(r'(?m)^Subsystem\s+0+2\s', self.headers), 'not a windowed program')

    def test_imports_only_system_dlls(self):
        dlls = {name.lower() for name in re.findall(r'DLL Name:\s*(\S+)', self.headers)}
        self.assertIn('kernel32.dll', dlls)
        self.assertEqual(set(), dlls - SYSTEM_DLLS, 'imports beyond the system DLLs')

    def test_large_address_aware(self):
        match = re.search(r'(?m)^Characteristics\s+0x([0-9a-fA-F]+)', self.headers)
        self.assertIsNotNone(match)
        self.assertTrue(int(match.group(1), 16) & 0x0020, 'IMAGE_FILE_LARGE_ADDRESS_AWARE not set')


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
