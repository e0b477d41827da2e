#!/usr/bin/env bash
# make bench: builds the benchmarks and the latency tool with the release preset, runs both and
# prints the results with the machine they ran on. Everything runs on this machine only
# (loopback). Knobs: JOBS (build jobs, default 2), BENCH_MIN_TIME (seconds per benchmark,
# default 0.5), BENCH_FILTER (benchmark regex), LATENCY_ARGS (default: 240 Hz, 1 kHz and 10 kHz
# for 3, 3 and 12 s, with the epoll floor), LATENCY_MODE (multicast or unicast).
set -euo pipefail
cd "$(dirname "$0")/.."

JOBS="${JOBS:-2}"
BENCH_MIN_TIME="${BENCH_MIN_TIME:-0.5}"
BENCH_FILTER="${BENCH_FILTER:-.}"
LATENCY_ARGS="${LATENCY_ARGS:---rates 240,1000,10000 --durations 3,3,12 --reactor-floor}"
LATENCY_MODE="${LATENCY_MODE:-multicast}"
BIN=build/release/bin

cmake --preset release >/dev/null
cmake --build --preset release -j "$JOBS" --target quorvane-bench natnet-latency

echo "== machine"
lscpu | grep -E '^(Model name|CPU\(s\)|Thread\(s\) per core|Hypervisor vendor):' | sed 's/  */ /g'
echo "Kernel: $(uname -r)"
echo "Compiler: $(c++ --version | head -n 1)"
echo "Build type: Release (preset release)"
echo "Load: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "== benchmarks"
"$BIN/quorvane-bench" --benchmark_min_time="$BENCH_MIN_TIME" --benchmark_filter="$BENCH_FILTER"

echo "== latency (natnet-latency $LATENCY_ARGS --mode $LATENCY_MODE)"
# shellcheck disable=SC2086  # the arguments are meant to split
"$BIN/natnet-latency" $LATENCY_ARGS --mode "$LATENCY_MODE" --json
echo "Load afterwards: $(cut -d' ' -f1-3 /proc/loadavg)"
