#!/usr/bin/env bash
# Sets everything up, builds the program folder and renders the sample log
# into it: the pages go beside the program (build/default/bin/long*.html),
# surface pictures from the plugins folder into build/default/bin/cache/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

bin=build/default/bin
"$bin/hollowmere-render" --plugins "$bin/plugins" --cache "$bin/cache" "$bin/log.txt" "$bin"
echo "Pages are in $(cd "$bin" && pwd)/ (open long0.html in a browser)"
