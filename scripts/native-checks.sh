#!/usr/bin/env bash
# Native (Linux) checks of the GIF reader's loading path: builds it and the framework core beneath
# it with AddressSanitizer and UndefinedBehaviorSanitizer under clang and under gcc, runs the
# framework core's tests and the loader tests (including the comparison with giflib), then fuzzes
# the loader and the LZW decoder (against the reference decoder) for a bounded time each. Any test
# failure or fuzzer finding fails the script.
#
#   scripts/native-checks.sh [SECONDS_PER_FUZZER]      (default 60)
#
# Build folders are kept under build/native-checks, so a second run only rebuilds what changed.
# The fuzzers write what they learn into a temporary folder; the committed corpora stay as they are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
out=$root/build/native-checks
jobs=${KX_JOBS:-2}

step() { printf '\n== %s\n' "$*"; }

for compiler in clang++ g++; do
  dir=$out/${compiler%++}
  step "build with $compiler"
  cmake -S "$root/fuzz" -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=$compiler >/dev/null
  cmake --build "$dir" -j "$jobs"
  step "framework core and loader tests ($compiler, ASan + UBSan)"
  "$dir/kx_framework_native_tests" --gtest_brief=1
  "$dir/kx_gif_native_tests" --gtest_brief=1
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/load" "$work/lzw" "$out/findings"

# Runs a fuzzer; on a finding prints its whole report and keeps the input in build/native-checks/findings.
fuzz() {
  local name=$1; shift
  if "$@" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 -artifact_prefix="$out/findings/$name-" \
      >"$work/$name.log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$name.log" || tail -n 5 "$work/$name.log"
  else
    cat "$work/$name.log"
    echo "native-checks: $name found a problem (input kept in $out/findings)" >&2
    exit 1
  fi
}

step "fuzzing TGIFImage.LoadFromStream for ${seconds}s"
fuzz load "$out/clang/gif_load_fuzzer" -rss_limit_mb=2560 -max_len=32768 \
  "$work/load" "$root/fuzz/corpus/gif" "$root/tests/data/gif"

step "fuzzing the LZW decoder against the reference decoder for ${seconds}s"
fuzz lzw "$out/clang/gif_lzw_diff_fuzzer" -max_len=8192 "$work/lzw" "$root/fuzz/corpus/lzw"

step "native checks passed"
