#!/usr/bin/env bash
# make fuzz: builds the NatNet decoder fuzz targets with clang and libFuzzer
# (the "fuzz" preset) and runs each for FUZZ_SECONDS seconds (default 60) on a
# copy of its committed seed corpus. Fails when any target finds a crash.
set -euo pipefail

cd "$(dirname "$0")/.."
FUZZ_SECONDS="${FUZZ_SECONDS:-60}"
JOBS="${FUZZ_JOBS:-2}"
TARGETS=(frame model_definitions server_info messages)
BUILD=build/fuzz

if ! command -v clang++ >/dev/null; then
  scripts/install-deps.sh
fi

cmake --preset fuzz >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target "${TARGETS[@]/#/fuzz_}"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/natnet-fuzz.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT
status=0
for target in "${TARGETS[@]}"; do
  corpus="$WORK/corpus-$target"
  artifacts="$WORK/artifacts-$target"
  mkdir -p "$corpus" "$artifacts"
  cp fuzz/corpus/"$target"/* "$corpus"/
  echo "== fuzz_$target for ${FUZZ_SECONDS}s"
  if ! "$BUILD/bin/fuzz_$target" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$WORK/$target.log" 2>&1; then
    echo "fuzz_$target FAILED; last lines of its log:" >&2
    tail -n 40 "$WORK/$target.log" >&2
    mkdir -p "$BUILD/fuzz-artifacts"
    cp -r "$artifacts"/. "$BUILD/fuzz-artifacts/" 2>/dev/null || true
    echo "crash inputs kept in $BUILD/fuzz-artifacts" >&2
    status=1
  else
    grep -E 'stat::number_of_executed_units|stat::new_units_added' "$WORK/$target.log" || true
  fi
done
exit $status
