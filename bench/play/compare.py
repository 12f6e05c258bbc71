# Interleaved start-up runs of play-probe from several builds (one build directory
# each, e.g. the same tree with and without a change), under the display measure.py
# uses; prints the median and range of the time to first paint and of the resident
# memory 1 s after it, with ICU's resident share of it at the end. --floor adds the first
# build's floor-window with one of each control to the series and gives each build's
# memory as a ratio to it. Run under xvfb-run as run.sh runs measure.py:
#
#   xvfb-run -a -s "-screen 0 1280x1024x24" python3 bench/play/compare.py \
#       --logo assets/logo.gif --reps 16 [--floor] BUILD_A BUILD_B ...
import argparse
import os
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import measure  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--logo", required=True)
    ap.add_argument("--reps", type=int, default=16)
    ap.add_argument("--floor", action="store_true", help="also run the floor window, one of each control")
    ap.add_argument("builds", nargs="+", help="build directories holding bench/play/play-probe")
    args = ap.parse_args()
    commands = {b: [os.path.join(b, "bench/play/play-probe"), "--delays-of", args.logo, "--seconds", "2.5"]
                for b in args.builds}
    if args.floor:
        commands["floor"] = [os.path.join(args.builds[0], "bench/play/floor-window"), "--controls", "--seconds", "2.5"]
    raw = {name: [] for name in commands}
    for rep in range(args.reps):
        # Each program goes first as often as last: the order moves start-up times.
        for name in commands if rep % 2 == 0 else reversed(commands):
            raw[name].append(measure.run(commands[name]))
    floor_rss = statistics.median(r["rss_idle_kib"] for r in raw["floor"]) if args.floor else None
    for name in commands:
        paint = [r["first_paint_ms"] for r in raw[name]]
        rss = [r["rss_idle_kib"] / 1024 for r in raw[name]]
        icu = [r["icu_rss_kib"] / 1024 for r in raw[name]]
        ratio = f", {statistics.median(rss) * 1024 / floor_rss:.3f} x the floor" if floor_rss else ""
        print(f"{name}: first paint {statistics.median(paint):.1f} ms ({min(paint):.1f}-{max(paint):.1f}), "
              f"RSS {statistics.median(rss):.2f} MiB ({min(rss):.2f}-{max(rss):.2f}){ratio}, "
              f"ICU {statistics.median(icu):.2f} MiB ({min(icu):.2f}-{max(icu):.2f}), n={len(paint)}")


if __name__ == "__main__":
    main()
