#!/usr/bin/env bash
# Runs the demo game: in a window when there is a display, otherwise headless,
# played by examples/demo/autoplay.txt, with a screenshot of its last frame.
# With --auto the window is played by that file too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/default"
game="$build/examples/demo"
if [ ! -x "$build/quorel" ] || [ ! -d "$game" ]; then
  echo "play.sh: build first: cmake --preset default && cmake --build --preset default" >&2
  exit 1
fi
autoplay="$root/examples/demo/autoplay.txt"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  if [ "${1:-}" = "--auto" ]; then
    exec "$build/quorel" --input="$autoplay" "$game"
  fi
  exec "$build/quorel" "$game"
fi
shot="$build/demo-screenshot.png"
"$build/quorel" --headless --virtual-clock=16 --max-frames=1500 --seed=1 --input="$autoplay" \
  --settings="$build/demo-settings.ini" --screenshot="$shot" "$game" || echo "quorel ended with exit code $?"
if [ -f "$shot" ]; then
  echo "No display: ran the demo headless. Screenshot: $shot"
else
  echo "No display: ran the demo headless (no screenshot was written). Its debug log:"
  cat "$game/debugout.log"
fi
