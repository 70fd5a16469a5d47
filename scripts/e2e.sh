#!/usr/bin/env bash
# Builds and runs only the end-to-end scenarios (the real program in its
# window on a virtual screen, driven by SDL events), each in a loopback-only
# network namespace. Screenshots stay under build/e2e/<scenario>/.
# Extra arguments go to ctest (for example -R Receive).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
export SDL_AUDIODRIVER=dummy
exec "$root/scripts/isolated" ctest --test-dir "$root/build" -L e2e -j "${FW_TEST_JOBS:-2}" \
  --output-on-failure --no-tests=error "$@"
