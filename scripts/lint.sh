#!/usr/bin/env bash
# The house style, checked: the formatter over every tracked C++ file, test names in
# PascalCase, then clang-tidy (.clang-tidy) over every translation unit of the dev build.
# Any finding fails the run.
#   scripts/lint.sh            every check on every unit (make lint)
#   scripts/lint.sh --product  every check on the product's units (platform, module, apps,
#                              bench, fuzz), the dialect's checks on the tests' units: what
#                              make test runs
#   scripts/lint.sh --dialect  only the dialect's checks (member names, braces): a quicker look
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
mode=${1:-all}
case "$mode" in
  all | --product | --dialect) ;;
  *) echo "usage: scripts/lint.sh [--product | --dialect]" >&2; exit 2 ;;
esac
dialect_checks='-*,readability-identifier-naming,readability-braces-around-statements'

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
# tidy <units file> [--checks=...]: gcc-only warning flags from the compile commands are not
# clang-tidy's business.
tidy() {
  local units=$1
  shift
  xargs -P "$jobs" -n 4 clang-tidy -p build/dev --quiet --warnings-as-errors='*' "$@" \
    --extra-arg=-Wno-unknown-warning-option < "$units"
}
case "$mode" in
  all) tidy build/dev/lint-units.txt ;;
  --dialect) tidy build/dev/lint-units.txt --checks="$dialect_checks" ;;
  --product)
    grep -v "^$PWD/tests/" build/dev/lint-units.txt > build/dev/lint-product-units.txt || true
    grep "^$PWD/tests/" build/dev/lint-units.txt > build/dev/lint-test-units.txt || true
    echo "every check on $(wc -l < build/dev/lint-product-units.txt) product units"
    tidy build/dev/lint-product-units.txt
    echo "the dialect's checks on $(wc -l < build/dev/lint-test-units.txt) test units"
    tidy build/dev/lint-test-units.txt --checks="$dialect_checks"
    ;;
esac
echo "== lint clean"
