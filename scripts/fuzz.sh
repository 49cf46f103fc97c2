#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and UBSan) and runs each for SECONDS,
# starting from its committed corpus and regression inputs. New inputs go to a scratch copy,
# so the committed corpus stays as it is. Exits non-zero when any fuzzer reports a finding
# (crash, failed check, sanitizer report, leak, timeout or out-of-memory); the input that
# caused it is printed in base64, to be saved under fuzz/regressions/NAME/ and fixed.
#
#   scripts/fuzz.sh SECONDS             each fuzzer for SECONDS (the test suite gives 60)
#   FUZZ_SECONDS=3600 scripts/fuzz.sh   the same, for a longer run: an hour per fuzzer
#   FUZZ_BUILD_DIR  build directory (default build/fuzz, the fuzz preset's own)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

seconds=${1:-${FUZZ_SECONDS:-}}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh SECONDS, or FUZZ_SECONDS=SECONDS scripts/fuzz.sh" >&2
  exit 2
fi
build=${FUZZ_BUILD_DIR:-build/fuzz}

# name, longest input, memory limit (MB), largest single allocation (MB), time limit per input (s).
# The scaler's longest useful input is 4096 pixels of palette indices after the header, the
# palette and the tuning values (raw words fill a quarter of that image; the rest is 0).
# tessera-scale refuses an image's size from its header before decoding, and never lets the
# decoder fill a buffer of more than 256 MiB, so image_load's limits are tight enough that an
# input decoded before its size is judged shows as a finding (out-of-memory, an allocation over
# the limit, or a timeout).
fuzzers=(
  "settings 8192 2048 0 10"
  "scaler 4150 2048 0 10"
  "image_load 4096 2048 512 15"
)

cmake --preset fuzz -B "$build" >/dev/null
targets=()
for entry in "${fuzzers[@]}"; do
  read -r name _ <<<"$entry"
  targets+=(--target "${name}_fuzzer")
done
cmake --build "$build" "${targets[@]}" -j "$(nproc)"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

summary=()
failed=0
for entry in "${fuzzers[@]}"; do
  read -r name maxLen rssLimit mallocLimit timeout <<<"$entry"
  corpus="$scratch/$name/corpus"
  mkdir -p "$corpus" "$scratch/$name/findings"
  cp -r "fuzz/corpus/$name/." "$corpus/"
  inputs=("$corpus")
  if [ -d "fuzz/regressions/$name" ]; then
    inputs+=("fuzz/regressions/$name")
  fi
  log="$scratch/$name/log"
  echo "fuzz: $name for ${seconds} s"
  status=0
  "$build/fuzz/${name}_fuzzer" -max_total_time="$seconds" -max_len="$maxLen" -rss_limit_mb="$rssLimit" \
    -malloc_limit_mb="$mallocLimit" -timeout="$timeout" -print_final_stats=1 \
    -artifact_prefix="$scratch/$name/findings/" "${inputs[@]}" </dev/null >"$log" 2>&1 || status=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  added=$(sed -n 's/^stat::new_units_added: *//p' "$log" | tail -n 1)
  # libFuzzer also saves inputs that took over 10 s; they are noted, not failures.
  findings=$(find "$scratch/$name/findings" -type f ! -name 'slow-unit-*' | wc -l)
  slow=$(find "$scratch/$name/findings" -type f -name 'slow-unit-*' | wc -l)
  if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
    failed=1
    echo "fuzz: $name FAILED (exit status $status)" >&2
    grep -E -A 30 '^==[0-9]+==|fuzz check failed|runtime error|^SUMMARY' "$log" | head -n 80 >&2 || tail -n 40 "$log" >&2
    for finding in "$scratch/$name/findings/"*; do
      [ -f "$finding" ] || continue
      case "$(basename "$finding")" in slow-unit-*) continue ;; esac
      echo "fuzz: input $(basename "$finding") (base64; save it under fuzz/regressions/$name/):" >&2
      base64 -w 76 "$finding" >&2
    done
  fi
  rate=$(( ${executions:-0} / seconds ))
  summary+=("$(printf '%-11s %5s s %10s executions (%6s/s) %6s new inputs %3s findings %3s slow inputs' \
    "$name" "$seconds" "${executions:-?}" "$rate" "${added:-?}" "$findings" "$slow")")
done

echo "== fuzzing summary"
printf '%s\n' "${summary[@]}"
exit "$failed"
