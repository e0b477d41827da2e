#!/usr/bin/env bash
# make demo: the whole road from a NatNet server to live instrument poses, on this machine only.
# Builds the release tree, starts natnet-sim on 127.0.0.1 (a stand-in for Motive: three moving
# rigid bodies, metres, unicast, 120 Hz, ports picked by the simulator), loads the OptiTrack
# module into the headless host quorvane-host, connects, shows the live table (position,
# quality, rate, age, roll/pitch/yaw) for about 15 s and prints a summary. Every process it starts is stopped again, also on Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")/.."

duration=${DEMO_DURATION:-15}
jobs=${JOBS:-$(nproc)}
build=build/release

echo "make demo: builds the release tree, starts the NatNet simulator natnet-sim on 127.0.0.1"
echo "           (3 rigid bodies, metres, unicast, 120 Hz), loads the OptiTrack module into"
echo "           quorvane-host, connects and shows live poses (position and roll, pitch, yaw in"
echo "           degrees, yaw about the vertical y axis) for ${duration} s, then a summary."
echo "           Ctrl-C ends it early; nothing is left running."
echo

cmake --preset release >/dev/null
# What the demo runs: the simulator, the host and (a dependency of the host) the module.
cmake --build --preset release -j "$jobs" --target natnet-sim quorvane-host

work=$(mktemp -d)
sim_pid=""
host_pid=""

stop() {
  local pid
  for pid in "$host_pid" "$sim_pid"; do
    if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid" 2>/dev/null || true
    fi
  done
  for pid in "$host_pid" "$sim_pid"; do
    if [[ -n "$pid" ]]; then
      wait "$pid" 2>/dev/null || true
    fi
  done
  host_pid=""
  sim_pid=""
}
cleanup() {
  stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo; echo "make demo: interrupted, stopping"; stop; exit 130' INT TERM

# The simulator ends by itself a little after the host would, whatever happens here.
"$build/bin/natnet-sim" --local-address 127.0.0.1 --command-port 0 --data-port 0 --unicast \
  --rigid-bodies 3 --rate 120 --units m --duration $((duration + 10)) --quiet >"$work/sim.log" 2>&1 &
sim_pid=$!

# Its first line says where it listens; wait for it (bounded).
ports=""
for _ in $(seq 1 100); do
  ports=$(sed -n 's/.*command port \([0-9]*\) data port \([0-9]*\).*/\1 \2/p' "$work/sim.log" | head -n 1)
  [[ -n "$ports" ]] && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    break
  fi
  sleep 0.05
done
if [[ -z "$ports" ]]; then
  echo "make demo: natnet-sim did not start:" >&2
  cat "$work/sim.log" >&2
  exit 1
fi
read -r command_port data_port <<<"$ports"
echo "natnet-sim: listening on 127.0.0.1, command port $command_port, data port $data_port"
echo

"$build/bin/quorvane-host" --plugins "$build/plugins" --run OptiTrack.OptiTrackStream \
  --set connectionType=unicast --set serverAddress=127.0.0.1 --set localAddress=127.0.0.1 \
  --set commandPort="$command_port" --set dataPort="$data_port" --duration "$duration" &
host_pid=$!
status=0
wait "$host_pid" || status=$?
host_pid=""

stop
echo
tail -n 1 "$work/sim.log"
if [[ $status -ne 0 ]]; then
  echo "make demo: quorvane-host ended with status $status" >&2
fi
exit "$status"
