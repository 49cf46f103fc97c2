#!/usr/bin/env bash
# The pass on one thread on the 1024 x 1024 sprite sheet at factors 2 and 4: every native build
# this processor runs and both WebAssembly builds (with and without SIMD) under Node, each as a
# ratio to the native build the library chooses, measured in the same run. Builds pass_speed in
# both build folders first (configured by `cmake --preset release` and scripts/web.sh).
#   bench/pass_speed.sh [NATIVE_BUILD_DIR] [WEB_BUILD_DIR]   (default build/release, build/web)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
native=${1:-build/release}
web=${2:-build/web}
sheet=tests/data/pixelart/sheet_cdda_uc_1024.png

cmake --build "$native" --target pass_speed -j "$(nproc)" >/dev/null
NODE_PATH=/usr/share/nodejs cmake --build "$web" --target pass_speed -j "$(nproc)" >/dev/null
{
  "$native/bench/pass_speed" "$sheet" | sed 's/^/native /'
  node "$web/pass_speed.js" "$sheet" | sed 's/^/wasm /'
} | awk '
  { key = $1 " " $2; factor[NR] = $3; name[NR] = key; ms[NR] = $4; hash[NR] = $6
    if ($1 == "native" && $7 == "chosen") { reference[$3] = $4; words[$3] = $6 } }
  END {
    printf "%-18s %6s %9s %s\n", "build", "factor", "ms", "ratio to native chosen"
    for (i = 1; i <= NR; ++i)
      printf "%-18s %6s %9.2f %6.2f%s\n", name[i], factor[i], ms[i], ms[i] / reference[factor[i]],
        hash[i] == words[factor[i]] ? "" : "  WORDS DIFFER"
  }'
