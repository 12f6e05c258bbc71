# One load per process, as a viewer started on a file does it: runs `load-probe fresh`
# for ours, QMovie (first frame and frame count) and QMovie's first frame alone, in
# turn, N times each, and prints medians of the time from the load call to the count
# (inside the process) and of the whole process from spawn to exit. The page cache is
# warm: the files are read once before the first run.
#
#   QT_QPA_PLATFORM=offscreen python3 bench/load/fresh.py PROBE --reps 9 F.gif...
import argparse
import statistics
import subprocess
import time


def run(command):
    start = time.perf_counter()
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    wall = (time.perf_counter() - start) * 1000
    values = dict(line.split("=", 1) for line in out.split())
    return float(values["first_frame_ms"]), float(values["count_ms"]), wall, int(values["frames"])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("probe")
    ap.add_argument("--reps", type=int, default=9)
    ap.add_argument("files", nargs="+")
    args = ap.parse_args()
    who = ["ours", "qmovie", "qmovie-first"]
    for path in args.files:
        with open(path, "rb") as f:  # warm the page cache
            while f.read(1 << 24):
                pass
        raw = {w: [] for w in who}
        for rep in range(args.reps):
            for w in who if rep % 2 == 0 else reversed(who):
                raw[w].append(run([args.probe, "fresh", w, path]))
        med = {w: [statistics.median(r[i] for r in raw[w]) for i in range(3)] for w in who}
        print(f"== {path} (n={args.reps}, frames ours {raw['ours'][0][3]}, QMovie {raw['qmovie'][0][3]})")
        for w in who:
            print(f"{w:13s} first frame {med[w][0]:8.2f} ms, count {med[w][1]:8.2f} ms, process {med[w][2]:8.2f} ms")
        print(f"ratio ours/QMovie: count {med['ours'][1] / med['qmovie'][1]:.3f}, "
              f"process {med['ours'][2] / med['qmovie'][2]:.3f}; ours first frame / QMovie first frame alone "
              f"{med['ours'][0] / med['qmovie-first'][0]:.3f}")


if __name__ == "__main__":
    main()
