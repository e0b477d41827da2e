#!/usr/bin/env bash
# Every test: the whole suite under ASan+UBSan, the lint, then the threaded suites again under
# TSan, then a short fuzzing run of each decoder.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}

echo "== ASan+UBSan build and full suite"
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset dev -j "$jobs"

# The house style: format, test names, every clang-tidy check on the product's units and the
# dialect's on the tests' (make lint adds the tests' remaining checks).
scripts/lint.sh --product

echo "== TSan build and threaded suites"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --preset tsan -j "$jobs"

# Then each NatNet decoder under libFuzzer (clang, ASan+UBSan) for FUZZ_SECONDS seconds
# (default 30 here, 60 in make fuzz; 0 skips the step). A crash fails the run and keeps its
# input in build/fuzz/fuzz-artifacts.
fuzz_seconds=${FUZZ_SECONDS:-30}
if [ "$fuzz_seconds" != "0" ]; then
  echo "== fuzzing the decoders, ${fuzz_seconds} s per target"
  FUZZ_SECONDS="$fuzz_seconds" FUZZ_JOBS="$jobs" scripts/fuzz.sh
fi
echo "== all tests passed"
