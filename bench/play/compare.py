# Interleaved start-up runs of play-probe from several builds (one build directory
# each, e.g. the same tree with and without a change), under the display measure.py
# uses; prints the median and range of the time to first paint and of the resident
# memory 1 s after it. Run under xvfb-run as run.sh runs measure.py:
#
#   xvfb-run -a -s "-screen 0 1280x1024x24" python3 bench/play/compare.py \
#       --logo assets/logo.gif --reps 16 BUILD_A BUILD_B ...
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
    ap.add_argument("builds", nargs="+", help="build directories holding bench/play/play-probe")
    args = ap.parse_args()
    raw = {b: [] for b in args.builds}
    for rep in range(args.reps):
        # Each build goes first as often as last: the order moves start-up times.
        for b in args.builds if rep % 2 == 0 else reversed(args.builds):
            raw[b].append(measure.run([os.path.join(b, "bench/play/play-probe"), "--delays-of", args.logo,
                                       "--seconds", "2.5"]))
    for b in args.builds:
        paint = [r["first_paint_ms"] for r in raw[b]]
        rss = [r["rss_idle_kib"] / 1024 for r in raw[b]]
        print(f"{b}: first paint {statistics.median(paint):.1f} ms ({min(paint):.1f}-{max(paint):.1f}), "
              f"RSS {statistics.median(rss):.2f} MiB ({min(rss):.2f}-{max(rss):.2f}), n={len(paint)}")


if __name__ == "__main__":
    main()
