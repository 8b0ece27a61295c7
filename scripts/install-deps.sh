#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, skipping those already there.
# Usage: scripts/install-deps.sh [extra-package...]
set -euo pipefail

packages=(
  cmake ninja-build g++ clang-14 libclang-rt-14-dev
  qt6-base-dev libgl-dev libicu-dev libgtest-dev libbenchmark-dev
  xvfb xauth openbox xdotool wmctrl x11-apps x11-utils imagemagick fonts-dejavu-core
  python3 time help2man
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
echo "Installing: ${missing[*]}" >&2
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
