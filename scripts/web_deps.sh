#!/usr/bin/env bash
# Builds the codecs the command links with (libdeflate, giflib, libwebp) for WebAssembly, so that
# the page encodes and decodes with the same code. Each comes from the Debian source package of
# exactly the version this machine's -dev package was built from, fetched with an apt state of
# its own (the system's apt configuration and lists are left as they are), Debian's patches
# applied, and is built with emscripten into static libraries under one prefix, with pkg-config
# files and headers where the page's CMake finds them (web/deps.cmake).
#
#   scripts/web_deps.sh [DIR]   (default build/web-deps)
#
# DIR/apt holds the private apt state, DIR/src the unpacked sources, DIR/build the build trees and
# DIR/prefix the result, which the last line printed names. A package whose stamp in
# DIR/prefix/stamps names its version and this recipe is neither fetched nor built again.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=${1:-$root/build/web-deps}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
prefix=$dir/prefix
stamps=$prefix/stamps

# The -dev packages the native build uses; each names the source package and version to build.
dev_packages=(libdeflate-dev libgif-dev libwebp-dev)

# A change to this script, to the compiler or to the prefix's place (which the pkg-config files
# name) builds everything again.
recipe="$(sha256sum "${BASH_SOURCE[0]}" | cut -c1-16) $prefix $(emcc --version | sed -n 1p)"

declare -A version_of
stale=()
for dev in "${dev_packages[@]}"; do
  if ! read -r name version < <(dpkg-query -W -f='${source:Package} ${source:Version}\n' "$dev" 2>/dev/null); then
    echo "web_deps: $dev is not installed; run scripts/setup.sh" >&2
    exit 1
  fi
  version_of[$name]=$version
  if [ "$(cat "$stamps/$name" 2>/dev/null)" != "$version $recipe" ]; then
    stale+=("$name")
  fi
done

if [ ${#stale[@]} -eq 0 ]; then
  echo "$prefix"
  exit 0
fi

# The private apt state: deb-src entries for the same mirrors and suites as the system's own
# Debian entries (the release, its updates and its security fixes), read back from apt itself
# so that whichever mirror this machine is set up with is the one asked.
apt_dir=$dir/apt
rm -rf "$apt_dir"
mkdir -p "$apt_dir/sources.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
# The release's own entries come first: apt fetches a version found in several from the first,
# and a security mirror need not hold what the release already has.
apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Created-By: Packages' |
  sort -u | awk '{ print ($2 ~ /-security$/), $0 }' | sort -s -n -k1,1 |
  while read -r _ uri suite component; do
    case $suite in
      "$codename" | "$codename-updates" | "$codename-security") ;;
      *) continue ;;
    esac
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n' "$uri" "$suite" "$component"
    if [ -r "$keyring" ]; then
      printf 'Signed-By: %s\n' "$keyring"
    fi
    printf '\n'
  done >"$apt_dir/sources.d/debian.sources"
if [ ! -s "$apt_dir/sources.d/debian.sources" ]; then
  echo "web_deps: apt lists no Debian $codename entries to fetch sources from; run apt-get update first" >&2
  exit 1
fi
apt_options=(-q=2 -o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt_dir/sources.d"
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache")
# Run as root, apt hands downloads to its own user, who may not reach this folder; it then
# downloads as root anyway, with a warning. Asking for that directly keeps the output quiet.
if [ "$(id -u)" -eq 0 ]; then
  apt_options+=(-o APT::Sandbox::User=root)
fi
apt-get "${apt_options[@]}" update

src=$dir/src
mkdir -p "$src" "$stamps" "$prefix/include" "$prefix/lib/pkgconfig"
# Debian's emscripten runs its JavaScript optimiser under this machine's Node, which finds
# Debian's acorn only here.
export NODE_PATH=/usr/share/nodejs
jobs=$(nproc)
# WebAssembly SIMD, as the page's own code is built: loops vectorise in lanes of 128 bits with
# the same operations lane by lane, so no result changes.
simd=-msimd128

# Fetches NAME at its version into src/ (Debian's patches applied) and prints the tree's path.
fetch() {
  local name=$1 version=${version_of[$1]} tree
  rm -rf "${src:?}/$name"
  mkdir -p "$src/$name"
  if ! (cd "$src/$name" && apt-get "${apt_options[@]}" source "$name=$version" >/dev/null); then
    echo "web_deps: could not fetch the source of $name $version" >&2
    exit 1
  fi
  tree=$(find "$src/$name" -mindepth 1 -maxdepth 1 -type d)
  local unpacked
  unpacked=$(dpkg-parsechangelog -l "$tree/debian/changelog" -S Version)
  if [ "$unpacked" != "$version" ]; then
    echo "web_deps: $name unpacked as $unpacked, not the $version the native build uses" >&2
    exit 1
  fi
  echo "$tree"
}

build_libdeflate() {
  local tree=$1
  # The library alone, with its own optimisation flags; its programs are not needed.
  emmake make -C "$tree" -j "$jobs" libdeflate.a CC=emcc AR=emar CFLAGS="$simd" >/dev/null
  install -m 644 "$tree/libdeflate.a" "$prefix/lib/"
  install -m 644 "$tree/libdeflate.h" "$prefix/include/"
  local version
  version=$(sed -n 's/#define LIBDEFLATE_VERSION_STRING.*"\(.*\)"/\1/p' "$tree/libdeflate.h")
  sed -e "s|@PREFIX@|$prefix|" -e "s|@LIBDIR@|$prefix/lib|" -e "s|@INCDIR@|$prefix/include|" \
    -e "s|@VERSION@|$version|" "$tree/libdeflate.pc.in" >"$prefix/lib/pkgconfig/libdeflate.pc"
}

build_giflib() {
  local tree=$1
  # The library alone, with its own optimisation flags; CMake's FindGIF finds its header and
  # archive in the prefix.
  emmake make -C "$tree" -j "$jobs" libgif.a CC=emcc AR=emar CFLAGS="-std=gnu99 -Wall -O2 $simd" >/dev/null
  install -m 644 "$tree/libgif.a" "$prefix/lib/"
  install -m 644 "$tree/gif_lib.h" "$prefix/include/"
}

build_libwebp() {
  local tree=$1 build=$dir/build/libwebp
  # The libraries and their pkg-config files, no tools. The lossless encoder writes the same
  # bytes through its plain C code as through its SSE2 and SSE4.1 code, natively and here.
  # Built here through emscripten's translation to WebAssembly SIMD, those paths would encode
  # about 1.5 to 2 times as fast but add some 190 KB to the page's module (the whole page must
  # stay under 1 MB), so only the C code is built.
  rm -rf "$build"
  emcmake cmake -S "$tree" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_C_FLAGS="$simd" -DBUILD_SHARED_LIBS=OFF -DWEBP_ENABLE_SIMD=OFF -DWEBP_BUILD_LIBWEBPMUX=ON \
    -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF \
    -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF \
    -DWEBP_BUILD_EXTRAS=OFF -DWEBP_BUILD_WEBP_JS=OFF -DWEBP_USE_THREAD=OFF >/dev/null
  cmake --build "$build" -j "$jobs" >/dev/null
  cmake --install "$build" >/dev/null
}

for name in "${stale[@]}"; do
  echo "web_deps: building $name ${version_of[$name]} for WebAssembly" >&2
  rm -f "$stamps/$name"
  tree=$(fetch "$name")
  "build_$name" "$tree"
  echo "${version_of[$name]} $recipe" >"$stamps/$name"
done
echo "$prefix"
