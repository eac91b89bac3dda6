#!/usr/bin/env bash
# Installs every Debian package camfleet needs to build, test and run.
# Non-interactive and idempotent: packages already present are left alone.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  # Qt 6
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6opengl6-dev qt6-qpa-plugins
  # libraries
  libtinyxml2-dev libmp3lame-dev libxlsxwriter-dev libsodium-dev libssl-dev libjpeg-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  # tests
  libgtest-dev libgmock-dev python3-openpyxl
  # network namespaces for the test suite, and a display for GUI checks
  iproute2 util-linux xvfb xauth
  # fonts so offscreen/Xvfb rendering has glyphs for every language
  fonts-dejavu-core fonts-noto-cjk
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (${missing[*]}); run as root" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "install-deps: installed ${missing[*]}"
