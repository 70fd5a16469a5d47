#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test inside a
# loopback-only network namespace. Exits non-zero on any failure.
# FW_SANITIZE=asan|tsan runs the suite in a sanitizer build.
# Extra arguments go to ctest (for example -R Scheduler or -L engine).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
case "${FW_SANITIZE:-}" in
  asan) dir=$root/build-asan ;;
  tsan) dir=$root/build-tsan ;;
  *) dir=$root/build ;;
esac
"$root/scripts/build.sh" "$dir"
export SDL_AUDIODRIVER=dummy
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/scripts/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp}
exec "$root/scripts/isolated" ctest --test-dir "$dir" -j "${FW_TEST_JOBS:-$(nproc)}" \
  --output-on-failure --no-tests=error "$@"
