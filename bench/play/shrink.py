#!/usr/bin/env python3
# The cost of shrinking while playing: play-probe of one or more builds in each stretch
# mode, and QMovie scaled to the same rectangle, playing the same file in turn (the
# programs interleaved, each round in the opposite order), CPU over a window opening 2 s
# after the spawn as measure.py reads it. Prints ms of CPU over that window for every
# round, and each build's Stretch and Proportional against its No Stretch. Run under
# xvfb-run as run.sh runs measure.py:
#
#   xvfb-run -a -s "-screen 0 1280x1024x24" python3 bench/play/shrink.py \
#       --file build/play/play-gifs/anim-800x600.gif [--reps 3] [--seconds 10] [--opaque] BUILD_A [BUILD_B ...]
#
# --opaque runs each mode a second time with Transparent unticked, so that the component
# paints its own back colour and what lies beneath is never repainted under a frame.
# Each BUILD is a build directory holding bench/play/play-probe; the QMovie peer is the
# first build's.
import argparse
import os
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import measure  # noqa: E402

MODES = (("0", "No Stretch"), ("1", "Stretch"), ("2", "Proportional"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--file", required=True)
    ap.add_argument("--reps", type=int, default=3)
    ap.add_argument("--seconds", type=float, default=10.0, help="CPU window")
    ap.add_argument("--size", default="528x247", help="the rectangle QMovie scales to (the component's)")
    ap.add_argument("--modes", default="0,1,2", help="stretch modes to run")
    ap.add_argument("--opaque", action="store_true", help="each mode also with Transparent unticked")
    ap.add_argument("builds", nargs="+")
    args = ap.parse_args()
    life = str(args.seconds + 3)
    window = (2, args.seconds)
    modes = [m for m in MODES if m[0] in args.modes.split(",")]
    if args.opaque:
        modes += [(mode, f"{name}, opaque") for mode, name in modes]
    commands = {}
    for build in args.builds:
        for mode, name in modes:
            commands[f"{build} {name}"] = [os.path.join(build, "bench/play/play-probe"), "--file", args.file,
                                           "--stretch", mode, "--seconds", life] + (
                                               ["--opaque"] if name.endswith(", opaque") else [])
    commands["QMovie scaled"] = [os.path.join(args.builds[0], "bench/play/qmovie-peer"), args.file, "--scaled",
                                 args.size, "--seconds", life]
    ms = {name: [] for name in commands}
    for rep in range(args.reps):
        for name in commands if rep % 2 == 0 else reversed(commands):
            print(f"[{rep + 1}/{args.reps}] {name}", file=sys.stderr, flush=True)
            ms[name].append(measure.run(commands[name], window)["cpu_pct"] * args.seconds * 10)
    print(f"{os.path.basename(args.file)}: ms of CPU over {args.seconds:.0f} s, {args.reps} rounds, "
          f"load {open('/proc/loadavg').read().split()[0]} at the end")
    for name, values in ms.items():
        print(f"  {name}: {', '.join(f'{v:.0f}' for v in values)} (median {statistics.median(values):.0f})")
    for build in args.builds:
        base = ms.get(f"{build} No Stretch")
        if not base:
            continue
        for _, name in modes:
            if name != "No Stretch" and f"{build} {name}" in ms:
                ratio = statistics.median(ms[f"{build} {name}"]) / statistics.median(base)
                print(f"  {build} {name} / No Stretch: {ratio:.2f}")


if __name__ == "__main__":
    main()
