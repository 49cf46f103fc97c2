#!/usr/bin/env bash
# Installs the Debian 12 packages one part of Tessera needs, skipping what is already there.
# Runs apt-get as root, through sudo when needed.
#
#   scripts/setup.sh painter   what the painter needs to build and run (scripts/run.sh)
#   scripts/setup.sh page      what the page needs to build and be served (scripts/web.sh)
#   scripts/setup.sh [all]     everything: every build, test, benchmark and fuzzer (scripts/test.sh)
set -euo pipefail

# A compiler, CMake, SFML for the window, and the codecs the painter reads and writes its files
# with (libdeflate, giflib, libwebp, stb) as the command does.
painter=(cmake g++ pkg-config libsfml-dev libx11-dev libstb-dev libdeflate-dev libgif-dev libwebp-dev)
# emscripten for the WebAssembly modules, Node for emscripten's own tools, stb's headers, and
# Python with Pillow, which draws the app's icons and serves the page while trying it. The codecs
# are built for WebAssembly from the Debian sources of the -dev packages' versions
# (scripts/web_deps.sh), fetched and unpacked with dpkg-dev's tools.
page=(emscripten nodejs python3 python3-pil libstb-dev libdeflate-dev libgif-dev libwebp-dev dpkg-dev)
# The tests, the sanitizer and fuzz builds, the Python module, the benchmarks and the browsers
# the page is tested in, beside both of the above.
everything=(
  "${painter[@]}" "${page[@]}"
  clang clang-format zlib1g-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev libclang-rt-14-dev libspng-dev imagemagick
  python3-dev pybind11-dev python3-numpy python3-pil python3-pytest
  xvfb xauth xdotool desktop-file-utils
  chromium firefox-esr
  qemu-user
  python3-setuptools python3-wheel python3-build python3-venv lintian man-db
)

case "${1:-all}" in
  painter) packages=("${painter[@]}") ;;
  page) packages=("${page[@]}") ;;
  all)
    packages=("${everything[@]}")
    # The browser tests' driver comes from npm, which some Node builds carry themselves.
    if ! command -v npm >/dev/null 2>&1; then
      packages+=(npm)
    fi
    ;;
  *)
    echo "usage: scripts/setup.sh [painter|page|all]" >&2
    exit 2
    ;;
esac

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "setup: these packages are missing and sudo is not available: ${missing[*]}" >&2
    echo "setup: install them as root, then run this command again." >&2
    exit 1
  fi
  as_root=(sudo)
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
