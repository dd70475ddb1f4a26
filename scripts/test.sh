#!/usr/bin/env bash
# Sets everything up, builds both presets (optimised, and AddressSanitizer +
# UBSan) and runs every test in each. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

# Compilations cached by ccache are found again from any checkout folder.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

# Window tests run without a display.
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
jobs=$(nproc)

for preset in default asan; do
  echo "== $preset =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
