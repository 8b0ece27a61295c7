#!/usr/bin/env bash
# Builds a preset (default: release) and runs every test registered with CTest. Any further
# arguments go to the configure step, e.g. -DORDWELL_WARNINGS_AS_ERRORS=ON (kept in the cache).
# Usage: scripts/test.sh [preset [cmake-option...]]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
shift || true
scripts/install-deps.sh build test
cmake --preset "$preset" "$@" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j "$(nproc)"
