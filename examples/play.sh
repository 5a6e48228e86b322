#!/usr/bin/env bash
# Runs the demo game: in a window when there is a display, otherwise headless,
# played by examples/demo/autoplay.txt, with a screenshot of its last frame.
# With --auto the window is played by that file too (always under
# xvfb-run); other options (such as
# --max-frames=N or --fullscreen) are passed on.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/default"
game="$build/examples/demo"
if [ ! -x "$build/quorel" ] || [ ! -d "$game" ]; then
  echo "play.sh: build first: cmake --preset default && cmake --build --preset default" >&2
  exit 1
fi
autoplay="$root/examples/demo/autoplay.txt"
shot="$build/demo-screenshot.png"
# Without a sound card or sound server (a container, a bare X server) the
# game plays silently instead of stopping at the audio warning.
if [ -z "${SDL_AUDIODRIVER:-}" ] && ! ls /dev/snd/pcm* >/dev/null 2>&1 &&
   [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/pulse/native" ] && [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/pipewire-0" ]; then
  export SDL_AUDIODRIVER=dummy
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  # In a window until it is closed; the last frame is kept as a screenshot.
  options=()
  if [ "${1:-}" = "--auto" ]; then
    shift
    options+=(--input="$autoplay")
  fi
  # Under xvfb-run nobody can see or click the window: the input file plays
  # the game through on the virtual clock, with settings of its own.
  if [[ "${XAUTHORITY:-}" == */xvfb-run.*/Xauthority ]]; then
    rm -f "$build/demo-xvfb-settings.ini"
    options=(--input="$autoplay" --virtual-clock=16 --max-frames=2400 --seed=1
             --settings="$build/demo-xvfb-settings.ini")
  fi
  "$build/quorel" --screenshot="$shot" "${options[@]}" "$@" "$game" || echo "quorel ended with exit code $?"
  if [ -f "$shot" ]; then echo "Screenshot of the last frame: $shot"; fi
  exit 0
fi
"$build/quorel" --headless --virtual-clock=16 --max-frames=2400 --seed=1 --input="$autoplay" \
  --settings="$build/demo-settings.ini" --screenshot="$shot" "$@" "$game" || echo "quorel ended with exit code $?"
if [ -f "$shot" ]; then
  echo "No display: ran the demo headless. Screenshot: $shot"
else
  echo "No display: ran the demo headless (no screenshot was written). Its debug log:"
  cat "$game/debugout.log"
fi
