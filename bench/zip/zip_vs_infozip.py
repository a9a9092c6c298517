"""Compresses a generated 1 GiB data folder (thousands of files: compressible records
and random blocks) with the zip stand-in at level 5 and with `zip -5 -r`, then extracts
the stand-in's archive with both the stand-in and `unzip -o`; prints speed, size and
peak memory of each run.

usage: zip_vs_infozip.py ZIP_DRIVER WORK_FOLDER [GIB]"""

import os
import pathlib
import random
import shutil
import subprocess
import sys
import time

MIB = 1 << 20
DATA_VERSION = 2  # changes whenever generate() does


def generate(folder, total):
    """Record files (CSV-like lines drawn from a large pool) and random blocks, 4 KiB to 48 MiB."""
    rng = random.Random(2024)
    towns = [b"Paris", b"Lyon", b"Marseille", b"Toulouse", b"Nantes", b"Lille", b"Rennes", b"Brest"]
    pool = [b"%06d;CLIENT %05d;%s;%d rue %s;%d.%02d;%s\r\n" % (
        i, rng.randrange(99999), rng.choice(towns), rng.randrange(200), rng.choice(towns),
        rng.randrange(10000), rng.randrange(100), bytes(rng.choice(b"ABCDEFGHJKLMNPQRSTUVWXYZ") for _ in range(12)))
        for i in range(300000)]
    written, index = 0, 0
    while written < total:
        sub = folder / f"D{index // 500:03d}"
        sub.mkdir(parents=True, exist_ok=True)
        size = int(min(total - written, rng.choice([4096, 16384, 65536, 200000, 600000, 3 * MIB // 2]) * rng.uniform(0.5, 1.5)))
        if index % 400 == 7:
            size = min(total - written, 48 * MIB)
        if rng.random() < 0.3:
            data = rng.randbytes(size)
        else:
            data = b"".join(rng.choices(pool, k=size // 60 + 1))[:size]
        (sub / f"F{index:05d}.FIC").write_bytes(data)
        written += size
        index += 1
    (folder / "READY").write_text(f"{index} {written} {DATA_VERSION}\n")


# On a shared machine the scheduler splits the processors between sessions, whatever
# the niceness inside them: when allowed, each tool runs in a session of its own whose
# group has a raised priority, so that other work disturbs both tools less. Each is
# timed twice and its faster run kept.
PRIORITY = (["setsid", "sh", "-c", 'echo -15 > /proc/self/autogroup; exec "$@"', "--"]
            if os.geteuid() == 0 and os.path.exists("/proc/self/autogroup") else [])


def timed(args, cwd, before=None):
    """Best of two runs (before() runs ahead of each); returns (wall seconds, processor
    seconds, peak resident MiB) of the faster one."""
    runs = []
    for _ in range(2):
        if before:
            before()
        runs.append(timed_once(PRIORITY + args, cwd))
    return min(runs)


def timed_once(args, cwd):
    start = time.monotonic()
    proc = subprocess.Popen(args, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.monotonic() - start
    if status != 0:
        sys.exit(f"{args[0]} failed: {proc.stderr.read().decode(errors='replace')}")
    return seconds, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def main():
    if sys.argv[1] == "--generate":
        return generate(pathlib.Path(sys.argv[2]), int(sys.argv[3]))
    driver, work = pathlib.Path(sys.argv[1]).resolve(), pathlib.Path(sys.argv[2]).resolve()
    total = int(float(sys.argv[3] if len(sys.argv) > 3 else 1) * 1024 * MIB)
    data = work / "data"
    if not (data / "READY").exists() or (data / "READY").read_text().split()[1:] != [str(total), str(DATA_VERSION)]:
        shutil.rmtree(data, ignore_errors=True)
        print(f"generating {total / MIB:.0f} MiB in {data} ...", flush=True)
        # In a process of its own: the peak memory of a child counts what it inherits.
        subprocess.run([sys.executable, __file__, "--generate", str(data), str(total)], check=True)
    files = int((data / "READY").read_text().split()[0])
    subprocess.run(["tar", "-cf", "/dev/null", "."], cwd=data, check=True)  # warm the page cache for both
    ours, theirs = work / "standin.zip", work / "infozip.zip"
    zip_s, zip_cpu, zip_mib = timed(["zip", "-q", "-5", "-r", str(theirs), "."], data,
                                    lambda: theirs.unlink(missing_ok=True))
    our_s, our_cpu, our_mib = timed([str(driver), "add", str(ours), "5", "rp", "."], data,
                                    lambda: ours.unlink(missing_ok=True))

    out = work / "out"

    def fresh_output():
        shutil.rmtree(out, ignore_errors=True)
        out.mkdir()

    unzip_s, unzip_cpu, unzip_mib = timed(["unzip", "-q", "-o", str(ours), "-d", str(out / "unzip")], work,
                                          fresh_output)
    ext_s, ext_cpu, ext_mib = timed([str(driver), "extract", str(ours), str(out / "standin"), "*.*", "or"], work,
                                    fresh_output)
    shutil.rmtree(out, ignore_errors=True)

    mb = total / 1e6
    print(f"data: {files} files, {total / MIB:.0f} MiB, {os.cpu_count()} processors, "
          f"load average {os.getloadavg()[0]:.1f} at the end; best of two runs"
          f"{' at raised priority' if PRIORITY else ''} (seconds are wall-clock; cpu = user + system)")
    print(f"{'compress -5':24} {'seconds':>8} {'MB/s':>8} {'cpu s':>8} {'ratio':>7} {'peak MiB':>9}")
    for name, s, cpu, size, mib in (("zip -5 -r (Info-ZIP)", zip_s, zip_cpu, theirs.stat().st_size, zip_mib),
                                    ("stand-in level 5", our_s, our_cpu, ours.stat().st_size, our_mib)):
        print(f"{name:24} {s:8.2f} {mb / s:8.1f} {cpu:8.2f} {size / total:7.4f} {mib:9.1f}")
    print(f"speed-up {zip_s / our_s:.2f}x (goal >= 1.5x); archive size "
          f"{100 * (ours.stat().st_size / theirs.stat().st_size - 1):+.2f}% (goal <= +1%); "
          f"peak {our_mib:.0f} MiB (goal < 128)")
    print(f"{'extract':24} {'seconds':>8} {'MB/s':>8} {'cpu s':>8} {'':>7} {'peak MiB':>9}")
    for name, s, cpu, mib in (("unzip -o (Info-ZIP)", unzip_s, unzip_cpu, unzip_mib),
                              ("stand-in", ext_s, ext_cpu, ext_mib)):
        print(f"{name:24} {s:8.2f} {mb / s:8.1f} {cpu:8.2f} {'':>7} {mib:9.1f}")
    print(f"extraction {unzip_s / ext_s:.2f}x the speed of unzip (goal >= 1x)")


if __name__ == "__main__":
    main()
