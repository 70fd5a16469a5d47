#!/usr/bin/env bash
# Configures and builds the project into a build folder.
# Usage: scripts/build.sh [BUILD_DIR] [extra cmake -D options...]
# FW_SANITIZE=asan|tsan selects a sanitizer build (default build folder
# build-asan / build-tsan).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
san=${FW_SANITIZE:-}
default_dir=build
opts=()
case "$san" in
  "") ;;
  asan) default_dir=build-asan; opts+=(-DFW_SANITIZE_ADDRESS=ON -DFW_BUILD_BENCH=OFF) ;;
  tsan) default_dir=build-tsan; opts+=(-DFW_SANITIZE_THREAD=ON -DFW_BUILD_BENCH=OFF) ;;
  *) echo "FW_SANITIZE must be asan or tsan" >&2; exit 2 ;;
esac
dir=${1:-$root/$default_dir}
shift || true
jobs=${FW_JOBS:-$(nproc)}
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
# Hits across work trees and clones: paths below the root are hashed relative.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
cmake -S "$root" -B "$dir" -G Ninja "${opts[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$jobs"
