#!/usr/bin/env bash
# Installs what building and running need, builds the program (no tests) and starts Ordwell.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake --preset app >/dev/null
cmake --build --preset app --target ordwell
exec build/app/window/ordwell "$@"
