#!/usr/bin/env python3
"""Times corvane against cat and tar on the same files.

Generates its inputs deterministically in a scratch folder, warms the page cache, then runs
corvane, cat, cat followed by a sync of its output, and tar in turn, round after round, and prints
for each workload the median wall time of each command, corvane's peak resident memory, and the
ratios of corvane's time to the others'.

usage: bench/run_bench.py [--corvane PATH] [--scratch DIR] [--runs N] [--quick]
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

FIRMWARE_SIZE = 126976
KIB = 1024
MIB = 1024 * KIB


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def make_device_set(root, asset_count, rng):
    """One firmware image of exactly the limit and a directory of assets of 1 to 64 KiB."""
    os.makedirs(os.path.join(root, "assets"), exist_ok=True)
    write(os.path.join(root, "app.bin"), rng.randbytes(FIRMWARE_SIZE))
    for i in range(asset_count):
        write(os.path.join(root, "assets", "a%05d.dat" % i), rng.randbytes(rng.randint(KIB, 64 * KIB)))
    return ["app.bin", "assets"]


def make_small_files(root, count, rng):
    os.makedirs(os.path.join(root, "many"), exist_ok=True)
    for i in range(count):
        write(os.path.join(root, "many", "f%05d.dat" % i), rng.randbytes(KIB))
    return ["many"]


def make_large_files(root, count, size, rng):
    block = rng.randbytes(MIB)
    names = []
    for i in range(count):
        name = "large%d.dat" % i
        with open(os.path.join(root, name), "wb") as f:
            for j in range(size // MIB):
                # Vary each mebibyte so no file system can share or compress blocks.
                f.write(bytes([j & 0xFF, i]) + block[2:])
        names.append(name)
    return names


def files_of(root, arguments):
    """The files corvane packs for these arguments, in its order, for cat."""
    files = []
    for argument in arguments:
        path = os.path.join(root, argument)
        if os.path.isdir(path):
            files += [os.path.join(argument, n) for n in sorted(os.listdir(path)) if not n.startswith(".")]
        else:
            files.append(argument)
    return files


def make_sparse_file(root, size):
    """One file of size bytes that costs no disk: its memory column shows what streaming holds."""
    with open(os.path.join(root, "sparse.dat"), "wb") as f:
        f.truncate(size)
    return ["sparse.dat"]


def timed(command, cwd, outputs):
    """Runs command, which writes one of outputs; returns its wall time in seconds.

    Every command starts alike: no output file of any command exists (truncating or freeing an
    earlier output would be timed for some commands and not for others), and no dirty pages are
    left over from the command before (the kernel would make whoever writes next wait for them)."""
    for output in outputs:
        if os.path.exists(output):
            os.remove(output)
    os.sync()
    start = time.perf_counter()
    process = subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    if process.returncode != 0:
        sys.exit("failed: %s" % " ".join(command))
    return wall


def peak_memory(command, cwd, output):
    """Peak resident set of command in KiB, as /usr/bin/time reports it."""
    if os.path.exists(output):
        os.remove(output)
    report = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, cwd=cwd,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(report.stderr.strip().splitlines()[-1])


def measure(title, root, arguments, corvane, runs):
    files = files_of(root, arguments)
    out = os.path.join(root, "out")
    os.makedirs(out, exist_ok=True)
    total = sum(os.path.getsize(os.path.join(root, f)) for f in files)

    # cat writes to its standard output: a shell redirects it, as a user would. corvane puts the
    # package on the disk before it replaces the earlier one; "cat+sync" is cat followed by
    # coreutils' sync of its output file (an fsync), which does the same.
    cat = 'cat "$@" > "%s"' % os.path.join(out, "cat.out")
    commands = [
        ("corvane", [corvane] + [os.path.join(root, a) for a in arguments], "package.img"),
        ("cat", ["sh", "-c", cat, "cat"] + [os.path.join(root, f) for f in files], "cat.out"),
        ("cat+sync", ["sh", "-c", cat + ' && sync "%s"' % os.path.join(out, "cat.out"), "cat"]
         + [os.path.join(root, f) for f in files], "cat.out"),
        ("tar", ["tar", "cf", os.path.join(out, "tar.out")] + arguments, "tar.out"),
    ]
    cwd = {"corvane": out, "cat": root, "cat+sync": root, "tar": root}
    outputs = [os.path.join(out, output) for _, _, output in commands]
    warm_up = 0.0
    for name, command, output in commands:  # warm-up: inputs into the page cache
        warm_up += timed(command, cwd[name], outputs)
    # A workload of a few milliseconds varies by as much between runs on a virtual machine: it
    # gets as many rounds as fill about two seconds, so that its median is steady.
    rounds = max(runs, min(61, int(2.0 / warm_up)))
    walls = {name: [] for name, _, _ in commands}
    for _ in range(rounds):
        for name, command, output in commands:
            walls[name].append(timed(command, cwd[name], outputs))
    peaks = {name: peak_memory(command, cwd[name], os.path.join(out, output))
             for name, command, output in commands[:1]}
    for _, _, output in commands:
        if os.path.exists(os.path.join(out, output)):
            os.remove(os.path.join(out, output))
    median = {name: statistics.median(values) for name, values in walls.items()}
    print("%-20s %6d files %7.1f MiB %3d runs | corvane %7.1f ms %5.1f MiB | cat %7.1f ms | "
          "cat+sync %7.1f ms | tar %7.1f ms | corvane/cat %.2f corvane/(cat+sync) %.2f "
          "corvane/tar %.2f" % (
              title, len(files), total / MIB, rounds,
              median["corvane"] * 1e3, peaks["corvane"] / KIB, median["cat"] * 1e3,
              median["cat+sync"] * 1e3, median["tar"] * 1e3,
              median["corvane"] / median["cat"], median["corvane"] / median["cat+sync"],
              median["corvane"] / median["tar"]), flush=True)
    shutil.rmtree(out)
    return median


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corvane", default=os.path.join(here, "..", "build", "release-portable", "cli", "corvane"))
    parser.add_argument("--scratch", default="/tmp/corvane-bench")
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--quick", action="store_true", help="small workloads, for a smoke test")
    options = parser.parse_args()
    corvane = os.path.abspath(options.corvane)
    if not os.access(corvane, os.X_OK):
        sys.exit("no corvane at %s: build it with 'cmake --workflow --preset release-portable'" % corvane)

    scale = 8 if options.quick else 1
    workloads = [
        ("device set (1x)", lambda root, rng: make_device_set(root, 300, rng)),
        ("device set (4x)", lambda root, rng: make_device_set(root, 1200, rng)),
        ("device set (16x)", lambda root, rng: make_device_set(root, 4800 // scale, rng)),
        ("many small files", lambda root, rng: make_small_files(root, 20000 // scale, rng)),
        ("large files", lambda root, rng: make_large_files(root, 4, 256 * MIB // scale, rng)),
    ]
    print("corvane: %s; median of at least %d runs after a warm-up, commands alternating" % (
        corvane, options.runs))
    for index, (title, make) in enumerate(workloads):
        root = os.path.join(options.scratch, "w%d" % index)
        shutil.rmtree(root, ignore_errors=True)
        os.makedirs(root)
        arguments = make(root, random.Random(20261211 + index))
        measure(title, root, arguments, corvane, options.runs)
        shutil.rmtree(root)

    # The largest input corvane takes, for the memory column: one run, its 2 GiB written out.
    root = os.path.join(options.scratch, "sparse")
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(os.path.join(root, "out"))
    arguments = make_sparse_file(root, 2147483647 // scale)
    command = [corvane] + [os.path.join(root, a) for a in arguments]
    output = os.path.join(root, "out", "package.img")
    start = time.perf_counter()
    peak = peak_memory(command, os.path.join(root, "out"), output)
    wall = time.perf_counter() - start
    print("%-28s %6d files %9.1f MiB | corvane %8.1f ms %8.1f MiB (one run)" % (
        "one sparse file", 1, (2147483647 // scale) / MIB, wall * 1e3, peak / KIB), flush=True)
    shutil.rmtree(root)


if __name__ == "__main__":
    main()
