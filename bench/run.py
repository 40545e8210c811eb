#!/usr/bin/python3
# Benchmark: times Kolbrin against the single-threaded floor (read + CRC-32 + raw deflate),
# Info-ZIP zip and 7-Zip on one deterministic corpus, and checks its deflate output is the floor's.
# Usage: bench/run.py [--full-identity] [--skip-peers]   (after the build: bash scripts/test.sh)
import argparse
import json
import os
import random
import resource
import shutil
import subprocess
import sys
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, "build", "benchmark")
CORPUS = os.path.join(WORK, "corpus")
STAMP = os.path.join(WORK, "corpus.stamp")
CORPUS_VERSION = "kolbrin-bench-corpus 1"
PASSWORD = "bench-password"
FLOOR = "floor: read+CRC-32+deflate, 1 thread"
WINE_FLOOR = "same floor under Wine, mingw zlib"
OURS = "Kolbrin (build, in process)"
IDENTITY_PREFIX = 64 * 1024    # bytes of each stream compared unless --full-identity


# ---------------------------------------------------------------- corpus

def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def text_block(rng, vocab, nbytes):
    """Log- and prose-like lines drawn from a fixed vocabulary until nbytes are reached."""
    lines, size, n = [], 0, 0
    while size < nbytes:
        words = rng.choices(vocab, k=rng.randrange(6, 18))
        if n % 3 == 0:
            line = "%08d [%s] %s" % (n, rng.choice(("INFO", "WARN", "DEBUG", "ERROR")), " ".join(words))
        else:
            line = " ".join(words).capitalize() + "."
        b = (line + "\n").encode("utf-8")
        lines.append(b)
        size += len(b)
        n += 1
    return b"".join(lines)[:nbytes]


def make_corpus():
    """Generated once and cached: text, incompressible and many small files, some Japanese names."""
    if os.path.exists(STAMP) and open(STAMP).read().strip() == CORPUS_VERSION and os.path.isdir(CORPUS):
        return
    print("generating the corpus in", CORPUS, flush=True)
    shutil.rmtree(CORPUS, ignore_errors=True)
    rng = random.Random(1951)
    letters = "etaoinshrdlucmfwypvbgkjqxz"
    vocab = ["".join(rng.choices(letters, k=rng.randrange(2, 10))) for _ in range(3000)]
    vocab += ["日本語", "報告", "資料", "圧縮", "暗号", "ファイル", "フォルダ", "表示", "ソース"]
    for i in range(30):
        name = ("報告書_%02d.txt" % i) if i % 5 == 0 else ("log_%02d.txt" % i)
        write(os.path.join(CORPUS, "text", name), text_block(rng, vocab, 3 * 1024 * 1024))
    for i in range(8):
        write(os.path.join(CORPUS, "binary", "random_%d.bin" % i), rng.randbytes(6 * 1024 * 1024))
    import zlib
    for i in range(2):   # already-compressed data of a real kind
        write(os.path.join(CORPUS, "binary", "packed_%d.dat" % i),
              zlib.compress(text_block(rng, vocab, 12 * 1024 * 1024), 9))
    for d in range(40):
        folder = ("資料_%02d" % d) if d % 5 == 0 else ("dir_%02d" % d)
        for f in range(100):
            sub = "sub_%d" % (f % 3)
            name = ("メモ_%03d.txt" % f) if f % 5 == 0 else ("note_%03d.txt" % f)
            write(os.path.join(CORPUS, "small", folder, sub, name),
                  text_block(rng, vocab, rng.randrange(512, 12 * 1024)))
    with open(STAMP, "w") as f:
        f.write(CORPUS_VERSION + "\n")


def corpus_files():
    paths = []
    for dirpath, dirnames, filenames in os.walk(CORPUS):
        dirnames.sort()
        paths += [os.path.join(dirpath, n) for n in sorted(filenames)]
    return paths


# ---------------------------------------------------------------- tools

