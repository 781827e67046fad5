#!/usr/bin/env python3
"""End-to-end benchmark of `ekv convert` on files that ekv-make writes.

Builds nothing: it runs the programs of an existing build (a Release build is meant):

    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
    ninja -C build/release ekv ekv-make karvex_import_bench
    python3 bench/convert_bench.py build/release [--runs 7] [--work DIR]

The files: the camera's default geometry (2256 x 1684, 10 bits) and a 2256 x 6000
sensor, developed with method 2 and a white-balance point (H 160, V 120). Every round
runs each command once, in turn, so that a change in the machine's load touches them
alike; the figures are medians over the rounds. Wall times and peak resident memory are
the child processes' (GNU time for the memory). Outputs go to two places: --work, by
default a fresh directory on a RAM file system (/dev/shm), where the figures are the
programs' own, and --disk, by default a fresh directory in the build directory, on the
machine's disk, where users write. ekv flushes an output only when it replaces an
existing file (the benchmark removes earlier outputs first, except in the row that
measures a replacement).

The in-process import (karvex_import_bench) is measured on one band thread and on two,
into the in-memory document and streamed to a sink that keeps nothing.

The dcraw rows need ekv-make's --dng option (a DNG of the same mosaic); without it they
are skipped with a note.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

POINT = ["-m", "2", "--wb-point", "160,120"]


def run(command, rss_file=None, keep=False):
    """Runs a command; returns (seconds, peak resident KiB or 0). Fails loudly.

    The peak resident memory comes from GNU time (-o rss_file): the resource usage that
    wait4 reports for a child of this Python process counts the interpreter's pages the
    child had between fork and exec."""
    # An earlier output of the same name is removed first: replacing it would add the
    # freeing of its pages to the run.
    for argument in command:
        if not keep and argument.endswith((".tif", ".png")) and os.path.exists(argument):
            os.remove(argument)
    if rss_file:
        command = ["/usr/bin/time", "-f", "%M", "-o", rss_file] + command
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    seconds = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit(f"convert_bench: {' '.join(command)} failed ({result.returncode}): "
                 f"{result.stderr.decode(errors='replace').strip()}")
    kib = int(open(rss_file).read().split()[-1]) if rss_file else 0
    return seconds, kib


def import_times(bench):
    """karvex_import_bench's in-process import of the default file (method 2, point) on one
    band thread and on two, one right after the other, into the in-memory document and
    streamed to a sink that keeps nothing (as ekv's import thread hands bands to its
    writer): {"one", "two", "streamed_one", "streamed_two"} in ms.

    Its own repetitions are short (min_time 0.3 s); the rounds give the median."""
    out = subprocess.run([bench, "--benchmark_filter=^Import/10bit/m2_point/(streamed/)?(threads:2/)?manual_time$",
                          "--benchmark_format=json", "--benchmark_min_time=0.3"],
                         check=True, capture_output=True, text=True).stdout
    times = {}
    for entry in json.loads(out)["benchmarks"]:
        if entry.get("run_type", "iteration") == "iteration":
            name = entry["name"]
            key = ("streamed_" if "/streamed/" in name else "") + ("two" if "/threads:2/" in name else "one")
            times[key] = entry["real_time"]  # milliseconds
    if len(times) != 4:
        sys.exit("convert_bench: karvex_import_bench did not report the four imports")
    return times


def median(values):
    return statistics.median(values)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", nargs="?", default="build/release")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--work", help="directory for inputs and outputs (default: a new one in /dev/shm)")
    parser.add_argument("--disk", help="directory on the disk for outputs (default: a new one in the build directory)")
    parser.add_argument("--batch", type=int, default=8, help="files in the batch rows")
    args = parser.parse_args()
    if args.runs < 7:
        sys.exit("convert_bench: at least 7 runs")
    ekv = os.path.join(args.build, "tools", "ekv")
    make = os.path.join(args.build, "tools", "ekv-make")
    bench = os.path.join(args.build, "bench", "karvex_import_bench")
    for program in (ekv, make, bench):
        if not os.access(program, os.X_OK):
            sys.exit(f"convert_bench: {program} is missing; build it first (see the header of this script)")
    base = args.work or ("/dev/shm" if os.path.isdir("/dev/shm") else None)
    work = tempfile.mkdtemp(prefix="ekv-bench-", dir=base)
    disk = tempfile.mkdtemp(prefix="ekv-bench-disk-", dir=args.disk or args.build)
    try:
        report(args, ekv, make, bench, work, disk)
    finally:
        shutil.rmtree(work, ignore_errors=True)
        shutil.rmtree(disk, ignore_errors=True)


def report(args, ekv, make, bench, work, disk):
    def path(name):
        return os.path.join(work, name)

    def on_disk(name):
        return os.path.join(disk, name)

    help_text = subprocess.run([make, "--help"], capture_output=True, text=True).stdout + \
        subprocess.run([make, "sample", "--help"], capture_output=True, text=True).stdout
    has_dng = "--dng" in help_text
    dcraw = shutil.which("dcraw")
    batch_inputs = [path(f"b{i}.ekv") for i in range(args.batch)]
    subprocess.run([make, "sample", "-o", path("default.ekv")] + (["--dng", path("default.dng")] if has_dng else []),
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run([make, "sample", "-o", path("tall.ekv"), "--height", "6000", "--rows-per-strip", "400"],
                   check=True, stdout=subprocess.DEVNULL)
    os.makedirs(path("batch"))
    os.makedirs(on_disk("batch"))
    os.makedirs(on_disk("dcraw"))
    for i, name in enumerate(batch_inputs):
        shutil.copy(path("default.ekv"), name)
        if has_dng:
            shutil.copy(path("default.dng"), path(f"b{i}.dng"))
    batch_dngs = [path(f"b{i}.dng") for i in range(args.batch)]
    with_dcraw = has_dng and dcraw is not None

    rounds = {key: [] for key in ("import", "import2", "stream", "stream2", "tiff", "png", "rss", "rss_tall", "dcraw", "batch",
                                  "batch_j1", "batch_j2", "batch_dcraw", "disk_tiff", "disk_replace",
                                  "disk_dcraw", "disk_batch", "disk_batch_dcraw")}
    for _ in range(args.runs):
        times = import_times(bench)
        rounds["import"].append(times["one"] / 1e3)
        rounds["import2"].append(times["two"] / 1e3)
        rounds["stream"].append(times["streamed_one"] / 1e3)
        rounds["stream2"].append(times["streamed_two"] / 1e3)
        rounds["tiff"].append(run([ekv, "convert", path("default.ekv")] + POINT + ["-o", path("out.tif")])[0])
        rounds["png"].append(run([ekv, "convert", path("default.ekv")] + POINT + ["-o", path("out.png")])[0])
        rounds["rss"].append(run([ekv, "convert", path("default.ekv")] + POINT + ["-o", path("rss.tif")],
                                 path("rss.txt"))[1])
        rounds["rss_tall"].append(run([ekv, "convert", path("tall.ekv")] + POINT + ["-o", path("tall.tif")],
                                      path("rss.txt"))[1])
        if with_dcraw:
            if os.path.exists(path("default.tiff")):
                os.remove(path("default.tiff"))
            rounds["dcraw"].append(run([dcraw, "-q", "0", "-4", "-T", path("default.dng")])[0])
        batch = [ekv, "convert"] + batch_inputs + POINT + ["-d", path("batch")]
        clear = lambda: [os.remove(os.path.join(path("batch"), name)) for name in os.listdir(path("batch"))]
        clear()
        rounds["batch"].append(run(batch)[0])
        clear()
        rounds["batch_j1"].append(run(batch + ["-j", "1"])[0])
        clear()
        rounds["batch_j2"].append(run(batch + ["-j", "2"])[0])
        if with_dcraw:
            for name in batch_dngs:
                if os.path.exists(name[:-4] + ".tiff"):
                    os.remove(name[:-4] + ".tiff")
            rounds["batch_dcraw"].append(run([dcraw, "-q", "0", "-4", "-T"] + batch_dngs)[0])

        # The same on the disk: a new output, one that replaces the last (flushed before
        # the rename), dcraw writing beside its input (on the disk too), and the batch.
        rounds["disk_tiff"].append(run([ekv, "convert", path("default.ekv")] + POINT +
                                       ["-o", on_disk("out.tif")])[0])
        rounds["disk_replace"].append(run([ekv, "convert", path("default.ekv")] + POINT +
                                          ["-o", on_disk("out.tif")], keep=True)[0])
        disk_batch = [ekv, "convert"] + batch_inputs + POINT + ["-d", on_disk("batch")]
        for name in os.listdir(on_disk("batch")):
            os.remove(os.path.join(on_disk("batch"), name))
        rounds["disk_batch"].append(run(disk_batch)[0])
        if with_dcraw:
            disk_dngs = [on_disk(os.path.join("dcraw", os.path.basename(name))) for name in batch_dngs]
            for source, name in zip(batch_dngs, disk_dngs):
                shutil.copy(source, name)
                if os.path.exists(name[:-4] + ".tiff"):
                    os.remove(name[:-4] + ".tiff")
            rounds["disk_dcraw"].append(run([dcraw, "-q", "0", "-4", "-T", disk_dngs[0]])[0])
            os.remove(disk_dngs[0][:-4] + ".tiff")
            rounds["disk_batch_dcraw"].append(run([dcraw, "-q", "0", "-4", "-T"] + disk_dngs)[0])

    m = {key: median(values) for key, values in rounds.items() if values}
    ms = lambda seconds: f"{seconds * 1e3:8.1f} ms"
    verdict = lambda ok: "meets" if ok else "MISSES"
    print(f"ekv convert end-to-end benchmark: {args.runs} alternating rounds, medians")
    print(f"  RAM directory {work}, disk directory {disk}")
    print(f"  machine: {os.cpu_count()} processors online, load average {os.getloadavg()[0]:.2f} at the end")
    print(f"  import (karvex_import_bench, in process), 1 band thread  {ms(m['import'])}")
    ratio = m["import2"] / m["import"]
    print(f"  the same on 2 band threads                               {ms(m['import2'])}   {ratio:.2f} x "
          f"(target <= 0.6: {verdict(ratio <= 0.6)})")
    print(f"  the import streamed, 1 band thread                        {ms(m['stream'])}")
    ratio = m["stream2"] / m["stream"]
    print(f"  the import streamed, 2 band threads                      {ms(m['stream2'])}   {ratio:.2f} x "
          f"(target <= 0.6: {verdict(ratio <= 0.6)})")
    ratio = m["tiff"] / m["import"]
    print(f"  ekv convert -> TIFF in RAM                   {ms(m['tiff'])}   {ratio:.2f} x the 1-thread import")
    ratio = m["png"] / m["tiff"]
    print(f"  ekv convert -> PNG in RAM (default level)    {ms(m['png'])}   {ratio:.2f} x TIFF")
    sizes = (os.path.getsize(path("out.tif")), os.path.getsize(path("out.png")))
    print(f"  sizes: TIFF {sizes[0]} bytes, PNG {sizes[1]} bytes")
    for key, label in (("rss", "default file"), ("rss_tall", "2256 x 6000 sensor")):
        mib = m[key] / 1024
        print(f"  peak resident memory, {label:20s}   {mib:8.1f} MiB   (target <= 12: {verdict(mib <= 12)})")
    print(f"  ekv convert -> TIFF on disk, a new file      {ms(m['disk_tiff'])}")
    print(f"  ekv convert -> TIFF on disk, replacing one   {ms(m['disk_replace'])}   (flushed before the rename)")
    if with_dcraw:
        ratio = m["dcraw"] / m["tiff"]
        print(f"  dcraw -q 0 -4 -T in RAM                      {ms(m['dcraw'])}   ekv {ratio:.2f} x faster")
        ratio = m["disk_dcraw"] / m["disk_tiff"]
        print(f"  dcraw -q 0 -4 -T on disk                     {ms(m['disk_dcraw'])}   ekv {ratio:.2f} x faster "
              f"(target >= 3: {verdict(ratio >= 3)})")
    else:
        why = "ekv-make has no --dng option" if not has_dng else "dcraw is not installed"
        print(f"  dcraw rows skipped: {why}")
    print(f"  batch of {args.batch} in RAM, default -j ({os.cpu_count()})      {ms(m['batch'])}")
    print(f"  batch of {args.batch} on disk, default -j              {ms(m['disk_batch'])}")
    if with_dcraw:
        ratio = m["batch_dcraw"] / m["batch"]
        print(f"  dcraw over the same {args.batch} DNGs in RAM            {ms(m['batch_dcraw'])}   ekv {ratio:.2f} x")
        ratio = m["disk_batch_dcraw"] / m["disk_batch"]
        print(f"  dcraw over the same {args.batch} DNGs on disk           {ms(m['disk_batch_dcraw'])}   ekv "
              f"{ratio:.2f} x faster (target >= 3.5: {verdict(ratio >= 3.5)})")
    ratio = m["batch_j1"] / m["batch_j2"]
    print(f"  batch -j 1 in RAM                            {ms(m['batch_j1'])}")
    print(f"  batch -j 2 in RAM                            {ms(m['batch_j2'])}   {ratio:.2f} x the throughput "
          f"of -j 1")


if __name__ == "__main__":
    main()
