#!/usr/bin/env bash
# The house style, checked: the formatter over every tracked C++ file, test names in
# PascalCase, then clang-tidy (.clang-tidy) over every translation unit of the dev build.
# Any finding fails the run.
#   scripts/lint.sh            every check in .clang-tidy
#   scripts/lint.sh --dialect  only the dialect's checks (member names, braces): a quicker look
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
tidy_checks=()
if [ "${1:-}" = "--dialect" ]; then
  tidy_checks=(--checks='-*,readability-identifier-naming,readability-braces-around-statements')
fi

echo "== clang-format"
git ls-files -z '*.h' '*.cpp' | xargs -0 clang-format --dry-run --Werror

echo "== test names"
if git grep -nE '^\s*(TEST|TEST_F|TEST_P|TYPED_TEST)\(\s*\w+,\s*[a-z]' -- '*.cpp'; then
  echo "lint: test names are PascalCase (above)" >&2
  exit 1
fi

echo "== clang-tidy"
# Generated sources (moc, uic) must exist before clang-tidy reads the units.
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$jobs"
python3 - <<'PY' > build/dev/lint-units.txt
import json, os
root = os.getcwd() + "/"
folders = ("platform/", "stream/", "controller/", "plugin/", "apps/", "tests/", "bench/", "fuzz/")
units = {e["file"] for e in json.load(open("build/dev/compile_commands.json"))}
print("\n".join(sorted(u for u in units if u.startswith(root) and u[len(root):].startswith(folders))))
PY
echo "$(wc -l < build/dev/lint-units.txt) translation units"
# gcc-only warning flags from the compile commands are not clang-tidy's business.
xargs -P "$jobs" -n 4 clang-tidy -p build/dev --quiet --warnings-as-errors='*' "${tidy_checks[@]}" \
  --extra-arg=-Wno-unknown-warning-option < build/dev/lint-units.txt
echo "== lint clean"
