#!/usr/bin/env python3
"""Runs bench-decode and prints a Markdown table: time per file per engine, pixel rate,
and each engine's time as a multiple of giflib's on the same file.

    bench/report.py [--binary PATH] [--time real|cpu] [-- extra bench-decode arguments]

With repetitions (e.g. -- --benchmark_repetitions=5) the median is used.
"""
import argparse
import json
import subprocess
import sys
from pathlib import Path

ENGINES = ["ours", "giflib", "stb", "qt"]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    default_binary = Path(__file__).resolve().parent.parent / "build" / "bench" / "bench" / "bench-decode"
    parser.add_argument("--binary", default=str(default_binary))
    parser.add_argument("--time", choices=["real", "cpu"], default="cpu")
    parser.add_argument("--json", help="read results saved from an earlier run instead of running")
    parser.add_argument("extra", nargs="*", help="passed to bench-decode")
    args = parser.parse_args()

    if args.json:
        text = Path(args.json).read_text()
    else:
        command = [args.binary, "--benchmark_format=json", *args.extra]
        print("$ " + " ".join(command), file=sys.stderr)
        text = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    data = json.loads(text)

    results = {}  # (engine, file) -> (milliseconds, pixels per second)
    for entry in data["benchmarks"]:
        if entry.get("error_occurred"):
            print(f"{entry['name']}: {entry.get('error_message')}", file=sys.stderr)
            continue
        if entry.get("run_type") == "aggregate" and entry.get("aggregate_name") != "median":
            continue
        name = entry.get("run_name", entry["name"]).removesuffix("/process_time")
        _, engine, file = name.split("/", 2)
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[entry["time_unit"]]
        millis = entry[f"{args.time}_time"] * scale
        results[(engine, file)] = (millis, entry.get("pixels/s", 0.0))

    files = sorted({file for _, file in results})
    engines = [e for e in ENGINES if any((e, f) in results for f in files)]
    print(f"| file | engine | {args.time} time (ms) | MPix/s | time / giflib |")
    print("|---|---|---:|---:|---:|")
    for file in files:
        base = results.get(("giflib", file))
        for engine in engines:
            if (engine, file) not in results:
                continue
            millis, rate = results[(engine, file)]
            ratio = f"{millis / base[0]:.3f}" if base else "-"
            shown = f"{millis:.3f}" if millis >= 0.1 else f"{millis:.4f}"  # small files in microseconds too
            print(f"| {file} | {engine} | {shown} | {rate / 1e6:.1f} | {ratio} |")


if __name__ == "__main__":
    main()
