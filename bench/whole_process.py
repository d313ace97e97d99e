#!/usr/bin/env python3
"""Whole-process cost of the command-line programs, side by side in one run.

    bench/whole_process.py [--build DIR] [--runs N]

Each round runs every command once, in turn (interleaved, so that a change of the machine's
load touches all of them alike); the CPU time of a run is user + system time of the child
process from getrusage.  Printed: the median and the lowest CPU time and the median wall time of
each command over N rounds (at least 10), and the ratios to the 96-bar composition.

Commands: `vema-cli compose` of the 96-bar form and of the default form (in a scratch folder
with the shipped data), `vema-cli --help` (the floor: start-up and exit), and, when `mma` is
installed, the peer rendering bench/peer/song96.mma (96 bars of accompaniment in a standard
groove).
"""
import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
NINETY_SIX_BAR_FORM = "6"  # the shipped 96-bar form of default.db


def run_once(argv, cwd):
    """Runs a command; returns (cpu seconds, wall seconds, exit status)."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    return usage.ru_utime + usage.ru_stime, wall, proc.returncode


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=str(ROOT / "build"))
    parser.add_argument("--runs", type=int, default=20)
    args = parser.parse_args()
    runs = max(args.runs, 10)

    cli = pathlib.Path(args.build) / "vema-cli"
    if not cli.exists():
        sys.exit(f"{cli} is missing: build first")
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="vema-bench-"))
    try:
        for name in ("default.mld", "default.ton", "default.db"):
            shutil.copy(ROOT / "data" / name, scratch / name)
        commands = {
            "vema-cli compose, 96 bars": [str(cli), "compose", "--dir", ".", "--seed", "7",
                                          "--feel", "rock", "--form", NINETY_SIX_BAR_FORM],
            "vema-cli compose, default form": [str(cli), "compose", "--dir", ".", "--seed", "7",
                                               "--feel", "rock"],
            "vema-cli --help": [str(cli), "--help"],
        }
        mma = shutil.which("mma")
        if mma:
            shutil.copy(ROOT / "bench" / "peer" / "song96.mma", scratch / "song96.mma")
            commands["mma, 96 bars (peer)"] = [mma, "song96.mma"]
        else:
            print("mma is not installed: the peer is left out (apt-get install mma)")

        samples = {name: [] for name in commands}
        for name, argv in commands.items():  # a first run each, not counted (disk cache)
            cpu, wall, status = run_once(argv, scratch)
            if status != 0:
                sys.exit(f"{name}: exit status {status}")
        for _ in range(runs):
            for name, argv in commands.items():
                samples[name].append(run_once(argv, scratch))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    try:
        load = open("/proc/loadavg").read().split()[:3]
    except OSError:
        load = ["?"] * 3
    print(f"{runs} interleaved rounds; load average {' '.join(load)}; CPU = user + system")
    print(f"{'command':34} {'CPU median':>11} {'CPU lowest':>11} {'wall median':>12}")
    medians = {}
    for name, values in samples.items():
        cpu = [v[0] for v in values]
        wall = [v[1] for v in values]
        medians[name] = statistics.median(cpu)
        print(f"{name:34} {medians[name] * 1e3:9.2f} ms {min(cpu) * 1e3:9.2f} ms "
              f"{statistics.median(wall) * 1e3:10.2f} ms")
    base = medians["vema-cli compose, 96 bars"]
    print("\nratios of median CPU to the 96-bar composition:")
    for name, value in medians.items():
        ratio = value / base if base > 0 else float("inf")
        print(f"  {name:34} {ratio:8.2f} x")
    return 0


if __name__ == "__main__":
    sys.exit(main())
