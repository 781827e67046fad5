#!/usr/bin/env python3
"""Size and speed of `ekv dng`: lossless JPEG against the uncompressed DNG and the EKV.

Builds nothing: it runs the programs of an existing build (a Release build is meant):

    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
    ninja -C build/release ekv ekv-make
    python3 bench/dng_bench.py build/release [--runs 7]

The files: the default sample (2256 x 1684, 10 bits, mild noise) and a noisy 12-bit one
(`ekv-make sample --bits 12 --noise 4`). Each round runs every command once, in turn, so
that a change in the machine's load touches them alike; the figures are medians over the
rounds: wall time, CPU time (user + system) and peak resident memory of the command. "1 CPU" pins the command to one processor with taskset, so that the
tiles are coded one after another. Outputs go to a fresh directory in /dev/shm.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

FILES = {"default": [], "noisy 12-bit": ["--bits", "12", "--noise", "4"]}


def run(command, rss_file):
    """Runs a command: (wall seconds, CPU seconds, peak resident KiB). Fails loudly.

    The CPU time is what wait4 reports for GNU time and so for the command it waited for;
    the peak resident memory is GNU time's, of the command alone."""
    timed = ["/usr/bin/time", "-f", "%M", "-o", rss_file] + command
    start = time.perf_counter()
    child = subprocess.Popen(timed, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"dng_bench: {' '.join(command)} failed ({child.returncode})")
    return seconds, usage.ru_utime + usage.ru_stime, int(open(rss_file).read().split()[-1])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", nargs="?", default="build/release")
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    ekv = os.path.join(args.build, "tools", "ekv")
    make = os.path.join(args.build, "tools", "ekv-make")
    for program in (ekv, make):
        if not os.access(program, os.X_OK):
            sys.exit(f"dng_bench: {program} is missing; build it first (see the header of this script)")
    work = tempfile.mkdtemp(prefix="ekv-dng-bench-", dir="https://rp2.alfred511.top/huggingface/dev/shm" if os.path.isdir("https://rp2.alfred511.top/huggingface/dev/shm") else None)
    try:
        rss = os.path.join(work, "rss")
        rows = []
        for name, options in FILES.items():
            ekv_file = os.path.join(work, name.replace(" ", "-") + ".ekv")
            subprocess.run([make, "sample", "-o", ekv_file] + options, check=True, stdout=subprocess.DEVNULL)
            dng = ekv_file[:-4] + ".dng"
            commands = {
                "lossless JPEG": [ekv, "dng", ekv_file, "-o", dng],
                "lossless JPEG, 1 CPU": ["taskset", "-c", "0", ekv, "dng", ekv_file, "-o", dng],
                "uncompressed": [ekv, "dng", "--uncompressed", ekv_file, "-o", dng],
            }
            figures = {label: [] for label in commands}
            sizes = {}
            for _ in range(args.runs):
                for label, command in commands.items():
                    figures[label].append(run(command, rss))
                    sizes[label] = os.path.getsize(dng)
            ekv_size = os.path.getsize(ekv_file)
            rows.append(f"{name}: EKV {ekv_size} bytes")
            for label, values in figures.items():
                wall, cpu, kib = (statistics.median(v[i] for v in values) for i in range(3))
                rows.append(f"  {label:22} {sizes[label]:>9} bytes ({100 * sizes[label] / ekv_size:5.1f} % of the EKV)"
                            f"  {1000 * wall:6.1f} ms wall  {1000 * cpu:6.1f} ms CPU  {kib / 1024:5.1f} MiB")
        print("\n".join(rows))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
