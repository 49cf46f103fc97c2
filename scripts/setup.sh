#!/usr/bin/env bash
# Installs the Debian 12 packages Tessera needs to build, run and test, skipping
# what is already there. Runs apt-get as root, through sudo when needed.
set -euo pipefail

packages=(
  cmake g++ clang clang-format pkg-config
  libsfml-dev libx11-dev
  libstb-dev zlib1g-dev libdeflate-dev libgif-dev libwebp-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev libclang-rt-14-dev libspng-dev imagemagick
  python3-dev pybind11-dev python3-numpy python3-pil python3-pytest
  xvfb xauth xdotool desktop-file-utils
  emscripten nodejs chromium firefox-esr
  qemu-user
  python3-setuptools python3-wheel python3-build python3-venv lintian man-db
)
# The browser tests' driver comes from npm, which some Node builds carry themselves.
if ! command -v npm >/dev/null 2>&1; then
  packages+=(npm)
fi

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
