#!/usr/bin/env bash
# make viewer: builds the release tree, starts natnet-sim on loopback (multicast, TTL 0) and the
# viewer pointed at it; stops the simulator when the viewer's window is closed.
set -euo pipefail
cd "$(dirname "$0")/.."

command_port=${VIEWER_COMMAND_PORT:-15510}
data_port=${VIEWER_DATA_PORT:-15511}

echo "make viewer: builds the release tree, then streams three moving rigid bodies from natnet-sim"
echo "             (multicast on 127.0.0.1, ports ${command_port}/${data_port}) into quorvane-viewer."
echo "             Discovery finds the simulator on loopback; close the window to end."

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target natnet-sim quorvane-viewer QuorvaneOptiTrack

bin=build/release/bin
"$bin/natnet-sim" --multicast --multicast-ttl 0 --local-address 127.0.0.1 \
  --command-port "$command_port" --data-port "$data_port" --rigid-bodies 3 --rate 120 \
  --invalid-gaps --quiet &
sim=$!
stop_sim() {
  kill "$sim" 2>/dev/null || true
  wait "$sim" 2>/dev/null || true
}
trap stop_sim EXIT INT TERM

# Discovery announcements go to the simulator only, never to the machine's networks.
export NATNET_DISCOVERY_TARGETS="127.0.0.1:${command_port}"

viewer=("$bin/quorvane-viewer" --plugins build/release/plugins --multicast --server 127.0.0.1
        --command-port "$command_port" --data-port "$data_port" --connect)
if [ -n "${DISPLAY:-}" ]; then
  "${viewer[@]}" "$@"
else
  # No display: run under a virtual one and keep a screenshot as proof of life.
  mkdir -p build/release/artifacts
  xvfb-run -a "${viewer[@]}" --screenshot build/release/artifacts/viewer.png --after 5 "$@"
fi
