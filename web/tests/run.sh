#!/usr/bin/env bash
# The page's browser tests: builds the page and the native tools it is compared with, installs
# the test driver from package-lock.json, and runs the tests in headless Chromium.
#   web/tests/run.sh [NATIVE_BUILD_DIR]   (default build/release, configured with its preset)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$root"
native=${1:-build/release}

site=$(scripts/web.sh --build-only | tail -n 1)
cmake --build "$native" --target tessera-scale scaler_bench -j "$(nproc)" >/dev/null
(cd web/tests && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
node web/tests/browser_test.mjs "$site" "$native" tests/data/pixelart
