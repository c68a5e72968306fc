"""Figures of the Python package noxformats; prints them, asserts nothing.

    PYTHONPATH=build/python /usr/bin/python3 bench/python/noxformats_bench.py read FILE.nox
    PYTHONPATH=build/python /usr/bin/python3 bench/python/noxformats_bench.py blocks FILE.nox...
    PYTHONPATH=build/python /usr/bin/python3 bench/python/noxformats_bench.py campaign INPUT...

read:     scene.read() into numpy, points per second (median of --runs), pinned to one core.
blocks:   peak resident memory of a pass over scene.blocks() (an intensity histogram), each file
          in a fresh process, beside the file's size and what read() would hold.
campaign: the inputs' scans converted one after another in this process, then as a campaign
          on a LocalCluster of --workers worker processes; wall time of each, same settings.
"""

import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

import noxformats


def pin_to_one_core():
    os.sched_setaffinity(0, {sorted(os.sched_getaffinity(0))[0]})


def bench_read(args):
    pin_to_one_core()
    times, cpu_times = [], []
    for _ in range(args.runs):
        with noxformats.open(args.files[0]) as scene:
            start, cpu_start = time.perf_counter(), time.process_time()
            points = scene.read()
            times.append(time.perf_counter() - start)
            cpu_times.append(time.process_time() - cpu_start)
            count = len(points)
            del points
    seconds, cpu_seconds = statistics.median(times), statistics.median(cpu_times)
    print(f"{args.files[0]}: {count} points, {os.path.getsize(args.files[0]) / 2**20:.0f} MiB")
    print(f"scene.read(), one core, median of {args.runs} runs: {seconds:.2f} s wall "
          f"({', '.join(f'{t:.2f}' for t in times)}), {cpu_seconds:.2f} s CPU; "
          f"{count / seconds / 1e6:.1f} M points/s by wall time, "
          f"{count / cpu_seconds / 1e6:.1f} M points/s by CPU time")


def blocks_child(path, n):
    """One pass in this process; prints points, seconds and peak RSS in MiB."""
    counts = np.zeros(256, dtype=np.int64)
    start = time.perf_counter()
    total = 0
    with noxformats.open(path) as scene:
        for block in scene.blocks(n):
            counts += np.bincount((block["intensity"].astype(np.int32) >> 8) + 128,
                                  minlength=256)
            total += len(block)
    seconds = time.perf_counter() - start
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print(total, f"{seconds:.2f}", f"{peak:.0f}")


def bench_blocks(args):
    print(f"scene.blocks({args.n}) with an intensity histogram, each file in a fresh process")
    baseline = subprocess.run([sys.executable, "-c", "import noxformats, resource; "
                               "print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)"],
                              capture_output=True, text=True, check=True)
    print(f"  python with noxformats imported: {int(baseline.stdout) / 1024:.0f} MiB peak RSS")
    for path in args.files:
        done = subprocess.run([sys.executable, __file__, "blocks-child", path, str(args.n)],
                              capture_output=True, text=True, check=True)
        points, seconds, peak = done.stdout.split()
        held = int(points) * noxformats.POINT_DTYPE.itemsize / 2**20
        print(f"  {path}: {int(points)} points, file {os.path.getsize(path) / 2**20:.0f} MiB, "
              f"{seconds} s, peak RSS {peak} MiB (read() would hold {held:.0f} MiB of points)")


def bench_campaign(args):
    from noxformats.distributed import convert_campaign, convert_scan, plan_campaign
    work = tempfile.mkdtemp(prefix="noxformats-campaign-", dir=args.dir)
    try:
        tasks = plan_campaign(args.inputs, os.path.join(work, "serial"))
        os.makedirs(os.path.join(work, "serial"))
        print(f"{' '.join(args.inputs)}: {len(tasks)} scans")
        start = time.perf_counter()
        points = 0
        for task in tasks:
            outcome = convert_scan(task, {})
            assert outcome.ok, outcome.reason
            points += outcome.points
        serial = time.perf_counter() - start
        print(f"  one after another in one process: {serial:.2f} s, {points} points, "
              f"{points / serial / 1e6:.2f} M points/s")

        from distributed import Client, LocalCluster
        start = time.perf_counter()
        with LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster) as client:
            client.run(lambda: __import__("noxformats"))  # imported before the clock starts
            print(f"  cluster started, noxformats imported in its workers: "
                  f"{time.perf_counter() - start:.2f} s (not in the campaign's time)")
            start = time.perf_counter()
            result = convert_campaign(args.inputs, os.path.join(work, "campaign"),
                                      client=client)
            campaign = time.perf_counter() - start
        assert not result.failed, result.failed
        points = sum(scan.points for scan in result.scans)
        print(f"  campaign on {args.workers} worker processes: {campaign:.2f} s, {points} points, "
              f"{points / campaign / 1e6:.2f} M points/s, {serial / campaign:.2f}x")
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "blocks-child":
        blocks_child(sys.argv[2], int(sys.argv[3]))
        return
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    read = commands.add_parser("read")
    read.add_argument("files", nargs=1)
    read.add_argument("--runs", type=int, default=3)
    blocks = commands.add_parser("blocks")
    blocks.add_argument("files", nargs="+")
    blocks.add_argument("--n", type=int, default=500_000)
    campaign = commands.add_parser("campaign")
    campaign.add_argument("inputs", nargs="+")
    campaign.add_argument("--workers", type=int, default=2)
    campaign.add_argument("--dir", default=None, help="where the outputs go (removed after)")
    args = parser.parse_args()
    {"read": bench_read, "blocks": bench_blocks, "campaign": bench_campaign}[args.command](args)


if __name__ == "__main__":
    main()
