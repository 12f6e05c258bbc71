#!/bin/bash
# The least time of each benchmark over several runs of one or more Google Benchmark
# binaries (builds of the same benchmark), taken in turn so that both see the same load:
# on a shared machine a run is only ever slowed, so the least is the steadiest figure.
#
#   bench/play/bench-min.sh [-r ROUNDS] [-f FILTER] BINARY...
set -eu
rounds=3 filter=.
while getopts r:f: option; do
    case $option in
    r) rounds=$OPTARG ;;
    f) filter=$OPTARG ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
for _ in $(seq "$rounds"); do
    for binary in "$@"; do
        "$binary" --benchmark_filter="$filter" --benchmark_repetitions=5 2>/dev/null \
            | awk -v b="$binary" '$2 ~ /^[0-9.]+$/ && $1 !~ /_(mean|median|stddev|cv)$/ { print b, $1, $2, $3 }'
    done
done | awk '{ k = $1 " " $2; if (!(k in m) || $3 < m[k]) { m[k] = $3; u[k] = $4 } }
    END { for (k in m) print k, m[k], u[k] }' | sort
