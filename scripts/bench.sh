#!/usr/bin/env bash
# Builds and runs every benchmark (Release build) inside a loopback-only
# network namespace. Extra arguments go to each benchmark binary, for
# example --benchmark_filter=Reslice.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
# (install-deps.sh also brings the VTK and numpy packages that the
# reslice and ray-casting benchmarks compare against.)
dir=$root/build-bench
"$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DFW_BUILD_TESTS=OFF
status=0
while IFS= read -r b; do
  echo "== $(basename "$b")"
  "$root/scripts/isolated" "$b" "$@" || status=1
done < <(find "$dir/bench" -type f -executable -name 'bench_*' | sort)
exit $status
