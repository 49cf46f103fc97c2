#!/usr/bin/env bash
# Installs what is missing, builds the editor and starts it in the current working
# directory, where it reads settings.cfg and writes image.png.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

"$root/scripts/setup.sh"
cmake --preset release -S "$root" >/dev/null
cmake --build "$root/build/release" --target tessera -j "$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Tessera needs a graphical display, and none is set (DISPLAY is empty)." >&2
  echo "Run this command from a desktop session, or start one with: xvfb-run -a $0" >&2
  exit 1
fi
exec "$root/build/release/app/tessera"
