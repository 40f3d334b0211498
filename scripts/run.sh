#!/usr/bin/env bash
# Sets up, builds and starts Corvidel. Without a display it runs under xvfb-run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/corvidel "$@"
fi
exec build/bin/corvidel "$@"
