#!/usr/bin/env bash
# Runs the libFuzzer targets (clang, the "fuzz" preset) for a while each and
# prints one summary line per target: inputs run, inputs per second, edges
# covered, and whether anything was found.
#
#   fuzz/run-libfuzzer.sh [SECONDS] [TARGET...]     (default: 600, every target)
#
# The seeds of fuzz/corpus/<Target>/ are copied into build/fuzz/corpus/, which
# the runs grow; fuzz/corpus/ itself is never written. A failing input lands
# in build/fuzz/artifacts/<Target>/ and can be replayed with the seeded driver
# of the usual build: build/default/fuzz/<Target>_fuzz_seeded FILE.
# An input that takes over 10 s or 2 GB counts as a finding too: work must
# not grow faster than the input.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in fuzz/*_fuzz.cpp; do
    name=$(basename "$src" _fuzz.cpp)
    targets+=("$name")
  done
fi

if ! command -v clang++ >/dev/null; then
  echo "run-libfuzzer: needs clang and its libFuzzer (apt-get install clang libclang-rt-14-dev)" >&2
  exit 2
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"

status=0
for name in "${targets[@]}"; do
  exe=build/fuzz/fuzz/${name}_fuzz
  corpus=build/fuzz/corpus/$name
  artifacts=build/fuzz/artifacts/$name
  log=build/fuzz/$name.log
  mkdir -p "$corpus" "$artifacts"
  [ -d "fuzz/corpus/$name" ] && cp -n fuzz/corpus/"$name"/* "$corpus"/ 2>/dev/null || true
  dict=()
  [ -f "fuzz/$name.dict" ] && dict=(-dict="fuzz/$name.dict")
  set +e
  "$exe" "$corpus" "${dict[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  found=$(find "$artifacts" -type f | wc -l)
  printf '%-14s %10s runs  %7s inputs/s  %6s edges  %s\n' "$name" "${runs:-?}" "${speed:-?}" "${cov:-?}" \
    "$([ "$rc" -eq 0 ] && [ "$found" -eq 0 ] && echo "nothing found" || echo "FOUND $found (exit $rc), see $log")"
  [ "$rc" -eq 0 ] && [ "$found" -eq 0 ] || status=1
done
exit $status
