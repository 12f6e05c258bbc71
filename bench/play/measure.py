#!/usr/bin/env python3
"""Runs the viewer and its peers one after another on the same X display and prints one
Markdown table of CPU, frame timing, memory and start-up figures (median and min-max of
the repetitions). Start it through bench/play/run.sh, which builds the programs, writes
the test animations and provides the display.

CPU is read from outside, identically for every program: utime + stime from
/proc/PID/stat (all threads) over a fixed wall-clock window that opens 2 s after the
program is spawned, so start-up is left out. The X server's CPU over the same window is
read the same way, since a client can hand work to the server. Frame timing, memory and
first-paint times are printed by the probes themselves (see PlayCommon.h).
"""

import argparse
import json
import os
import signal
import statistics
import subprocess
import sys
import time

TICK = os.sysconf("SC_CLK_TCK")


def cpu_ticks(pid):
    if pid is None:
        return None
    try:
        with open(f"/proc/{pid}/stat") as f:
            text = f.read()
    except OSError:
        return None
    fields = text[text.rindex(")") + 2:].split()
    return int(fields[11]) + int(fields[12])  # utime, stime


def x_server_pid():
    display = os.environ.get("DISPLAY", "")
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                argv = f.read().split(b"\0")
        except OSError:
            continue
        if argv and argv[0].endswith(b"Xvfb") and display.encode() in argv:
            return int(entry)
    return None


def parse(text):
    values = {}
    for line in text.splitlines():
        key, sep, value = line.partition("=")
        if sep:
            try:
                values[key] = float(value)
            except ValueError:
                values[key] = value
    return values


def run(cmd, cpu_window=None, stop_after=None, hwm=False):
    """Spawns cmd; with cpu_window=(start, length) measures its CPU and the X server's over
    that window. stop_after: seconds after which the program is sent SIGTERM (for peers
    that never end by themselves)."""
    env = dict(os.environ, PLAY_T0_NS=str(time.time_ns()))
    t0 = time.monotonic()
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, text=True)
    result = {}
    xpid = x_server_pid()
    if cpu_window:
        start, length = cpu_window
        time.sleep(max(0.0, t0 + start - time.monotonic()))
        a, xa, ta = cpu_ticks(proc.pid), cpu_ticks(xpid), time.monotonic()
        time.sleep(max(0.0, t0 + start + length - time.monotonic()))
        b, xb, tb = cpu_ticks(proc.pid), cpu_ticks(xpid), time.monotonic()
        if a is None or b is None:
            raise RuntimeError(f"{cmd[0]} ended before its CPU window closed")
        result["cpu_pct"] = 100.0 * (b - a) / TICK / (tb - ta)
        if xa is not None and xb is not None:
            result["xserver_cpu_pct"] = 100.0 * (xb - xa) / TICK / (tb - ta)
    if stop_after is not None:
        time.sleep(max(0.0, t0 + stop_after - time.monotonic()))
        if hwm:
            with open(f"/proc/{proc.pid}/status") as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        result["vmhwm_kib"] = float(line.split()[1])
        proc.send_signal(signal.SIGTERM)
    out, err = proc.communicate(timeout=300)
    if stop_after is None and proc.returncode != 0:
        raise RuntimeError(f"{' '.join(cmd)} failed ({proc.returncode}): {err.strip()}")
    result.update(parse(out))
    return result


