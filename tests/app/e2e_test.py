#!/usr/bin/python3
# End-to-end runs of kolbrin.exe through its real windows under Wine, worked by kolbrin_uidriver.
# Run through CTest (which sets KOLBRIN_BUILD_DIR, KOLBRIN_EXE and KOLBRIN_UIDRIVER) inside the
# test command's Wine session; one argument names the group of cases to run.
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

BUILD = os.environ.get('KOLBRIN_BUILD_DIR', '')
EXE = os.environ.get('KOLBRIN_EXE', '')
DRIVER = os.environ.get('KOLBRIN_UIDRIVER', '')
WINE_RUN = os.path.join(BUILD, 'wine-run')

PASSWORD = 'Tr0ub4dor&3'
CAPTION = 'Kolbrin'
EMPTY_DIRS_NOTICE = ('暗号化圧縮 (zip 形式) フォルダーに、１つ以上の空のディレクトリを'
                     '追加できませんでした。')


def generic_error(code):
    return '何らかのエラーが発生しました。(%d)' % code


def empty_folder_message(item):
    return ('指定されたディレクトリ %s は空なので、暗号化圧縮 (zip 形式) フォルダーは'
            'そのディレクトリをアーカイブに追加できません。' % item)


def winpath(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def drive(items, password=None, exe=EXE, options=(), timeout=300):
    """Runs kolbrin.exe with ITEMS (Unix paths) through the driver and returns its report."""
    with tempfile.TemporaryDirectory(prefix='kolbrin-report-') as tmp:
        out = os.path.join(tmp, 'report.json')
        cmd = [WINE_RUN, DRIVER, '--exe', winpath(exe), '--out', winpath(out)]
        if password is not None:
            cmd += ['--password', password]
        cmd += list(options) + ['--'] + [winpath(i) for i in items]
        # Files, not pipes: a Wine helper process that inherited a pipe would keep it open.
        with open(os.path.join(tmp, 'stderr.txt'), 'w+b') as err:
            run = subprocess.run(cmd, timeout=timeout, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=err)
            err.seek(0)
            if run.returncode != 0 or not os.path.exists(out):
                raise AssertionError('driver failed (%d): %s' % (run.returncode, err.read().decode(errors='replace')))
        with open(out, encoding='utf-8') as f:
            report = json.load(f)
    if report['timed_out']:
        raise AssertionError('kolbrin.exe did not end: %r' % report)
    return report


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def tree_files(root):
    """Relative path -> bytes for every file below ROOT."""
    found = {}
    for folder, _, files in os.walk(root):
        for name in files:
            full = os.path.join(folder, name)
            with open(full, 'rb') as f:
                found[os.path.relpath(full, root)] = f.read()
    return found


def zip_contents(path, password):
    with zipfile.ZipFile(path, metadata_encoding='cp932') as archive:
        return {info.filename: archive.read(info, pwd=password) for info in archive.infolist()}


def assert_tools_accept(test, path, password):
    seven = subprocess.run(['7z', 't', '-p' + password, path], capture_output=True)
    test.assertEqual(0, seven.returncode, seven.stdout.decode(errors='replace'))
    unzip = subprocess.run(['unzip', '-t', '-P', password, path], capture_output=True)
    test.assertEqual(0, unzip.returncode, unzip.stdout.decode(errors='replace'))


class Case(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix='kolbrin-e2e-')
        self.addCleanup(shutil.rmtree, self.dir, True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def assertQuietSuccess(self, report):
        self.assertTrue(report['password_dialog']['seen'])
        self.assertEqual([], report['messages'])
        self.assertEqual(0, report['exit_code'])

    def assertOnlyMessage(self, report, text):
        self.assertEqual([(CAPTION, text)], [(m['caption'], m['text']) for m in report['messages']])
        self.assertEqual(0, report['exit_code'])


class NormalRun(Case):
    def make_items(self):
        write(self.path('report.txt'), b'quarterly figures\r\n' * 50)
        write(self.path('docs', 'readme.md'), b'# notes\n')
        write(self.path('docs', '2010', 'b.bin'), bytes(range(256)) * 40)
        write(self.path('docs', '2010', 'deep', '日本語.txt'), 'こんにちは'.encode('cp932'))
        write(self.path('docs', 'empty.dat'), b'')
        return [self.path('report.txt'), self.path('docs')]

    def expected_entries(self):
        files = tree_files(self.dir)
        return {name.replace(os.sep, '/'): data for name, data in files.items()}

    def test_files_and_nested_folders_become_one_archive_beside_the_first_item(self):
        items = self.make_items()
        expected = self.expected_entries()
        report = drive(items, PASSWORD)
        self.assertQuietSuccess(report)
        # A run this short never shows the progress dialog.
        self.assertEqual(0, report['progress']['show_count'])
        self.assertEqual(['docs', 'report.txt', 'report.zip'], sorted(os.listdir(self.dir)))
        archive = self.path('report.zip')
        self.assertEqual(expected, zip_contents(archive, PASSWORD.encode('ascii')))
        assert_tools_accept(self, archive, PASSWORD)

    def test_taken_name_gets_the_next_number(self):
        items = self.make_items()
        write(self.path('report.zip'), b'not ours')
        write(self.path('report (1).zip'), b'not ours either')
        report = drive(items, PASSWORD)
        self.assertQuietSuccess(report)
        with open(self.path('report.zip'), 'rb') as f:
            self.assertEqual(b'not ours', f.read())
        self.assertIn('report.txt', zip_contents(self.path('report (2).zip'), PASSWORD.encode('ascii')))

    def test_japanese_password_is_used_in_the_ansi_code_page(self):
        write(self.path('a.txt'), b'alpha')
        password = '秘密pass'
        report = drive([self.path('a.txt')], password)
        self.assertQuietSuccess(report)
        self.assertEqual({'a.txt': b'alpha'}, zip_contents(self.path('a.zip'), password.encode('cp932')))


class PasswordDialog(Case):
    def test_cancel_writes_nothing_and_says_nothing(self):
        write(self.path('a.txt'), b'alpha')
        report = drive([self.path('a.txt')])
        self.assertEqual('cancel', report['password_dialog']['action'])
        self.assertEqual([], report['messages'])
        self.assertEqual(0, report['exit_code'])
        self.assertFalse(report['progress']['created'])
        self.assertEqual(['a.txt'], os.listdir(self.dir))

    def test_without_items_only_cancel_and_links_are_usable(self):
        report = drive([])
        dialog = report['password_dialog']
        self.assertTrue(dialog['seen'])
        self.assertEqual('暗号化圧縮 (zip 形式) フォルダー', dialog['caption'])
        self.assertEqual({'password': False, 'confirm': False, 'show': False, 'ok': False, 'cancel': True,
                          'link_home': True, 'link_update': True, 'link_qa': True}, dialog['enabled'])
        self.assertEqual([], report['messages'])
        self.assertEqual(0, report['exit_code'])


class Failures(Case):
    def test_empty_subfolder_gives_the_notice_and_the_archive_stands(self):
        write(self.path('photos', 'a.jpg'), b'jpeg bytes')
        os.makedirs(self.path('photos', 'empty'))
        report = drive([self.path('photos')], PASSWORD)
        self.assertOnlyMessage(report, EMPTY_DIRS_NOTICE)
        self.assertEqual({'photos/a.jpg': b'jpeg bytes'},
                         zip_contents(self.path('photos.zip'), PASSWORD.encode('ascii')))

    def test_results_that_leave_nothing_behind(self):
        # name, what to make (relative path -> bytes, None for a folder), items, expected message
        cases = [
            ('single empty folder', {'empty': None}, ['empty'],
             lambda items: empty_folder_message(winpath(items[0]))),
            ('missing item', {'a.txt': b'a'}, ['a.txt', 'missing.txt'], lambda items: generic_error(103)),
            ('all names taken', dict({'r.txt': b'r', 'r.zip': b''}, **{'r (%d).zip' % n: b'' for n in range(1, 100)}),
             ['r.txt'], lambda items: generic_error(7)),
        ]
        for name, make, args, message in cases:
            with self.subTest(name):
                root = self.path(name.replace(' ', '_'))
                os.makedirs(root)
                for rel, data in make.items():
                    if data is None:
                        os.makedirs(os.path.join(root, rel))
                    else:
                        write(os.path.join(root, rel), data)
                before = tree_files(root)
                items = [os.path.join(root, a) for a in args]
                report = drive(items, PASSWORD)
                self.assertOnlyMessage(report, message(items))
                self.assertEqual(before, tree_files(root))
                self.assertEqual(sorted(make), sorted(os.listdir(root)))
        with self.subTest('input held open unshared by another program'):
            held = self.path('held', 'a.txt')
            write(held, b'locked')
            write(self.path('held', 'b.txt'), b'free')
            report = drive([self.path('held', 'b.txt'), held], PASSWORD, options=['--hold', winpath(held)])
            self.assertTrue(report['hold_ok'])
            self.assertOnlyMessage(report, generic_error(4))
            self.assertEqual(['a.txt', 'b.txt'], sorted(os.listdir(self.path('held'))))


class Progress(Case):
    FILES = 12
    SIZE = 4 * 1024 * 1024

    def make_big_items(self):
        names = ['chunk%02d.bin' % i for i in range(self.FILES)]
        for name in names:
            write(self.path('big', name), os.urandom(self.SIZE))
        return names

    def test_long_run_shows_the_dialog_once_with_the_file_names(self):
        names = self.make_big_items()
        report = drive([self.path('big')], PASSWORD)
        self.assertQuietSuccess(report)
        progress = report['progress']
        self.assertEqual('暗号化圧縮しています...', progress['caption'])
        self.assertEqual(1, progress['show_count'])
        self.assertGreater(progress['first_shown_ms'], 500)
        seen = [t for t in progress['texts'] if t in names]
        self.assertGreaterEqual(len(set(seen)), 2, progress['texts'])
        self.assertNotIn('スタティック', progress['texts'])
        archive = self.path('big.zip')
        seven = subprocess.run(['7z', 't', '-p' + PASSWORD, archive], capture_output=True)
        self.assertEqual(0, seven.returncode, seven.stdout.decode(errors='replace'))

    def test_cancel_ends_quietly_and_leaves_no_partial_archive(self):
        self.make_big_items()
        report = drive([self.path('big')], PASSWORD, options=['--cancel-progress'])
        self.assertTrue(report['progress']['cancel_clicked'])
        self.assertEqual([], report['messages'])
        self.assertEqual(0, report['exit_code'])
        self.assertEqual(['big'], os.listdir(self.dir))


class DiskFull(Case):
    def test_full_disk_reports_an_error_and_leaves_no_archive(self):
        if os.geteuid() != 0:
            self.skipTest('mounting a small filesystem needs root')
        small = self.path('small')
        os.makedirs(small)
        mount = subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=512k', 'tmpfs', small], capture_output=True)
        if mount.returncode != 0:
            self.skipTest('mount not permitted here: ' + mount.stderr.decode(errors='replace').strip())
        self.addCleanup(subprocess.run, ['umount', '-l', small])
        write(os.path.join(small, 'first.txt'), b'the archive goes beside me')
        write(self.path('data', 'noise.bin'), os.urandom(3 * 1024 * 1024))
        report = drive([os.path.join(small, 'first.txt'), self.path('data')], PASSWORD)
        # The archive is created, then a write fails for want of space.
        self.assertOnlyMessage(report, generic_error(12))
        self.assertEqual(['first.txt'], os.listdir(small))


class DiagnosticLog(Case):
    def test_log_beside_the_program_records_capture_and_automation_failure(self):
        program = self.path('prog', 'kolbrin.exe')
        os.makedirs(os.path.dirname(program))
        shutil.copy(EXE, program)
        with open(self.path('prog', 'kolbrin.ini'), 'wb') as f:
            f.write(b'[Set]\r\nLogSave=1\r\n')
        write(self.path('a.txt'), b'alpha')
        report = drive([self.path('a.txt')], PASSWORD, exe=program, options=['--foreground'])
        self.assertQuietSuccess(report)
        with open(self.path('prog', 'kolbrin.log'), 'rb') as f:
            lines = f.read().decode('latin-1').split('\r\n')
        stamp = r'\[\d{8}-\d{6}\]'
        self.assertRegex(lines[0], '^' + stamp + r'hwndForeground=-?\d+$')
        # The driver's focused edit stands in for Explorer's file list: that is what must be captured.
        self.assertNotEqual(0, report['foreground_edit'])
        self.assertIn('g_hwndCtl=%d' % report['foreground_edit'], [line[17:] for line in lines], lines)
        failed = [i for i, line in enumerate(lines) if re.match(stamp + 'CoCreateInstance NG$', line)]
        self.assertTrue(failed, lines)
        self.assertRegex(lines[failed[0] + 1], '^' + stamp + r'Error code:[0-9a-f]{8}H')


if __name__ == '__main__':
    for name in ('KOLBRIN_BUILD_DIR', 'KOLBRIN_EXE', 'KOLBRIN_UIDRIVER'):
        if not os.environ.get(name):
            sys.exit('e2e_test: %s is not set (run it through ctest)' % name)
    unittest.main(verbosity=2)
