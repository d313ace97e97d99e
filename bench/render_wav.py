#!/usr/bin/env python3
"""The WAV rendering of the 96-bar song, side by side with FluidSynth's own command line.

    bench/render_wav.py [--build DIR] [--runs N] [--baseline DIR] [--soundfont SF2]

The song: `vema-cli compose` of the shipped 96-bar form (seed 7, rock) in a scratch folder.
Each round runs, in turn (interleaved, so that a change of the machine's load touches all alike):
`vema-cli play --wav` (and the same of another build with --baseline), and FluidSynth's fast
render of the same out.mid with the same soundfont, `fluidsynth -ni -q -F out.wav -r 44100 SF2
out.mid`, once on one core and once with `-o synth.cpu-cores=2` (its multi-core rendering).
Printed: the median and lowest CPU time (user + system of the child, from getrusage) and the
median wall time of each over N rounds (at least 5), the ratios to FluidSynth's single-core CPU,
and the length of sound each wrote (ours ends once the sound has died away below -60 dBFS).
Needs Debian's `fluidsynth` (the benchmark only: apt-get install --no-install-recommends
fluidsynth).
"""
import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import wave

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "bench"))
from whole_process import NINETY_SIX_BAR_FORM, run_once  # noqa: E402

SOUNDFONTS = ["/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2",
              "/usr/share/sounds/sf2/FluidR3_GM.sf2"]


def seconds_of(path):
    with wave.open(str(path)) as w:
        return w.getnframes() / w.getframerate()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=str(ROOT / "build"))
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--baseline", help="build folder of another version to compare with")
    parser.add_argument("--soundfont", help="the soundfont of both (default: the one vema uses)")
    args = parser.parse_args()
    runs = max(args.runs, 5)
    cli = pathlib.Path(args.build).resolve() / "vema-cli"
    if not cli.exists():
        sys.exit(f"{cli} is missing: build first")
    fluidsynth = shutil.which("fluidsynth")
    if not fluidsynth:
        sys.exit("fluidsynth is missing (apt-get install --no-install-recommends fluidsynth)")
    soundfont = args.soundfont or next((s for s in SOUNDFONTS if os.path.isfile(s)), None)
    if not soundfont:
        sys.exit("no General MIDI soundfont in /usr/share/sounds/sf2")
    soundfont = os.path.realpath(soundfont)

    scratch = pathlib.Path(tempfile.mkdtemp(prefix="vema-render-"))
    try:
        for name in ("default.mld", "default.ton", "default.db"):
            shutil.copy(ROOT / "data" / name, scratch / name)
        os.symlink(soundfont, scratch / "default.sf2")  # the same soundfont for both
        subprocess.run([str(cli), "compose", "--dir", ".", "--seed", "7", "--feel", "rock",
                        "--form", NINETY_SIX_BAR_FORM], cwd=scratch, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        peer = [fluidsynth, "-ni", "-q", "-F", "fluidsynth.wav", "-r", "44100"]
        commands = {
            "vema-cli play --wav": [str(cli), "play", "--dir", ".", "--wav", "vema.wav"],
            "fluidsynth -F (peer)": peer + [soundfont, "out.mid"],
            "fluidsynth -F, 2 cores (peer)": peer + ["-o", "synth.cpu-cores=2", soundfont,
                                                     "out.mid"],
        }
        outputs = {"vema-cli play --wav": "vema.wav", "fluidsynth -F (peer)": "fluidsynth.wav"}
        if args.baseline:
            baseline = pathlib.Path(args.baseline).resolve() / "vema-cli"
            if not baseline.exists():
                sys.exit(f"{baseline} is missing")
            commands["vema-cli play --wav (baseline)"] = [str(baseline), "play", "--dir", ".",
                                                          "--wav", "baseline.wav"]
            outputs["vema-cli play --wav (baseline)"] = "baseline.wav"
        samples = {name: [] for name in commands}
        for name, argv in commands.items():  # a first run each, not counted (disk cache)
            if run_once(argv, scratch)[2] != 0:
                sys.exit(f"{name}: failed")
        lengths = {name: seconds_of(scratch / path) for name, path in outputs.items()}
        for _ in range(runs):
            for name, argv in commands.items():
                samples[name].append(run_once(argv, scratch))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    load = open("/proc/loadavg").read().split()[:3]
    print(f"{runs} interleaved rounds; load average {' '.join(load)}; {os.cpu_count()} CPUs; "
          f"soundfont {soundfont}; CPU = user + system")
    print(f"{'command':34} {'CPU median':>11} {'CPU lowest':>11} {'wall median':>12} {'sound':>8}")
    medians = {}
    for name, values in samples.items():
        cpu = [v[0] for v in values]
        medians[name] = statistics.median(cpu)
        sound = f"{lengths[name]:7.2f}s" if name in lengths else ""
        print(f"{name:34} {medians[name]:9.3f} s  {min(cpu):9.3f} s  "
              f"{statistics.median(v[1] for v in values):10.3f} s {sound:>8}")
    base = medians["fluidsynth -F (peer)"]
    print("\nratios of median CPU to FluidSynth's single-core render (target: vema <= 1.10):")
    for name, value in medians.items():
        print(f"  {name:34} {value / base:6.2f} x")
    return 0


if __name__ == "__main__":
    sys.exit(main())
