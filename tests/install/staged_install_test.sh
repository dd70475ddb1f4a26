#!/usr/bin/env bash
# Installs the build into a scratch root (DESTDIR, prefix /usr) and runs the
# installed programs there as an installed program runs: the renderer draws
# the installed sample log with the installed plugin, and the window program
# keeps its settings in the per-user folder, never beside itself.
set -euo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
usr=$stage/usr
for f in bin/hollowmere bin/hollowmere-render bin/hollowmere-archive share/hollowmere/tagpat.txt \
         share/hollowmere/metapat.txt share/hollowmere/log.txt \
         lib/hollowmere/plugins/spp-sample.so include/hollowmere/spp.h \
         share/applications/hollowmere.desktop share/icons/hicolor/scalable/apps/hollowmere.svg \
         share/man/man1/hollowmere.1.gz share/man/man1/hollowmere-render.1.gz share/man/man1/hollowmere-archive.1.gz \
         share/doc/hollowmere/README.md share/doc/hollowmere/copyright; do
  [ -e "$usr/$f" ] || fail "not installed: /usr/$f"
done

export XDG_DATA_HOME=$stage/xdg HOME=$stage/home
folder=$XDG_DATA_HOME/hollowmere
"$usr/bin/hollowmere-render" --plugins "$usr/lib/hollowmere/plugins" \
  "$usr/share/hollowmere/log.txt" "$stage/out" >"$stage/render.out" 2>&1 ||
  { cat "$stage/render.out"; fail "hollowmere-render failed"; }
[ -s "$stage/out/long0.html" ] || fail "no page written"
# No pipe into grep -q here: it quits at its first match, and under pipefail
# the writer's SIGPIPE then fails the check at random.
painted=$(find "$stage/out/cache" -name '*.bmp' ! -name General-1.bmp -print -quit)
[ -n "$painted" ] || fail "no surface picture from the installed plugin"
# Its patterns came from the per-user folder, seeded from the installed data.
cmp -s "$folder/tagpat.txt" "$usr/share/hollowmere/tagpat.txt" || fail "per-user folder not seeded"
[ "$(stat -c %a "$folder")" = 700 ] || fail "per-user folder is not private"
cmp -s "$folder/cache/General-1.bmp" "$usr/share/hollowmere/cache/General-1.bmp" ||
  fail "blank surface picture not seeded"
cmp -s "$stage/out/cache/General-1.bmp" "$usr/share/hollowmere/cache/General-1.bmp" ||
  fail "blank surface picture not beside the rendered pages"

# The window program without a display, pointed at a service that is not
# there: it starts, fails the fetch, ends by itself and saves its settings.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen HOLLOWMERE_SERVICE=127.0.0.1:1 \
  timeout 120 "$usr/bin/hollowmere" past 1 1 noview >"$stage/window.out" 2>&1 || status=$?
[ "$status" = 1 ] || { cat "$stage/window.out"; fail "hollowmere ended with $status, not 1"; }
[ -s "$folder/Hollowmere.ini" ] || { cat "$stage/window.out"; fail "no settings in $folder"; }
grep -q "SurfaceCacheDir=$folder/cache/" "$folder/Hollowmere.ini" || fail "cache folder not in the per-user folder"
[ ! -e "$usr/bin/Hollowmere.ini" ] || fail "settings written beside the program"
[ -z "$(find "$usr/bin" -newer "$usr/bin/hollowmere" -type f)" ] || fail "files written into bin/"
echo "staged install: ok"