def run_timed(cmd, cwd=None):
    """Runs cmd; returns (wall seconds, CPU seconds of the process and its children, stdout)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    proc = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if proc.returncode != 0:
        sys.exit("failed: %s\n%s" % (" ".join(cmd), proc.stderr.decode("utf-8", "replace")))
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return elapsed, cpu, proc.stdout.decode("utf-8", "replace")


def build_floor():
    exe = os.path.join(WORK, "floor")
    src = os.path.join(ROOT, "bench", "floor.c")
    if not os.path.exists(exe) or os.path.getmtime(exe) < os.path.getmtime(src):
        subprocess.run(["gcc", "-O2", "-Wall", "-Wextra", "-o", exe, src, "-lz"], check=True)
    return exe


def build_floor_for_windows(triplet):
    """The same floor as a Windows program with the mingw zlib Kolbrin links, to run under Wine."""
    exe = os.path.join(WORK, "floor-%s.exe" % triplet)
    src = os.path.join(ROOT, "bench", "floor.c")
    if not os.path.exists(exe) or os.path.getmtime(exe) < os.path.getmtime(src):
        subprocess.run(["%s-gcc-posix" % triplet, "-O2", "-Wall", "-Wextra", "-o", exe, src,
                        "/usr/%s/lib/libz.a" % triplet, "-static"], check=True)
    return exe


def kolbrin_build():
    """The shipped 32-bit build where this machine runs 32-bit code, else the 64-bit test build."""
    if subprocess.run(["bash", os.path.join(ROOT, "scripts", "can-run-i386")]).returncode == 0:
        build, note = os.path.join(ROOT, "build"), "32-bit build under 32-bit Wine"
        triplet = "i686-w64-mingw32"
    else:
        triplet = "x86_64-w64-mingw32"
        build = os.path.join(ROOT, "build", "x64")
        note = "64-bit test build under 64-bit Wine (this host cannot execute 32-bit code)"
    exe = os.path.join(build, "bench", "kolbrin_bench.exe")
    if not os.path.exists(exe):
        sys.exit("missing %s: build first (bash scripts/test.sh)" % exe)
    return os.path.join(build, "wine-run"), exe, build, note, triplet


def wineserver(build, option):
    """Runs the build's wineserver with -p (keep alive) or -k (end); True when it succeeded."""
    return subprocess.run(["bash", "-c", '. "%s/wine-env.sh" && "$WINESERVER" %s' % (build, option)],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


def run_kolbrin(wine_run, exe):
    archive = os.path.join(WORK, "corpus.zip")
    if os.path.exists(archive):
        os.remove(archive)
    wall, cpu, out = run_timed([wine_run, exe, PASSWORD, wine_path(CORPUS)])
    report = json.loads(out)
    if report["result"] != 0:
        sys.exit("kolbrin_bench failed: %s" % out)
    return wall, cpu, report, archive


def opens_with_password(archive):
    proc = subprocess.run(["7z", "t", "-p" + PASSWORD, archive], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return proc.returncode == 0


# ---------------------------------------------------------------- deflate identity

def crc_table():
    table = []
    for n in range(256):
        c = n
        for _ in range(8):
            c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
        table.append(c)
    return table


TABLE = crc_table()


def decrypt(data, keys):
    """The traditional PKWARE cipher, decrypting; keys (a list of 3) are advanced in place."""
    k0, k1, k2 = keys
    t = TABLE
    out = bytearray(len(data))
    for i, b in enumerate(data):
        x = (k2 | 2) & 0xFFFF
        p = b ^ (((x * (x ^ 1)) >> 8) & 0xFF)
        out[i] = p
        k0 = (k0 >> 8) ^ t[(k0 ^ p) & 0xFF]
        k1 = ((k1 + (k0 & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        k2 = (k2 >> 8) ^ t[(k2 ^ (k1 >> 24)) & 0xFF]
    keys[:] = [k0, k1, k2]
    return bytes(out)


def password_keys(password):
    keys = [0x12345678, 0x23456789, 0x34567890]
    for b in password:   # the key update with each byte: decrypting the byte's own encryption
        k0 = (keys[0] >> 8) ^ TABLE[(keys[0] ^ b) & 0xFF]
        k1 = ((keys[1] + (k0 & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        k2 = (keys[2] >> 8) ^ TABLE[(keys[2] ^ (k1 >> 24)) & 0xFF]
        keys = [k0, k1, k2]
    return keys


def check_identity(archive, floor_exe, full):
    """Decrypts our entries and compares their deflate bytes with the floor's streams for the same files."""
    with zipfile.ZipFile(archive) as zf:
        infos = zf.infolist()
    names = [i.orig_filename.encode("cp437").decode("cp932") for i in infos]
    listfile = os.path.join(WORK, "identity.list")
    with open(listfile, "w", encoding="utf-8") as f:
        for name in names:
            f.write(os.path.join(WORK, name) + "\n")
    dump = os.path.join(WORK, "floor.streams")
    subprocess.run([floor_exe, listfile, dump], check=True, stdout=subprocess.DEVNULL)
    with open(dump, "rb") as f:
        streams = f.read()
    with open(archive, "rb") as f:
        data = f.read()
    pos, compared, mismatches = 0, 0, []
    base_keys = password_keys(PASSWORD.encode("ascii"))
    for info, name in zip(infos, names):
        length = int.from_bytes(streams[pos:pos + 8], "little")
        floor_stream = streams[pos + 8:pos + 8 + length]
        pos += 8 + length
        off = info.header_offset
        n = int.from_bytes(data[off + 26:off + 28], "little")
        m = int.from_bytes(data[off + 28:off + 30], "little")
        start = off + 30 + n + m
        if info.compress_size - 12 != length:
            mismatches.append("%s: %d deflate bytes, floor %d" % (name, info.compress_size - 12, length))
            continue
        keys = list(base_keys)
        header = decrypt(data[start:start + 12], keys)
        if header[11] != info.CRC >> 24:
            mismatches.append("%s: check byte" % name)
            continue
        count = length if full else min(length, IDENTITY_PREFIX)
        if decrypt(data[start + 12:start + 12 + count], keys) != floor_stream[:count]:
            mismatches.append("%s: deflate bytes differ" % name)
        compared += count
    os.remove(dump)
    return len(infos), compared, mismatches


# ---------------------------------------------------------------- main

def machine():
    model = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    wine = subprocess.run(["/usr/lib/wine/wine64", "--version"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return "%s cores, %s, %s" % (os.cpu_count(), model, wine.stdout.decode().strip())


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--full-identity", action="store_true",
                        help="compare every deflate byte (slow: the cipher runs in Python)")
    parser.add_argument("--rounds", type=int, default=3, help="measurements per tool (the best counts)")
    parser.add_argument("--skip-peers", action="store_true", help="time only the floor and Kolbrin")
    args = parser.parse_args()

    os.makedirs(WORK, exist_ok=True)
    make_corpus()
    files = corpus_files()
    total = sum(os.path.getsize(p) for p in files)
    mb = total / 1e6
    wine_run, exe, build, note, triplet = kolbrin_build()
    floor_exe = build_floor()
    wine_floor = [wine_run, build_floor_for_windows(triplet), wine_path(os.path.join(WORK, "corpus-wine.list"))]
    listfile = os.path.join(WORK, "corpus.list")
    with open(listfile, "w", encoding="utf-8") as f:
        f.write("".join(p + "\n" for p in files))
    with open(os.path.join(WORK, "corpus-wine.list"), "w", encoding="utf-8") as f:
        f.write("".join(wine_path(p) + "\n" for p in files))
    out_dir = os.path.join(WORK, "out")
    shutil.rmtree(out_dir, ignore_errors=True)
    os.makedirs(out_dir)

    print("machine: %s" % machine())
    print("kolbrin: %s" % note)
    print("corpus:  %d files, %.1f MB" % (len(files), mb))

    # Each tool once per round, interleaved; the best of the rounds counts (the host is shared).
    run_timed([floor_exe, listfile])                       # warm the page cache
    # A kept-alive server, so every run starts warm; ended afterwards only if it is ours (a test
    # session may hold one for the same prefix).
    started_server = wineserver(build, "-p")
    # The prefix's services start detached here; started by a measured run they would inherit its
    # output pipe and hold it open.
    subprocess.run([wine_run, "wineboot"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    try:
        return measure(args, files, mb, listfile, out_dir, floor_exe, wine_floor, wine_run, exe)
    finally:
        if started_server:
            wineserver(build, "-k")


def measure(args, files, mb, listfile, out_dir, floor_exe, wine_floor, wine_run, exe):
    best = {}
    phases = {}   # the floors' phase times, from each floor's fastest round

    def record_phases(tool, report):
        if tool not in phases or report["ms"] < phases[tool]["ms"]:
            phases[tool] = report

    def record(tool, wall, cpu, size, ok):
        old = best.get(tool)
        if old is None:
            best[tool] = (wall, cpu, size, ok)
        else:
            best[tool] = (min(wall, old[0]), min(cpu, old[1]), size, None if ok is None else ok and old[3])

    run_kolbrin(wine_run, exe)                             # warm-up: Wine's start-up and the page cache
    for _ in range(args.rounds):
        wall, cpu, out = run_timed([floor_exe, listfile])
        floor = json.loads(out)
        record(FLOOR, floor["ms"] / 1000.0, cpu, floor["out"], None)
        record_phases(FLOOR, floor)
        wall, cpu, out = run_timed(wine_floor)
        record(WINE_FLOOR, json.loads(out)["ms"] / 1000.0, cpu, floor["out"], None)
        record_phases(WINE_FLOOR, json.loads(out))
        if not args.skip_peers:
            zip_out = os.path.join(out_dir, "infozip.zip")
            if os.path.exists(zip_out):
                os.remove(zip_out)
            wall, cpu, _ = run_timed(["zip", "-r", "-q", "-e", "-P", PASSWORD, zip_out, "corpus"], cwd=WORK)
            record("Info-ZIP zip -e", wall, cpu, os.path.getsize(zip_out), opens_with_password(zip_out))
            sz_out = os.path.join(out_dir, "7zip.zip")
            if os.path.exists(sz_out):
                os.remove(sz_out)
            wall, cpu, _ = run_timed(["7z", "a", "-tzip", "-mem=ZipCrypto", "-p" + PASSWORD, sz_out, "corpus"],
                                     cwd=WORK)
            record("7-Zip -tzip ZipCrypto (2 threads)", wall, cpu, os.path.getsize(sz_out),
                   opens_with_password(sz_out))
        wall, cpu, report, archive = run_kolbrin(wine_run, exe)
        size, ok = os.path.getsize(archive), opens_with_password(archive)
        record(OURS, report["ms"] / 1000.0, cpu, size, ok)
        record("Kolbrin, wall incl. Wine start", wall, cpu, size, ok)

    ours_wall, ours_cpu = best[OURS][0], best[OURS][1]
    print()
    print("best of %d rounds; ratios are Kolbrin's time over the tool's" % args.rounds)
    print("%-36s %8s %8s %8s %12s %6s %9s %9s" % ("tool", "seconds", "MB/s", "CPU s", "output bytes", "opens",
                                                "ours/wall", "ours/CPU"))
    for tool, (wall, cpu, size, ok) in best.items():
        print("%-36s %8.2f %8.1f %8.2f %12d %6s %9.3f %9.3f" % (
            tool, wall, mb / wall, cpu, size, "-" if ok is None else ("yes" if ok else "NO"),
            ours_wall / wall, ours_cpu / cpu))
    print()
    print("the floors by phase, seconds (open+read+close per file in microseconds)")
    print("%-36s %10s %8s %8s %12s" % ("floor", "open+read", "CRC-32", "deflate", "us per file"))
    for tool, floor in phases.items():
        print("%-36s %10.2f %8.2f %8.2f %12.0f" % (
            tool, floor["read_ms"] / 1000.0, floor["crc_ms"] / 1000.0, floor["deflate_ms"] / 1000.0,
            floor["read_ms"] * 1000.0 / max(floor["files"], 1)))
    entries, compared, mismatches = check_identity(archive, floor_exe, args.full_identity)
    print()
    print("files archived: %d of %d" % (report["files"], len(files)))
    print("deflate identity: %d entries, %d bytes compared%s: %s" % (
        entries, compared, "" if args.full_identity else " (each stream's first %d KiB; lengths all)"
        % (IDENTITY_PREFIX // 1024), "identical to the floor" if not mismatches else "%d MISMATCHES" % len(mismatches)))
    for line in mismatches[:10]:
        print("  " + line)
    ratio = ours_wall / best[FLOOR][0]
    print("acceptance (ours within 1.25x of the floor): %.3fx %s (CPU time %.3fx)" % (
        ratio, "PASS" if ratio <= 1.25 else "FAIL", ours_cpu / best[FLOOR][1]))
    failed = mismatches or not all(v[3] for v in best.values() if v[3] is not None) or report["files"] != len(files)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
