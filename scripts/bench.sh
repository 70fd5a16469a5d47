#!/usr/bin/env bash
# Builds and runs every benchmark (Release build) inside a loopback-only
# network namespace. Extra arguments go to each benchmark binary, for
# example --benchmark_filter=Reslice.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
# References that only the benchmarks use (the tests do not need them): VTK's
# CPU ray caster, run offscreen under Xvfb by bench_raycast's peer script.
bench_pkgs=(python3-vtk9 python3-numpy xvfb xauth)
if ! dpkg -s "${bench_pkgs[@]}" >/dev/null 2>&1; then
  apt-get install -y --no-install-recommends "${bench_pkgs[@]}" ||
    echo "bench.sh: could not install ${bench_pkgs[*]}; the VTK comparison will be skipped" >&2
fi
dir=$root/build-bench
"$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=Release -DFW_BUILD_TESTS=OFF
status=0
while IFS= read -r b; do
  echo "== $(basename "$b")"
  "$root/scripts/isolated" "$b" "$@" || status=1
done < <(find "$dir/bench" -type f -executable -name 'bench_*' | sort)
exit $status
