#!/usr/bin/env bash
# Installs what is missing, builds, and starts the application inside a
# loopback-only network namespace. Without a display it runs under Xvfb
# (1920x1080; the window fills the screen) with silent audio. The program
# takes no arguments; it ends with its window, Ctrl-C or SIGTERM (all run
# the same teardown).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
app=$root/build/shell/fernwick
if [ ! -x "$app" ]; then
  echo "the application is not built (no build/shell/fernwick)" >&2
  exit 1
fi
if [ -z "${DISPLAY:-}" ]; then
  export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
  exec xvfb-run -a -s "-screen 0 1920x1080x24" "$root/scripts/isolated" "$app"
fi
exec "$root/scripts/isolated" "$app"
