#!/usr/bin/env bash
# Sets everything up and builds the program folder (build/default/bin). With a
# display ($DISPLAY or $WAYLAND_DISPLAY) the window opens on that folder as it
# is; without one the sample log is rendered into it instead: the pages go
# beside the program (build/default/bin/long*.html), surface pictures from the
# plugins folder into build/default/bin/cache/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
echo "Built into build/default/bin"

bin=build/default/bin
if [ -x "$bin/hollowmere" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  echo "Starting the window: $bin/hollowmere"
  exec "$bin/hollowmere"
fi

"$bin/hollowmere-render" --plugins "$bin/plugins" --cache "$bin/cache" "$bin/log.txt" "$bin"
echo "Pages are in $(cd "$bin" && pwd)/ (open long0.html in a browser)"
