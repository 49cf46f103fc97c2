#!/usr/bin/env bash
# Installs what the painter needs and is missing, builds the painter alone (no tests, command or
# Python module) in build/editor, and starts it in the current working directory, where it
# reads settings.cfg and writes image.png.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/editor

"$root/scripts/setup.sh" painter
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSERA_BUILD_BATCH=OFF -DTESSERA_BUILD_TESTS=OFF \
  -DTESSERA_BUILD_PYTHON=OFF -DTESSERA_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target tessera -j "$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Tessera needs a graphical display, and none is set (DISPLAY is empty)." >&2
  echo "Run this command from a desktop session, or start one with: xvfb-run -a $0" >&2
  exit 1
fi
exec "$build/app/tessera"
