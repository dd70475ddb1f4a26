#!/usr/bin/env bash
# Sets everything up, builds the program folder (build/default/bin) and runs
# the whole road against a stand-in for the Voyla service: the stand-in
# serves the sample log on a free local port with its newest message moved
# to now, HOLLOWMERE_SERVICE points the program at it, and
#   hollowmere past 1440 20 view     opens the window on a display
#                                    (DISPLAY or WAYLAND_DISPLAY), or
#   hollowmere past 1440 20 noview   writes the pages without one and says
#                                    where they are.
# The stand-in's request lines are shown as they come; it ends with this script.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
echo "Built into build/default/bin"

bin=build/default/bin
standin=build/default/tools/voyla-standin/voyla-standin

# A first run gets settings that make the demo work at once: the sample
# plugin's folder and a LUID to vote with. Existing settings are kept.
if [ ! -e "$bin/Hollowmere.ini" ]; then
  printf '[General]\r\nSppDir=%s/plugins/\r\nLUID=newcomer\r\n' "$(cd "$bin" && pwd)" > "$bin/Hollowmere.ini"
  echo "Wrote $bin/Hollowmere.ini (plugin folder: $bin/plugins/, LUID: newcomer)"
fi

standin_out=$(mktemp)
"$standin" "$bin/log.txt" > "$standin_out" &
standin_pid=$!
tail_pid=
cleanup() {
  kill "$standin_pid" 2>/dev/null || true
  if [ -n "$tail_pid" ]; then kill "$tail_pid" 2>/dev/null || true; fi
  rm -f "$standin_out"
}
trap cleanup EXIT

for _ in $(seq 100); do
  grep -q "listening on" "$standin_out" && break
  sleep 0.1
done
port=$(sed -n 's/^voyla-standin: listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$standin_out")
if [ -z "$port" ]; then
  cat "$standin_out" >&2
  echo "run: the Voyla stand-in did not start" >&2
  exit 1
fi
tail -n +1 -f "$standin_out" &
tail_pid=$!
export HOLLOWMERE_SERVICE="127.0.0.1:$port"
echo "Voyla stand-in on $HOLLOWMERE_SERVICE (HOLLOWMERE_SERVICE)"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting the window: $bin/hollowmere past 1440 20 view"
  "$bin/hollowmere" past 1440 20 view
else
  echo "No display: $bin/hollowmere past 1440 20 noview"
  "$bin/hollowmere" past 1440 20 noview
  echo "Pages are in $(cd "$bin" && pwd)/ (open long0.html in a browser)"
fi

# The archive: the fetch above was kept in the program folder's
# archive.sqlite3 before its pages were written; one search of it.
echo "Searching the archive: $bin/hollowmere-archive search 天気 --limit 5"
"$bin/hollowmere-archive" search 天気 --limit 5
