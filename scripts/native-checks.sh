#!/usr/bin/env bash
# Native (Linux) checks of the GIF reader's loading path, the framework core beneath it and the
# parsers of foreign blocks (formats/: HDROP, file groups, safe names, DIBs, HTML Format, ...):
# builds them with AddressSanitizer and UndefinedBehaviorSanitizer under clang and under gcc, runs
# their tests (including the GIF reader's comparison with giflib), then fuzzes the GIF loader, the
# LZW decoder (against the reference decoder) and each block parser for a bounded time. Any test
# failure or fuzzer finding fails the script.
#
#   scripts/native-checks.sh [SECONDS]      (default 120)
#
# SECONDS is the whole fuzzing budget: half goes to the two GIF fuzzers, half is shared by the
# block parsers' fuzzers (at least 2 s each).
#
# Build folders are kept under build/native-checks, so a second run only rebuilds what changed.
# The fuzzers write what they learn into a temporary folder; the committed corpora stay as they are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
budget=${1:-120}
block_fuzzers=(hdrop filegroup dib html netscape_image metafilepict hdrop_roundtrip mozurl html_roundtrip filegroup_records
  safenames)
seconds=$(( budget / 4 > 1 ? budget / 4 : 1 ))
block_seconds=$(( budget / 2 / ${#block_fuzzers[@]} > 2 ? budget / 2 / ${#block_fuzzers[@]} : 2 ))
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
  step "block parser tests ($compiler, ASan + UBSan)"
  "$dir/kx_blocks_native_tests" --gtest_brief=1
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/load" "$work/lzw" "$out/findings"

# Runs a fuzzer; on a finding prints its whole report and keeps the input in build/native-checks/findings.
fuzz() {
  local name=$1; shift
  if "$@" -max_total_time="${fuzz_seconds:-$seconds}" -timeout=30 -print_final_stats=1 -artifact_prefix="$out/findings/$name-" \
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

for name in "${block_fuzzers[@]}"; do
  step "fuzzing the $name block parser for ${block_seconds}s"
  mkdir -p "$work/$name"
  fuzz_seconds=$block_seconds fuzz "$name" "$out/clang/${name}_fuzzer" -max_len=4096 "$work/$name" "$root/fuzz/corpus/$name"
done

step "native checks passed"
