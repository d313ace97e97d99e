#!/usr/bin/env python3
"""Whole-process cost of the command-line programs, side by side in one run.

    bench/whole_process.py [--build DIR] [--runs N] [--baseline DIR]

Each round runs every command once, in turn (interleaved, so that a change of the machine's
load touches all of them alike); the CPU time of a run is user + system time of the child
process from getrusage.  Printed: the median and the lowest CPU time and the median wall time of
each command over N rounds (at least 10), and the ratios to the 96-bar composition.

Commands: `vema-cli compose` of the 96-bar form and of the default form (in a scratch folder
with the shipped data), `vema-cli --help` (the floor: start-up and exit), and, when `mma` is
installed, the peer rendering bench/peer/song96.mma (96 bars of accompaniment in a standard
groove).  With --baseline, the same vema-cli commands of another build (an older version, say)
run in the same rounds, for a before/after table.

The window program (when it is built and xvfb-run and xdotool are there): the time from its
start to the first paint of the main window, and from pressing PLAY to the first block of
sound, as the player measures it (VEMA_REPORT_TIMING=1; fluidsynth's "file" audio driver,
`vema --audio-driver file`, stands in for a sound device).
"""
import argparse
import os
import select
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


def read_line_until(proc, prefix, timeout):
    """Waits for a line of the process's stdout that starts with prefix; returns it or None."""
    deadline = time.perf_counter() + timeout
    buffer = b""
    while time.perf_counter() < deadline:
        ready, _, _ = select.select([proc.stdout], [], [], 0.05)
        if not ready:
            if proc.poll() is not None:
                return None
            continue
        chunk = os.read(proc.stdout.fileno(), 4096)
        if not chunk:
            return None
        buffer += chunk
        for line in buffer.decode(errors="replace").splitlines():
            if line.startswith(prefix):
                return line
    return None


def window_timings(build, runs):
    """Median start-to-first-paint and PLAY-to-first-sound of the window program (under Xvfb)."""
    vema = pathlib.Path(build) / "vema"
    cli = pathlib.Path(build) / "vema-cli"
    if not vema.exists():
        return "the window program is not built"
    for tool in ("xdotool",) + (() if os.environ.get("DISPLAY") else ("xvfb-run",)):
        if not shutil.which(tool):
            return f"{tool} is missing (apt-get install xvfb xdotool)"
    if not os.environ.get("DISPLAY"):
        out = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", sys.executable,
                              __file__, "--build", build, "--runs", str(runs), "--window-only"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=900)
        return out.stdout.decode().strip() or "the window could not be measured"
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="vema-window-"))
    paints, sounds = [], []
    try:
        for name in ("default.mld", "default.ton", "default.db"):
            shutil.copy(ROOT / "data" / name, scratch / name)
        subprocess.run([str(cli), "compose", "--dir", ".", "--seed", "7"], cwd=scratch,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        env = dict(os.environ, VEMA_REPORT_TIMING="1", NO_AT_BRIDGE="1",
                   GSETTINGS_BACKEND="memory")
        for _ in range(runs):
            start = time.perf_counter()
            proc = subprocess.Popen([str(vema), "--dir", ".", "--audio-driver", "file"],
                                    cwd=scratch, env=env,
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            try:
                if read_line_until(proc, "first paint", 30) is None:
                    return "the window did not report its first paint"
                paints.append(time.perf_counter() - start)
                time.sleep(1.5)  # the player module and the soundfont load once it is drawn
                # PLAY: the 76 x 32 button at 326, 126 of the main window at 0, 0.
                subprocess.run(["xdotool", "mousemove", "364", "142", "click", "1"], timeout=10)
                line = read_line_until(proc, "PLAY to first block of sound:", 30)
                if line is None:
                    return "the player did not report its first block of sound"
                sounds.append(float(line.split(":")[1].split()[0]) / 1e3)
            finally:
                proc.kill()
                proc.wait()
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return (f"window: start to first paint {statistics.median(paints) * 1e3:.1f} ms (median of "
            f"{runs}); PLAY to first block of sound {statistics.median(sounds) * 1e3:.1f} ms")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=str(ROOT / "build"))
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--baseline", help="build folder of another version to compare with")
    parser.add_argument("--window-only", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args()
    runs = max(args.runs, 10)
    args.build = str(pathlib.Path(args.build).resolve())  # the commands run in a scratch folder
    if args.window_only:
        print(window_timings(args.build, runs))
        return 0

    cli = pathlib.Path(args.build) / "vema-cli"
    if not cli.exists():
        sys.exit(f"{cli} is missing: build first")
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="vema-bench-"))
    try:
        for name in ("default.mld", "default.ton", "default.db"):
            shutil.copy(ROOT / "data" / name, scratch / name)
        def cli_commands(program, suffix):
            return {
                "vema-cli compose, 96 bars" + suffix: [
                    program, "compose", "--dir", ".", "--seed", "7", "--feel", "rock", "--form",
                    NINETY_SIX_BAR_FORM],
                "vema-cli compose, default form" + suffix: [
                    program, "compose", "--dir", ".", "--seed", "7", "--feel", "rock"],
                "vema-cli --help" + suffix: [program, "--help"],
            }

        commands = cli_commands(str(cli), "")
        if args.baseline:
            baseline = pathlib.Path(args.baseline).resolve() / "vema-cli"
            if not baseline.exists():
                sys.exit(f"{baseline} is missing")
            commands.update(cli_commands(str(baseline), " (baseline)"))
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
    print()
    print(window_timings(args.build, runs))
    return 0


if __name__ == "__main__":
    sys.exit(main())
