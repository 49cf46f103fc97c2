#!/usr/bin/env bash
# The pages' browser tests: builds the pages and the native tools they are compared with, runs the
# scaler's tests on its WebAssembly builds under Node, installs the test driver from
# package-lock.json, and runs the converter's tests and the painter's in headless Chromium and
# Firefox ESR (TESSERA_BROWSERS=chromium or =firefox runs the converter's in one).
#   web/tests/run.sh [NATIVE_BUILD_DIR]   (default build/release, configured with its preset)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
native=${1:-build/release}

site=$(scripts/web.sh --build-only | tail -n 1)
# The scaler's own tests on its WebAssembly builds, with and without SIMD, under Node (emscripten's
# optimiser finds Debian's acorn through NODE_PATH, as in scripts/web.sh).
NODE_PATH=/usr/share/nodejs cmake --build build/web --target scaler_tests -j "$(nproc)" >/dev/null
ctest --test-dir build/web -R scaler_tests_wasm --output-on-failure
cmake --build "$native" --target tessera-scale scaler_bench -j "$(nproc)" >/dev/null
(cd web/tests && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
node web/tests/browser_test.mjs "$site" "$native" tests/data/pixelart
node web/tests/paint_test.mjs "$site" "$native" chromium
node web/tests/paint_test.mjs "$site" "$native" firefox
node web/tests/page_test.mjs "$site" tests/data/pixelart "${TESSERA_BROWSERS:-chromium,firefox}"
