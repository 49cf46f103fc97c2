#!/usr/bin/env bash
# Checks the packages scripts/package.sh left in DIST as their users would meet them:
#   the Debian package: lintian finds no error; unpacked into a throw-away folder it holds the
#     programs, library, package files, module, desktop entry, manual pages and completion, the
#     command runs from there, the pages render without warnings and the completion completes;
#   the wheel: installed into a fresh virtual environment, the Python test suite passes against
#     the installed module, with the unpacked package's tessera-scale as the command it is
#     compared with.
# Every version must be the one of project(Tessera VERSION ...) in the top CMakeLists.txt.
#
#   tests/package/check_packages.sh DIST
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
dist=$(cd "$1" && pwd)
version=$(sed -nE 's/^project\(Tessera VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "check_packages: $*" >&2
  exit 1
}

deb=$dist/tessera_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb"
wheels=("$dist"/tessera-"$version"-*.whl)
[ -f "${wheels[0]}" ] || fail "no wheel of version $version in $dist"

echo "== Debian package: lintian"
# Warnings are shown but pass; an error fails.
lintian_status=0
lintian --fail-on error "$deb" >"$work/lintian.txt" 2>&1 || lintian_status=$?
grep -v "running with root privileges" "$work/lintian.txt" || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors in $deb"

echo "== Debian package: contents"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
# dpkg-shlibdeps found the libraries the programs link.
dpkg-deb -f "$deb" Depends | grep -q "libc6 (>=.*libsfml-graphics" ||
  fail "the package's dependencies lack the shared libraries: $(dpkg-deb -f "$deb" Depends)"
unpacked=$work/root
dpkg-deb -x "$deb" "$unpacked"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for path in \
  usr/bin/tessera usr/bin/tessera-scale \
  usr/include/tessera/scaler.h \
  "usr/lib/$multiarch/libtessera-scaler.a" \
  "usr/lib/$multiarch/cmake/TesseraScaler/TesseraScalerConfig.cmake" \
  "usr/lib/$multiarch/pkgconfig/tessera-scaler.pc" \
  usr/share/applications/tessera.desktop usr/share/icons/hicolor/128x128/apps/tessera.png \
  usr/share/man/man1/tessera.1.gz usr/share/man/man1/tessera-scale.1.gz \
  usr/share/bash-completion/completions/tessera-scale \
  usr/share/doc/tessera/copyright; do
  [ -f "$unpacked/$path" ] || fail "the package lacks /$path"
done

command=$unpacked/usr/bin/tessera-scale
"$command" --help | grep -q "^Usage: tessera-scale" || fail "tessera-scale --help from the package shows no usage"
"$command" --version | grep -qF "$version" || fail "tessera-scale --version from the package does not say $version"

for page in tessera tessera-scale; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$unpacked/usr/share/man/man1/$page.1.gz" 2>&1 >"$work/$page.txt") ||
    fail "man cannot render $page(1)"
  [ -z "$warnings" ] || fail "$page(1) renders with warnings: $warnings"
  grep -q "^NAME" "$work/$page.txt" || fail "$page(1) renders without its NAME section"
done

bash "$root/tests/install/bash_completion.sh" \
  "$unpacked/usr/share/bash-completion/completions/tessera-scale" "$work/completion"

# The module lies where Debian's python3 looks under /usr: lib/python3/dist-packages.
module=$(cd "$work" && env -i PYTHONPATH="$unpacked/usr/lib/python3/dist-packages" /usr/bin/python3 -s -c \
  'import tessera; print(tessera.__file__, tessera.__version__)')
[[ $module == "$unpacked/usr/lib/python3/dist-packages/tessera."*" $version" ]] ||
  fail "the package's Python module imports as '$module'"

echo "== wheel: the Python test suite against the installed module"
# Debian's numpy, Pillow and pytest come from the system; the index is never asked.
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --quiet --no-index "${wheels[0]}"
installed=$(cd "$work" && "$work/venv/bin/python" -s -c 'import tessera; print(tessera.__file__)')
[[ $installed == "$work/venv/lib/"*"/site-packages/tessera."* ]] ||
  fail "the wheel's module imports from $installed, not from the virtual environment"
(cd "$work" && env -u PYTHONPATH PYTHONDONTWRITEBYTECODE=1 TESSERA_SCALE="$command" \
  TESSERA_TEST_DATA="$root/tests/data/pixelart" TESSERA_VERSION="$version" \
  "$work/venv/bin/python" -m pytest -q -p no:cacheprovider "$root/tests/python")
echo "== packages checked"
