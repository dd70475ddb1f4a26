#!/usr/bin/env bash
# Installs, idempotently, every Debian package Hollowmere needs to build, test,
# benchmark and run. apt-get update runs only when something is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git ccache
  libgtest-dev libgmock-dev libbenchmark-dev libpcre2-dev
  libcurl4-openssl-dev libicu-dev libstb-dev libre2-dev
  qt6-base-dev qt6-webengine-dev libgl-dev
  xvfb xauth fonts-ipafont-gothic fonts-ipafont-mincho qt6-translations-l10n
  imagemagick xdotool
  qt6-svg-dev
  dpkg-dev file fakeroot lintian desktop-file-utils
  libsqlite3-dev nlohmann-json3-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
