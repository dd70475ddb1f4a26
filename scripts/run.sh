#!/usr/bin/env bash
# Sets everything up, builds the program folder and renders the sample log
# into it: the pages go beside the program (build/default/bin/long*.html),
# surface pictures from the plugins folder into build/default/bin/cache/.
# With a display, the window then opens on the program folder as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
echo "Built into build/default/bin"

bin=build/default/bin
"$bin/hollowmere-render" --plugins "$bin/plugins" --cache "$bin/cache" "$bin/log.txt" "$bin"
echo "Pages are in $(cd "$bin" && pwd)/ (open long0.html in a browser)"

if [ -x "$bin/hollowmere" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  echo "Starting the window: $bin/hollowmere"
  exec "$bin/hollowmere"
fi
