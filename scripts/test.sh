#!/usr/bin/env bash
# Installs everything that is missing (scripts/setup.sh), then builds and runs the whole test suite:
#   1. formatting of every C++ file against .clang-format;
#   2. the release build (g++, warnings as errors) and all its tests, the
#      end-to-end editor tests under Xvfb and the install tests included;
#   3. the same tests built with clang under AddressSanitizer and UBSan;
#   4. the web pages in headless Chromium and Firefox against the release build's tessera-scale;
#   5. the packages in dist/ built and checked (the Debian package, the Python wheel);
#   6. each fuzzer for a bounded time (FUZZ_SECONDS, default 60; 0 skips them).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc)

scripts/setup.sh

echo "== formatting"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

echo "== release build and tests"
cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"
ctest --preset release -j "$jobs"

echo "== AddressSanitizer + UndefinedBehaviourSanitizer build and tests"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

echo "== web pages in headless Chromium and Firefox"
web/tests/run.sh build/release

echo "== packages"
scripts/package.sh --test

if [ "${FUZZ_SECONDS:-60}" != 0 ]; then
  echo "== fuzzing"
  scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
fi
echo "== all tests passed"
