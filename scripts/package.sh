#!/usr/bin/env bash
# Builds Tessera's packages into dist/ (git-ignored), each from the project's own build files:
#   tessera-VERSION-cpXY-cpXY-linux_ARCH.whl   the Python module, for pip (python3 -m build)
#   tessera_VERSION_ARCH.deb                   the Debian package (the package preset and cpack)
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

python_wheel
debian_package
ls -l "$dist"

if $test_after; then
  tests/package/check_packages.sh "$dist"
fi
