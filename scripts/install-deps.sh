#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need. Idempotent:
# packages already present are not fetched again.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkgconf clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
  libflac-dev libplist-dev libsystemd-dev libtag1-dev libasound2-dev
  libsndfile1-dev libmpg123-dev libavformat-dev libavcodec-dev libavutil-dev libuchardet-dev
  flac sox lame ffmpeg dbus-daemon playerctl desktop-file-utils shared-mime-info
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
