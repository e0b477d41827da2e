#!/usr/bin/env bash
# PLACEHOLDER demo: until the simulator and the headless host exist, this only
# builds the release tree and says so. It does not stream anything yet.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
echo "make demo: PLACEHOLDER - the live demo (simulator + host + module) is not built yet."
