#!/usr/bin/env bash
# Checks the packages scripts/package.sh left in DIST as their users would meet them:
#   the Debian package: lintian finds no error; unpacked into a throw-away folder it holds the
#     programs, library, package files, module, desktop entry, manual pages and completion, the
#     command runs from there, the pages render without warnings and the completion completes;
#   the wheel: installed into a fresh virtual environment, the Python test suite passes against
#     the installed module, with the unpacked package's tessera-scale as the command it is
#     compared with;
#   the npm package: installed from its tarball into an empty project without network, its
#     command writes the native command's bytes (a transparent sprite, an animated GIF, a sheet
#     with --grid, a flattened WebP), leaves nothing else, and fails with the native messages and
#     exit status; its module in Node gives the same files and pixels.
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
tarball=$dist/tessera-scale-$version.tgz
[ -f "$tarball" ] || fail "no $tarball"

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
echo "== npm package: installed offline, against the native command"
project=$work/npm
mkdir -p "$project" "$work/npm-out" "$work/native-out"
echo '{"name": "check", "private": true}' >"$project/package.json"
(cd "$project" && npm install --offline --no-audit --no-fund --silent "$tarball")
sprite=$root/tests/data/pixelart/cdda_uc_crow_32.png
animation=$root/fuzz/corpus/image_load/animated.gif
sheet=$root/tests/data/pixelart/sheet_cdda_uc_1024.png
# Noise, translucent in places: every row of its enlargement differs from the one above, so each
# takes the choice among the five PNG filters, which WebAssembly makes in a way of its own.
noise=$work/noise.png
/usr/bin/python3 - "$noise" <<'PYTHON'
import random, sys
from PIL import Image
random.seed(7)
image = Image.new("RGBA", (203, 61))
image.putdata([tuple(random.randrange(256) for _ in range(3)) + (random.choice((0, 77, 255, 255)),)
               for _ in range(203 * 61)])
image.save(sys.argv[1])
PYTHON
[ "$(cd "$project" && npx tessera-scale --version)" = "tessera-scale $version" ] ||
  fail "npx tessera-scale --version does not say $version"
# Each line: the output's name, the input, the options.
while read -r name input options; do
  # shellcheck disable=SC2086 # the options are words
  (cd "$project" && npx tessera-scale -q $options -o "$work/npm-out/$name" "$input") ||
    fail "npx tessera-scale $options $input failed"
  # shellcheck disable=SC2086
  "$command" -j 1 -q $options -o "$work/native-out/$name" "$input"
  cmp -s "$work/npm-out/$name" "$work/native-out/$name" ||
    fail "npx tessera-scale $options $input does not write the native command's bytes"
done <<CASES
sprite.png $sprite -f 3
animated.png $animation -f 2
sheet.png $sheet -f 2 --grid 32
flat.webp $sprite --background #336699
noise.png $noise -f 2
CASES
# The outputs were written through temporary files: none is left beside them.
[ "$(ls -A "$work/npm-out")" = "$(ls -A "$work/native-out")" ] ||
  fail "npx tessera-scale left other files: $(ls -A "$work/npm-out")"

printf 'not an image' >"$work/bad.png"
status=0
(cd "$project" && npx tessera-scale -o "$work/npm-out/bad@4x.png" "$work/bad.png") 2>"$work/npm-bad.txt" || status=$?
"$command" -o "$work/native-out/bad@4x.png" "$work/bad.png" 2>"$work/native-bad.txt" || true
[ "$status" -eq 1 ] || fail "npx tessera-scale on a bad file exits $status, not 1"
cmp -s "$work/npm-bad.txt" "$work/native-bad.txt" ||
  fail "npx tessera-scale on a bad file says '$(cat "$work/npm-bad.txt")', not '$(cat "$work/native-bad.txt")'"
[ ! -e "$work/npm-out/bad@4x.png" ] || fail "npx tessera-scale left an output for a bad file"
status=0
(cd "$project" && npx tessera-scale "$sprite" --grid) 2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "npx tessera-scale with a missing option value exits $status, not 2"

# The module: the same file, and the same pixels as the native command's file decoded.
/usr/bin/python3 -c 'import sys; from PIL import Image
for source, target in zip(sys.argv[1::2], sys.argv[2::2]):
    open(target, "wb").write(Image.open(source).convert("RGBA").tobytes())' \
  "$sprite" "$work/sprite.rgba" "$work/native-out/sprite.png" "$work/sprite@3x.rgba"
(cd "$project" && node --input-type=module - "$sprite" "$work" <<'NODE'
import { readFileSync } from 'node:fs';
import { enlarge, enlargePixels } from 'tessera-scale';
const [sprite, work] = process.argv.slice(2);
const same = (a, b) => a.length === b.length && a.every((byte, i) => byte === b[i]);
const failures = [];
if (!same(enlarge(readFileSync(sprite), { factor: 3 }), readFileSync(`${work}/native-out/sprite.png`)))
  failures.push('enlarge gives other bytes than the native command');
if (!same(enlarge(readFileSync(sprite), { background: '#336699', format: 'webp' }), readFileSync(`${work}/native-out/flat.webp`)))
  failures.push('enlarge to WebP over a background gives other bytes than the native command');
const enlarged = enlargePixels(readFileSync(`${work}/sprite.rgba`), 32, 32, { factor: 3 });
if (enlarged.width !== 96 || enlarged.height !== 96 || !same(enlarged.rgba, readFileSync(`${work}/sprite@3x.rgba`)))
  failures.push('enlargePixels gives other pixels than the native command');
try {
  enlarge(readFileSync(`${work}/bad.png`));
  failures.push('enlarge accepts a bad file');
} catch (error) {
  if (!readFileSync(`${work}/native-bad.txt`, 'utf8').endsWith(`: ${error.message}\n`))
    failures.push(`enlarge of a bad file throws '${error.message}'`);
}
if (failures.length) {
  console.error(failures.join('\n'));
  process.exit(1);
}
NODE
) || fail "the npm package's module differs from the native command"
echo "== packages checked"
