#!/usr/bin/env bash
# Sets everything up, builds the program folder and runs it on its built-in default.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
echo "Built into build/default/bin"

# With a display, the window opens on the program folder as it is.
if [ -x build/default/bin/hollowmere ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  echo "Starting the window: build/default/bin/hollowmere"
  exec build/default/bin/hollowmere
fi
