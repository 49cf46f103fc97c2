#!/usr/bin/env bash
# Builds the page (the WebAssembly module and the static files) into build/web/site and serves
# it at http://127.0.0.1:8000/ until Ctrl-C. With --build-only it stops after building, and
# prints the folder, which can be put on any static host as it is.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

scripts/setup.sh

# Debian's emscripten runs its JavaScript optimiser under this machine's Node, which finds
# Debian's acorn only here.
export NODE_PATH=/usr/share/nodejs
build=build/web
site=$build/site
emcmake cmake -S web -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -rf "$site"
mkdir -p "$site"
cp web/page/*.html web/page/*.js web/page/*.css "$build/tessera_page.js" "$build/tessera_page.wasm" "$site/"

if [ "${1:-}" = --build-only ]; then
  echo "$root/$site"
  exit 0
fi
echo "web: serving $root/$site at http://127.0.0.1:8000/ (Ctrl-C stops)"
cd "$site"
exec python3 -m http.server 8000 --bind 127.0.0.1
