#!/usr/bin/env bash
# Builds both pages, the converter (index.html) and the painter (paint.html), with their
# WebAssembly modules, icons, manifest and service worker, into build/web/site and serves it at
# http://127.0.0.1:8000/ until Ctrl-C. With --build-only it stops after building, and
# prints the folder, which can be put on any static host as it is.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

scripts/setup.sh page
# libdeflate, giflib and libwebp for WebAssembly, built once into build/web-deps/prefix.
deps=$(scripts/web_deps.sh | tail -n 1)

# Debian's emscripten runs its JavaScript optimiser under this machine's Node, which finds
# Debian's acorn only here.
export NODE_PATH=/usr/share/nodejs
build=build/web
site=$build/site
emcmake cmake -S web -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSERA_WEB_DEPS="$deps" >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -rf "$site"
mkdir -p "$site"
cp web/page/*.html web/page/*.js web/page/*.css "$build/tessera_page.js" "$build/tessera_page.wasm" "$site/"
cp web/paint/page/* "$build/paint/tessera_paint.js" "$build/paint/tessera_paint.wasm" "$site/"
# The app's icons: the desktop icon at the sizes browsers ask for, its pixels kept hard.
/usr/bin/python3 - packaging/tessera-128.png "$site" <<'PYTHON'
import sys
from PIL import Image
icon = Image.open(sys.argv[1]).convert("RGBA")
for size in (192, 512):
    icon.resize((size, size), Image.NEAREST).save(f"{sys.argv[2]}/icon-{size}.png")
PYTHON
# The sample the page shows on a first visit (CC BY-SA, credited on the page).
cp tests/data/pixelart/cdda_uc_dog_gshepherd_32.png "$site/"
# The service worker's cache is named after this build, so that a new build replaces the old files.
stamp=$(cd "$site" && cat $(ls | sort) | sha256sum | cut -c1-16)
sed -i "s/@VERSION@/$stamp/" "$site/sw.js"

if [ "${1:-}" = --build-only ]; then
  echo "$root/$site"
  exit 0
fi
echo "web: serving $root/$site at http://127.0.0.1:8000/ (Ctrl-C stops)"
cd "$site"
exec python3 -m http.server 8000 --bind 127.0.0.1
