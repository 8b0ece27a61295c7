#!/usr/bin/env bash
# Installs the Debian packages Ordwell needs, skipping those already there.
# Usage: scripts/install-deps.sh [build] [test] [extra-package...]
#   build  what building and running the program needs
#   test   what the tests, sanitizers, fuzzers, benchmarks, screenshots and package checks need
# With neither group named, installs both.
set -euo pipefail

# Building and running.
build_packages=(
  cmake
  ninja-build
  g++
  qt6-base-dev
  libgl-dev
  libicu-dev
  help2man
)

# Tests and tools; one package a line.
test_packages=(
  clang-14
  clang-format-14
  clang-tidy-14
  libclang-rt-14-dev
  libgtest-dev
  libbenchmark-dev
  xvfb
  xauth
  openbox
  xdotool
  wmctrl
  x11-apps
  x11-utils
  imagemagick
  fonts-dejavu-core
  python3
  time
  file
  dpkg-dev
  desktop-file-utils
  appstream
  lintian
)

packages=()
groups=0
for arg in "$@"; do
  case "$arg" in
    build) packages+=("${build_packages[@]}"); groups=1 ;;
    test) packages+=("${test_packages[@]}"); groups=1 ;;
    *) packages+=("$arg") ;;
  esac
done
[ "$groups" -eq 1 ] || packages+=("${build_packages[@]}" "${test_packages[@]}")

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
