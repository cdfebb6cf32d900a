#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing), then configures and
# builds into the given folder. Usage: scripts/setup.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true

packages=(build-essential cmake ninja-build pkg-config qt6-base-dev libsqlite3-dev nlohmann-json3-dev
          libpugixml-dev libicu-dev libssl-dev libgtest-dev libgmock-dev libbenchmark-dev openssl
          liblo-dev liboscpack-dev clang-14 libclang-rt-14-dev fonts-noto-color-emoji
          xvfb xauth xdotool qt6-qpa-plugins libxcb1-dev strace)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
