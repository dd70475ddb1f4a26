#!/usr/bin/env bash
# Builds the Debian package from the optimised build and checks what a user
# would get: the files, the control fields with computed library
# dependencies, a valid desktop entry, and no lintian errors.
set -euo pipefail
build=$1
source=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; fail "cpack failed"; }
deb=$(ls "$out"/hollowmere_*.deb)
[ -n "$deb" ] || fail "no package"
case "$(basename "$deb")" in hollowmere_1.0.1.10_*.deb) ;; *) fail "package named $(basename "$deb")" ;; esac

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for f in ./usr/bin/hollowmere ./usr/bin/hollowmere-render ./usr/bin/hollowmere-archive ./usr/share/hollowmere/tagpat.txt \
         ./usr/share/hollowmere/metapat.txt ./usr/share/hollowmere/log.txt \
         ./usr/lib/hollowmere/plugins/spp-sample.so ./usr/include/hollowmere/spp.h \
         ./usr/share/applications/hollowmere.desktop \
         ./usr/share/icons/hicolor/scalable/apps/hollowmere.svg \
         ./usr/share/man/man1/hollowmere.1.gz ./usr/share/man/man1/hollowmere-render.1.gz ./usr/share/man/man1/hollowmere-archive.1.gz \
         ./usr/share/doc/hollowmere/copyright ./usr/share/doc/hollowmere/changelog.gz \
         ./usr/share/doc/hollowmere/README.md; do
  grep -qxF "$f" <<<"$contents" || fail "package lacks $f"
done
for standin in voyla-standin ghost-standin; do
  grep -qxF "./usr/lib/hollowmere/$standin" <<<"$contents" || fail "package lacks $standin"
done
if grep -q '^./usr/bin/.*standin' <<<"$contents"; then fail "a stand-in is on the PATH"; fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = hollowmere ] || fail "Package: $(field Package)"
[ "$(field Version)" = 1.0.1.10 ] || fail "Version: $(field Version)"
[ "$(field Section)" = net ] || fail "Section: $(field Section)"
field Maintainer | grep -q '^Hollowmere maintainers <.*@.*>$' || fail "Maintainer: $(field Maintainer)"
depends=$(field Depends)
for lib in libqt6webenginewidgets6 libcurl4 libicu72 libc6; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

desktop-file-validate "$source/data/desktop/hollowmere.desktop" || fail "desktop entry invalid"
lintian --fail-on error "$deb" >"$out/lintian.log" 2>&1 ||
  { cat "$out/lintian.log"; fail "lintian found errors"; }
echo "package: ok ($(basename "$deb"))"