def fmt(values, digits=1):
    if not values:
        return "n/a"
    med = statistics.median(values)
    if len(values) == 1:
        return f"{med:.{digits}f}"
    return f"{med:.{digits}f} ({min(values):.{digits}f}–{max(values):.{digits}f})"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True, help="directory holding play-probe, qmovie-peer, empty-window")
    ap.add_argument("--gifs", required=True, help="directory holding make-play-gifs' output")
    ap.add_argument("--logo", required=True)
    ap.add_argument("--reps", type=int, default=3)
    ap.add_argument("--seconds", type=float, default=20.0, help="CPU window")
    ap.add_argument("--startup-reps", type=int, default=5)
    ap.add_argument("--json", help="also save every raw figure here")
    ap.add_argument("--only", help="run only these groups, comma-separated (logo, anim, big, large, startup)")
    args = ap.parse_args()

    probe = os.path.join(args.bin, "play-probe")
    qmovie = os.path.join(args.bin, "qmovie-peer")
    empty = os.path.join(args.bin, "empty-window")
    floor = os.path.join(args.bin, "floor-window")
    logo = args.logo
    anim = os.path.join(args.gifs, "anim-800x600.gif")
    big = os.path.join(args.gifs, "frames-1000.gif")
    large = os.path.join(args.gifs, "large-1080p.gif")  # make-play-gifs --large
    win = args.seconds
    life = str(win + 3)  # the probes quit on their own 1 s after the window closes

    programs = {
        "logo": {
            "ours-startup": lambda: run([probe, "--delays-of", logo, "--seconds", life], (2, win)),
            "ours-load": lambda: run([probe, "--file", logo, "--seconds", life], (2, win)),
            "qmovie": lambda: run([qmovie, logo, "--seconds", life], (2, win)),
            "gifview": lambda: run(["gifview", "-a", logo], (2, win), stop_after=2 + win + 0.5),
            "floor-picture": lambda: run([floor, "--picture", "--seconds", life], (2, win)),
            "floor-label": lambda: run([floor, "--picture", "--label", "--controls", "--seconds", life], (2, win)),
        },
        "anim": {
            "ours-load": lambda: run([probe, "--file", anim, "--seconds", life], (2, win)),
            "ours-alone": lambda: run([probe, "--file", anim, "--component-only", "--seconds", life], (2, win)),
            "qmovie": lambda: run([qmovie, anim, "--seconds", life], (2, win)),
            "gifview": lambda: run(["gifview", "-a", anim], (2, win), stop_after=2 + win + 0.5),
        },
        "big": {
            "ours-forward": lambda: run([probe, "--file", big, "--frames", "300", "--seconds", "60"]),
            "ours-reverse": lambda: run([probe, "--file", big, "--sequence", "1", "--frames", "300", "--seconds", "60"]),
            "ours-pingpong": lambda: run([probe, "--file", big, "--sequence", "2", "--frames", "1300", "--seconds", "90"]),
            "qmovie-forward": lambda: run([qmovie, big, "--seconds", "6"]),
        },
        "large": {
            "ours-reverse": lambda: run([probe, "--file", large, "--sequence", "1", "--frames", "300", "--seconds", "60"]),
            "ours-pingpong": lambda: run([probe, "--file", large, "--sequence", "2", "--frames", "700", "--seconds", "90"]),
        },
    }
    if not os.path.exists(large):
        del programs["large"]
    only = set(args.only.split(",")) if args.only else None
    if only:
        programs = {g: e for g, e in programs.items() if g in only}
    startup = {
        "ours-startup": lambda: run([probe, "--delays-of", logo, "--seconds", "2.5"]),
        "qmovie": lambda: run([qmovie, logo, "--seconds", "2.5"]),
        "empty": lambda: run([empty, "--seconds", "2.5"]),
        "floor-controls": lambda: run([floor, "--controls", "--seconds", "2.5"]),
    }

    raw = {}

    # A failed run is reported and left out rather than ending the whole series; every
    # figure is saved as soon as it is taken.
    def attempt(raw, key, fn):
        try:
            raw.setdefault(key, []).append(fn())
        except Exception as error:
            print(f"  failed: {error}", file=sys.stderr, flush=True)
        if args.json:
            with open(args.json, "w") as f:
                json.dump(raw, f, indent=1)
    # Repetitions interleave the programs so a slow spell of the machine hits all alike.
    for rep in range(args.reps):
        for group, entries in programs.items():
            for name, fn in entries.items():
                print(f"[rep {rep + 1}/{args.reps}] {group} {name}", file=sys.stderr, flush=True)
                attempt(raw, f"{group}/{name}", fn)
    for rep in range(args.startup_reps if not only or "startup" in only else 0):
        for name, fn in startup.items():
            print(f"[start-up {rep + 1}/{args.startup_reps}] {name}", file=sys.stderr, flush=True)
            attempt(raw, f"startup/{name}", fn)

    def col(key, field, scale=1.0):
        return [r[field] * scale for r in raw.get(key, []) if field in r]

    def verdict(values, ok):
        if not values:
            return "n/a"
        return "yes" if ok(statistics.median(values)) else "**no**"

    size = os.path.getsize(big)
    mib = 1024 * 1024
    rows = []

    def row(measure, file, ours, qm, gv, em, target, met):
        rows.append((measure, file, ours, qm, gv, em, target, met))

    for g, label in (("logo", "logo.gif"), ("anim", "anim-800x600.gif")):
        variants = [("ours-startup", "window, start-up state")] if g == "logo" else []
        variants += [("ours-load", "window, LoadFile")]
        if g == "anim":
            variants += [("ours-alone", "component alone, own size")]
        for i, (v, what) in enumerate(variants):
            first = i == 0
            row(f"CPU, % of one core ({what})", label, fmt(col(f"{g}/{v}", "cpu_pct")),
                fmt(col(f"{g}/qmovie", "cpu_pct")) if first else "", fmt(col(f"{g}/gifview", "cpu_pct")) if first else "",
                "", "none (compare)", "")
            row(f"X server CPU, % ({what})", label, fmt(col(f"{g}/{v}", "xserver_cpu_pct")),
                fmt(col(f"{g}/qmovie", "xserver_cpu_pct")) if first else "",
                fmt(col(f"{g}/gifview", "xserver_cpu_pct")) if first else "", "", "none (compare)", "")
        for i, (v, what) in enumerate(variants):
            first = i == 0
            ours = col(f"{g}/{v}", "interval_ratio", 100.0)
            row(f"mean frame interval, % of delay ({what})", label, fmt(ours, 2),
                fmt(col(f"{g}/qmovie", "interval_ratio", 100.0), 2) if first else "", "n/a" if first else "", "",
                "99–101", verdict(ours, lambda m: 99.0 <= m <= 101.0))
            ours = col(f"{g}/{v}", "within4_pct")
            row(f"intervals within 4 ms of delay, % ({what})", label, fmt(ours, 1),
                fmt(col(f"{g}/qmovie", "within4_pct"), 1) if first else "", "n/a" if first else "", "", "≥ 99",
                verdict(ours, lambda m: m >= 99.0))

    limit = size / mib + 96
    for v, what in (("ours-forward", "normal, 300 frames, for reference"), ("ours-reverse", "reverse, 300 frames"),
                    ("ours-pingpong", "ping-pong, 1300 frames")):
        ours = col(f"big/{v}", "vmhwm_kib", 1 / 1024)
        row(f"peak RSS, MiB ({what})", "frames-1000.gif", fmt(ours),
            fmt(col("big/qmovie-forward", "vmhwm_kib", 1 / 1024)) + " (normal, 6 s)" if v == "ours-forward" else "",
            "", "", f"≤ {limit:.1f} (file + 96)" if v != "ours-forward" else "",
            verdict(ours, lambda m: m <= limit) if v != "ours-forward" else "")
    # Reverse and ping-pong of the many-frame file and the 1080p one: timing against
    # each frame's delay, the UI thread's longest stall, anonymous memory (the file's
    # mapped pages left out).
    moves = [("big", "frames-1000.gif", v, what) for v, what in (
        ("ours-forward", "normal, 300 frames, for reference"), ("ours-reverse", "reverse, 300 frames"),
        ("ours-pingpong", "ping-pong, 1300 frames"))]
    moves += [("large", "large-1080p.gif", v, what) for v, what in (
        ("ours-reverse", "reverse, 300 frames"), ("ours-pingpong", "ping-pong, 700 frames"))]
    for g, label, v, what in moves:
        if f"{g}/{v}" not in raw:
            continue
        moving = v != "ours-forward"
        row(f"frame changes seen ({what})", label, fmt(col(f"{g}/{v}", "steps"), 0), "", "", "", "", "")
        ours = col(f"{g}/{v}", "within4_pct")
        row(f"intervals within 4 ms, % ({what})", label, fmt(ours), "", "", "", "≥ 99" if moving else "",
            verdict(ours, lambda m: m >= 99.0) if moving else "")
        ours = col(f"{g}/{v}", "longest_interval_ratio")
        row(f"longest interval, × its delay ({what})", label, fmt(ours, 2), "", "", "", "≤ 2" if moving else "",
            verdict(ours, lambda m: m <= 2.0) if moving else "")
        row(f"UI thread's longest event, ms ({what})", label, fmt(col(f"{g}/{v}", "ui_longest_stall_ms")), "", "", "",
            "", "")
        ours = col(f"{g}/{v}", "rss_anon_peak_kib", 1 / 1024)
        row(f"anonymous memory, peak of samples, MiB ({what})", label, fmt(ours), "", "", "", "≤ 160" if moving else "",
            verdict(ours, lambda m: m <= 160) if moving else "")
        row(f"RSS / Anonymous at the end (smaps_rollup), MiB ({what})", label,
            fmt(col(f"{g}/{v}", "smaps_rss_kib", 1 / 1024)) + " / " + fmt(col(f"{g}/{v}", "smaps_anonymous_kib", 1 / 1024)),
            "", "", "", "", "")

    empty_rss = col("startup/empty", "rss_idle_kib", 1 / 1024)
    ours = col("startup/ours-startup", "rss_idle_kib", 1 / 1024)
    em = statistics.median(empty_rss) if empty_rss else 0
    row("RSS 1 s after first paint, MiB", "logo.gif", fmt(ours), fmt(col("startup/qmovie", "rss_idle_kib", 1 / 1024)), "",
        fmt(empty_rss), f"≤ 1.2 × empty = {1.2 * em:.1f}", verdict(ours, lambda m: m <= 1.2 * em))
    empty_paint = col("startup/empty", "first_paint_ms")
    ours = col("startup/ours-startup", "first_paint_ms")
    ep = statistics.median(empty_paint) if empty_paint else 0
    row("spawn to first paint, ms", "logo.gif", fmt(ours), fmt(col("startup/qmovie", "first_paint_ms")), "",
        fmt(empty_paint), f"≤ 1.2 × empty = {1.2 * ep:.0f}", verdict(ours, lambda m: m <= 1.2 * ep))
    row("same, from the kernel's start time, ms", "logo.gif", fmt(col("startup/ours-startup", "first_paint_kernel_ms")),
        fmt(col("startup/qmovie", "first_paint_kernel_ms")), "", fmt(col("startup/empty", "first_paint_kernel_ms")), "",
        "")

    for stage, what in (("main", "main() entered"), ("app", "QApplication constructed"),
                        ("window", "window constructed")):
        row(f"spawn to {what}, ms", "logo.gif", fmt(col("startup/ours-startup", f"stage_{stage}_ms")), "", "",
            fmt(col("startup/empty", f"stage_{stage}_ms")), "", "")
    row("RSS when the window is constructed, MiB", "logo.gif",
        fmt(col("startup/ours-startup", "stage_window_rss_kib", 1 / 1024)), "", "",
        fmt(col("startup/empty", "stage_window_rss_kib", 1 / 1024)), "", "")

    floors = []
    for key, what in (("logo/floor-picture", "a 96 × 56 picture repainted 50 times a second"),
                      ("logo/floor-label", "the same, with the controls and a label's text changed each time")):
        floors.append((f"CPU, % of one core: {what}", fmt(col(key, "cpu_pct")), fmt(col("logo/ours-startup", "cpu_pct"))))
    floor_rss = col("startup/floor-controls", "rss_idle_kib", 1 / 1024)
    floors.append(("RSS 1 s after first paint, MiB: a window with one of each control, with text", fmt(floor_rss),
                   fmt(col("startup/ours-startup", "rss_idle_kib", 1 / 1024))))
    floors.append(("spawn to first paint, ms: the same window", fmt(col("startup/floor-controls", "first_paint_ms")),
                   fmt(col("startup/ours-startup", "first_paint_ms"))))
    if floor_rss and em:
        floors.append(("that window's RSS against the empty window's", f"{statistics.median(floor_rss) / em:.2f} ×", ""))
    if ep and col("startup/floor-controls", "first_paint_ms"):
        fp = statistics.median(col("startup/floor-controls", "first_paint_ms"))
        floors.append(("that window's start-up against the empty window's", f"{fp / ep:.2f} ×", ""))

    print(f"frames-1000.gif: {size} bytes; figures are median (min–max) of {args.reps} runs "
          f"({args.startup_reps} for start-up and idle RSS); CPU over {win:.0f} s of wall time")
    print()
    print("| measure | file | ours | QMovie | gifview | empty window | target | met |")
    print("|---|---|---:|---:|---:|---:|---|---|")
    for r in rows:
        if not only or r[2] not in ("n/a", "n/a / n/a"):
            print("| " + " | ".join(r) + " |")
    if only and not {"logo", "startup"} <= only:
        return
    print()
    print("Qt's floor: floor-window, the same work with none of our code (logo figures for ours)")
    print()
    print("| floor | Qt alone | ours |")
    print("|---|---:|---:|")
    for r in floors:
        print("| " + " | ".join(r) + " |")


if __name__ == "__main__":
    main()
