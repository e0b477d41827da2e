#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, tests, demo, benchmarks and
# screenshots need. Cheap when everything is present: it only asks dpkg.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev llvm clang-format clang-tidy python3
  qtbase5-dev qtbase5-dev-tools libqt5opengl5-dev
  libeigen3-dev libboost-dev libboost-thread-dev libboost-system-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libpcap-dev libopenigtlink-dev
  xvfb xauth x11-apps imagemagick
  iproute2 procps nftables
  tcpdump
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}" >&2
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
