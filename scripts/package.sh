#!/usr/bin/env bash
# Builds Tessera's packages into dist/ (git-ignored), each from the project's own build files:
#   tessera-VERSION-cpXY-cpXY-linux_ARCH.whl   the Python module, for pip (python3 -m build)
#   tessera_VERSION_ARCH.deb                   the Debian package (the package preset and cpack)
#   tessera-scale-VERSION.tgz                  the npm package (packages/npm and the WebAssembly
#                                              module for Node, built with emscripten; npm pack)
# With --test, then checks them (tests/package/check_packages.sh).
#
# Each package is one function below, called in turn at the end; a package for another ecosystem
# is one more function that leaves its file in dist/, and one more call.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
dist=$root/dist

test_after=false
case "${1:-}" in
"") ;;
--test) test_after=true ;;
*)
  echo "usage: scripts/package.sh [--test]" >&2
  exit 2
  ;;
esac

scripts/setup.sh
# Reuse compiled objects between the build folders (the package preset compiles the same sources
# with the same flags as the release preset) when ccache is there.
if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}

rm -rf "$dist"
mkdir -p "$dist" build

# The wheel, built for Debian's python3 with its setuptools and wheel: no download.
python_wheel() {
  echo "== Python wheel"
  /usr/bin/python3 -m build --wheel --no-isolation --outdir "$dist" "$root" >"$root/build/pip.log" 2>&1 ||
    { cat "$root/build/pip.log" >&2; return 1; }
}

# The Debian package, configured with the prefix /usr.
debian_package() {
  echo "== Debian package"
  cmake --preset package >/dev/null
  cmake --build --preset package
  rm -rf build/package/package
  cpack --preset package >/dev/null
  cp build/package/package/tessera_*.deb "$dist/"
}

# The npm package: packages/npm with the module for Node from the page's CMake build and the
# project's version, laid out in build/npm/package and packed there.
npm_package() {
  echo "== npm package"
  local deps version stage=build/npm/package
  deps=$(scripts/web_deps.sh | tail -n 1)
  # Debian's emscripten runs its JavaScript optimiser under this machine's Node, which finds
  # Debian's acorn only here.
  export NODE_PATH=/usr/share/nodejs
  emcmake cmake -S web -B build/web -DCMAKE_BUILD_TYPE=Release -DTESSERA_WEB_DEPS="$deps" >/dev/null
  cmake --build build/web --target tessera_node
  version=$(sed -nE 's/^project\(Tessera VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
  rm -rf "$stage"
  mkdir -p "$stage"
  cp -r packages/npm/. "$stage/"
  cp build/web/tessera_node.mjs "$stage/"
  node -e 'const fs = require("fs"); const path = process.argv[1];
    const manifest = JSON.parse(fs.readFileSync(path, "utf8"));
    fs.writeFileSync(path, JSON.stringify({ name: manifest.name, version: process.argv[2], ...manifest }, null, 2) + "\n");' \
    "$stage/package.json" "$version"
  (cd "$stage" && npm pack --quiet --pack-destination "$dist" >/dev/null)
}

python_wheel
debian_package
npm_package
ls -l "$dist"

if $test_after; then
  tests/package/check_packages.sh "$dist"
fi
