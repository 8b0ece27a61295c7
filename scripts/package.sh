#!/usr/bin/env bash
# Builds the program (no tests) and makes the Debian package build/app/ordwell_<version>_<arch>.deb.
# Install it with: sudo apt install ./build/app/ordwell_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build dpkg-dev
cmake --preset app >/dev/null
cmake --build --preset app
(cd build/app && cpack -G DEB)
