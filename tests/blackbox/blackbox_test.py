#!/usr/bin/python3
# Black-box checks of kolbrin_bench.exe under Wine: every archive it writes must be accepted, and
# read back byte for byte, by Python's zipfile, 7-Zip and Info-ZIP unzip.
import json
import os
import random
import shutil
import struct
import subprocess
import tempfile
import unittest
import zipfile

WINE_RUN = os.environ["KOLBRIN_WINE_RUN"]
BENCH_EXE = os.environ["KOLBRIN_BENCH_EXE"]
TIMEOUT = 300


def setUpModule():
    # The prefix's services start detached; started by a checked run they would inherit its
    # output pipe and hold it open.
    subprocess.run([WINE_RUN, "wineboot"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=TIMEOUT)


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_bench(password, items):
    """Runs the tool; returns (exit code, parsed JSON or None, stderr text)."""
    proc = subprocess.run([WINE_RUN, BENCH_EXE, password] + [wine_path(p) for p in items],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIMEOUT)
    out = proc.stdout.decode("utf-8")
    report = json.loads(out) if proc.returncode == 0 else None
    if report is not None:
        assert out.endswith("\n") and out.count("\n") == 1, repr(out)
    return proc.returncode, report, proc.stderr.decode("utf-8", "replace")


def expected_entries(items):
    """Entry name (as text) -> source bytes, the way the program names what it collects."""
    entries = {}
    for item in items:
        top = os.path.basename(item)
        if os.path.isdir(item):
            for dirpath, dirnames, filenames in os.walk(item):
                dirnames[:] = [d for d in dirnames if not d.startswith(".")]
                rel = os.path.relpath(dirpath, item)
                for name in filenames:
                    parts = [top] + ([] if rel == "." else rel.split(os.sep)) + [name]
                    with open(os.path.join(dirpath, name), "rb") as f:
                        entries["/".join(parts)] = f.read()
        else:
            with open(item, "rb") as f:
                entries[top] = f.read()
    return entries


def build_fixture(root):
    """One tree for every case; returns a dict of named paths."""
    rng = random.Random(20240601)
    files = {
        "src/a.txt": b"hello\r\n",
        "src/empty.bin": b"",
        "src/nested/deeper/c.txt": b"nested text\n" * 50,
        "src/.git/config": b"[core]\n",
        "src/.gitignore": b"build/\n",
        # 表 and ソ have the trail byte 0x5C in code page 932.
        "src/日本語フォルダ/表示.txt": "表示のテスト\n".encode("utf-8") * 20,
        "src/ソース.txt": "ソースコード\n".encode("cp932") * 30,
        "big.txt": b"".join(b"line %06d: the quick brown fox jumps over the lazy dog %d\n"
                            % (i, rng.randrange(1000)) for i in range(20000)),
        "random.bin": rng.randbytes(256 * 1024),
        "single/only.txt": b"only one\n",
    }
    for rel, data in files.items():
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    os.makedirs(os.path.join(root, "src/emptysub"))
    os.makedirs(os.path.join(root, "hollow/inner"))
    return {k: os.path.join(root, k) for k in
            ["src", "big.txt", "random.bin", "src/a.txt", "src/empty.bin", "src/ソース.txt",
             "src/日本語フォルダ", "single/only.txt", "hollow"]}


def read_with_zipfile(archive, pwd):
    """Entry name -> bytes as Python's zipfile reads them; names decoded from code page 932."""
    result = {}
    with zipfile.ZipFile(archive) as zf:
        for info in zf.infolist():
            raw = info.orig_filename.encode("cp437") if not info.flag_bits & 0x800 else None
            assert raw is not None, "names must not be flagged UTF-8"
            result[raw.decode("cp932")] = zf.read(info, pwd=pwd)
    return result


def archive_order(archive):
    with zipfile.ZipFile(archive) as zf:
        return [info.orig_filename.encode("cp437").decode("cp932") for info in zf.infolist()]


def encryption_headers(archive):
    """The 12 stored header bytes of every entry, found through the central directory."""
    with open(archive, "rb") as f:
        data = f.read()
    headers = []
    with zipfile.ZipFile(archive) as zf:
        for info in zf.infolist():
            off = info.header_offset
            assert data[off:off + 4] == b"PK\x03\x04"
            n, m = struct.unpack_from("<HH", data, off + 26)
            headers.append(data[off + 30 + n + m:off + 42 + n + m])
    return headers


class Fixture(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="kolbrin-bb-")
        self.addCleanup(shutil.rmtree, self.root, True)
        self.p = build_fixture(self.root)

    def check_readers(self, archive, password, expected):
        """Fails unless all three readers accept the archive and read the source bytes."""
        pwd = password.encode("cp932")
        got = read_with_zipfile(archive, pwd)
        self.assertEqual(sorted(got), sorted(expected), "zipfile: entry names")
        for name, data in expected.items():
            self.assertEqual(got[name], data, "zipfile: bytes of " + name)
        concatenated = b"".join(expected[name] for name in archive_order(archive))

        # 7-Zip takes the password's bytes as they stand under the C locale.
        env7 = dict(os.environ, LC_ALL="C", LANG="C")
        t = subprocess.run([b"7z", b"t", b"-p" + pwd, archive.encode()], env=env7,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=TIMEOUT)
        self.assertEqual(t.returncode, 0, "7z t: " + t.stdout.decode("utf-8", "replace"))
        x = subprocess.run([b"7z", b"x", b"-so", b"-p" + pwd, archive.encode()], env=env7,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIMEOUT)
        self.assertEqual(x.returncode, 0, "7z x: " + x.stderr.decode("utf-8", "replace"))
        self.assertEqual(x.stdout, concatenated, "7z x: bytes")

        t = subprocess.run([b"unzip", b"-t", b"-P", pwd, archive.encode()],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=TIMEOUT)
        self.assertEqual(t.returncode, 0, "unzip -t: " + t.stdout.decode("utf-8", "replace"))
        x = subprocess.run([b"unzip", b"-p", b"-P", pwd, archive.encode()],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=TIMEOUT)
        self.assertEqual(x.returncode, 0, "unzip -p: " + x.stderr.decode("utf-8", "replace"))
        self.assertEqual(x.stdout, concatenated, "unzip -p: bytes")


class ArchivesReadBack(Fixture):
    # (case, password, items, archive beside the first item)
    CASES = [
        ("files and folders", "secret", ["src", "big.txt", "random.bin"], "src.zip"),
        ("japanese names and password", "日本語パス", ["src/ソース.txt", "src/日本語フォルダ"], "src/ソース.zip"),
        ("32-byte ascii password", "0123456789abcdefghijklmnopqrstuv", ["single/only.txt"], "single/only.zip"),
        ("32-byte japanese password", "日本語のパスワードは三十二バイト", ["big.txt"], "big.zip"),
        ("empty file alone", "x", ["src/empty.bin"], "src/empty.zip"),
        ("one-byte password", "!", ["random.bin", "src/a.txt"], "random.zip"),
    ]

    def test_readers_accept_every_archive(self):
        for case, password, items, archive_rel in self.CASES:
            with self.subTest(case):
                paths = [self.p[i] for i in items]
                archive = os.path.join(self.root, archive_rel)
                code, report, err = run_bench(password, paths)
                self.assertEqual(code, 0, err)
                expected = expected_entries(paths)
                self.assertEqual(report["result"], 0)
                self.assertEqual(report["archive"], wine_path(archive))
                self.assertEqual(report["files"], len(expected))
                self.assertIsInstance(report["ms"], (int, float))
                self.check_readers(archive, password, expected)
                os.remove(archive)

    def test_names_keep_code_page_932_bytes(self):
        code, report, err = run_bench("pw", [self.p["src"]])
        self.assertEqual((code, report["result"]), (0, 0), err)
        with zipfile.ZipFile(os.path.join(self.root, "src.zip")) as zf:
            raw = {i.orig_filename.encode("cp437") for i in zf.infolist()}
        self.assertIn("src/ソース.txt".encode("cp932"), raw)      # 83 5C stays 83 5C
        self.assertIn("src/日本語フォルダ/表示.txt".encode("cp932"), raw)
        self.assertIn(b"src/.gitignore", raw)
        self.assertFalse(any(b".git/" in r for r in raw))

    def test_empty_file_is_stored_as_fourteen_bytes(self):
        code, report, err = run_bench("pw", [self.p["src/empty.bin"]])
        self.assertEqual((code, report["result"]), (0, 0), err)
        with zipfile.ZipFile(os.path.join(self.root, "src/empty.zip")) as zf:
            (info,) = zf.infolist()
        self.assertEqual((info.compress_size, info.CRC, info.file_size), (14, 0, 0))


class ResultCodes(Fixture):
    def test_missing_item_counts_earlier_files(self):
        code, report, err = run_bench("pw", [self.p["src/a.txt"], os.path.join(self.root, "nothing.txt")])
        self.assertEqual(code, 0, err)
        self.assertEqual((report["result"], report["archive"], report["files"]), (103, "", 1))
        self.assertFalse(os.path.exists(os.path.join(self.root, "src/a.zip")))

    def test_all_hundred_names_taken(self):
        folder = os.path.join(self.root, "single")
        names = ["only.zip"] + ["only (%d).zip" % n for n in range(1, 100)]
        for name in names:
            if name == "only (50).zip":
                os.mkdir(os.path.join(folder, name))     # a folder takes a name as a file does
            else:
                open(os.path.join(folder, name), "wb").close()
        before = sorted(os.listdir(folder))
        code, report, err = run_bench("pw", [self.p["single/only.txt"]])
        self.assertEqual(code, 0, err)
        self.assertEqual((report["result"], report["archive"]), (7, ""))
        self.assertEqual(sorted(os.listdir(folder)), before)

    def test_ninety_nine_taken_gives_the_last_number(self):
        folder = os.path.join(self.root, "single")
        for name in ["only.zip"] + ["only (%d).zip" % n for n in range(1, 99)]:
            open(os.path.join(folder, name), "wb").close()
        code, report, err = run_bench("pw", [self.p["single/only.txt"]])
        self.assertEqual((code, report["result"]), (0, 0), err)
        self.assertEqual(report["archive"], wine_path(os.path.join(folder, "only (99).zip")))

    def test_empty_folder_gives_no_files(self):
        code, report, err = run_bench("pw", [self.p["hollow"]])
        self.assertEqual(code, 0, err)
        self.assertEqual((report["result"], report["archive"], report["files"]), (2, "", 0))

    def test_password_outside_one_to_32_bytes_exits_2(self):
        for case, password in [("empty", ""), ("33 ascii bytes", "a" * 33),
                               ("34 bytes from 17 japanese characters", "日" * 17)]:
            with self.subTest(case):
                code, report, err = run_bench(password, [self.p["src/a.txt"]])
                self.assertEqual(code, 2)
                self.assertIn("password", err)
                self.assertFalse(os.path.exists(os.path.join(self.root, "src/a.zip")))


class MendedFaults(Fixture):
    def test_full_volume_gives_write_failed_and_publishes_the_path(self):
        if os.geteuid() != 0:
            self.skipTest("mounting a small tmpfs needs root")
        volume = os.path.join(self.root, "vol")
        os.mkdir(volume)
        mount = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", volume],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if mount.returncode != 0:
            self.skipTest("mount -t tmpfs is not permitted here: " + mount.stdout.decode().strip())
        self.addCleanup(subprocess.run, ["umount", volume])
        first = os.path.join(volume, "first.txt")
        with open(first, "wb") as f:
            f.write(b"x")
        code, report, err = run_bench("pw", [first, self.p["random.bin"]])
        self.assertEqual(code, 0, err)
        self.assertEqual(report["result"], 12)
        self.assertEqual(report["archive"], wine_path(os.path.join(volume, "first.zip")))

    def test_two_runs_give_different_encryption_headers(self):
        items = [self.p["src"]]
        archive = os.path.join(self.root, "src.zip")
        headers = []
        for _ in range(2):
            code, report, err = run_bench("same password", items)
            self.assertEqual((code, report["result"]), (0, 0), err)
            headers.append(dict(zip(archive_order(archive), encryption_headers(archive))))
            os.remove(archive)
        self.assertEqual(sorted(headers[0]), sorted(headers[1]))
        for name in headers[0]:
            self.assertNotEqual(headers[0][name][:11], headers[1][name][:11], name)
        # Within one archive the entries do not share header bytes either.
        self.assertEqual(len({h[:11] for h in headers[0].values()}), len(headers[0]))


if __name__ == "__main__":
    unittest.main(verbosity=2)
