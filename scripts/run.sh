#!/usr/bin/env bash
# Builds the release preset and starts Ordwell.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target ordwell
exec build/release/window/ordwell "$@"
