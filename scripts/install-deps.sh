#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run.
# Idempotent: only missing packages are installed, and apt's lists are
# refreshed only when something has to be installed.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build ccache pkg-config git
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # reference peer of the reslice benchmark (bench/imaging/core)
  python3-vtk9 python3-numpy
  # engine: window, GL, text, images, property lists, audio
  libsdl2-dev libglew-dev libgl-dev libfreetype-dev libfontconfig-dev
  libpng-dev libjpeg62-turbo-dev libpugixml-dev fonts-dejavu-core
  # engine: text shaping, bidirectional text, CJK fallback font
  libharfbuzz-dev libfribidi-dev fonts-wqy-microhei
  # DICOM
  libdcmtk-dev dcmtk libopenjp2-7-dev orthanc libgdcm-tools
  # data, compression, network
  libsqlite3-dev sqlite3 zlib1g-dev libminizip-dev libcurl4-openssl-dev
  uthash-dev ca-certificates openssl
  # tools the tests and the application call
  python3 zip unzip iproute2 util-linux xdg-utils
  # real windows for screenshots
  xvfb xauth libgl1-mesa-dri x11-utils imagemagick
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# orthanc's post-install starts a service; keep it from listening on anything
# but what the tests start themselves.
RUNLEVEL=1 $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet orthanc 2>/dev/null; then
  $SUDO systemctl stop orthanc || true
fi
