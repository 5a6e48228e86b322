#!/usr/bin/env bash
# Runs the demo game: in a window when there is a display, otherwise headless
# with a screenshot of its last frame.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/default"
game="$build/examples/demo"
if [ ! -x "$build/quorel" ] || [ ! -d "$game" ]; then
  echo "play.sh: build first: cmake --preset default && cmake --build --preset default" >&2
  exit 1
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$build/quorel" "$game"
fi
shot="$build/demo-screenshot.png"
"$build/quorel" --headless --virtual-clock=16 --max-frames=600 --seed=1 \
  --settings="$build/demo-settings.ini" --screenshot="$shot" "$game" || echo "quorel ended with exit code $?"
if [ -f "$shot" ]; then
  echo "No display: ran the demo headless. Screenshot: $shot"
else
  echo "No display: ran the demo headless (no screenshot was written). Its debug log:"
  cat "$game/debugout.log"
fi
