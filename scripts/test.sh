#!/usr/bin/env bash
# Builds the library, tools, demo and tests for both architectures and runs every test under Wine,
# then the native checks of the GIF reader and the block parsers (scripts/native-checks.sh;
# KX_FUZZ_SECONDS is the whole fuzzing budget, 120 by default).
# Usage: scripts/test.sh [extra ctest arguments]
#
# Some machines cannot execute 32-bit Linux programs at all, so the 32-bit Wine loader cannot start
# there: the i686 build is then still made (a 32-bit compile or link fault fails the run), but its
# tests are not run, and the summary counts only what ran.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
prefix="$build/wineprefix"
jobs=$(nproc)

run_archs=(x86_64)
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  run_archs+=(i686)
else
  i686_note="i686: built; tests not run: this machine cannot execute 32-bit programs"
fi

for arch in x86_64 i686; do
  cmake -S "$root" -B "$build/$arch" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" -DKX_WINEPREFIX="$prefix" >/dev/null
  cmake --build "$build/$arch" -j "$jobs"
done

# Both architectures share one prefix and one display; CTest's fixtures start and stop the server.
status=0
rm -f "$build"/ctest-*.log
for arch in "${run_archs[@]}"; do
  echo "== tests, $arch"
  (cd "$build/$arch" && ctest -j "$jobs" --output-on-failure "$@") | tee "$build/ctest-$arch.log" || status=1
done
# The GIF reader's loading path natively: sanitizer builds, loader tests, a bounded fuzzing run.
echo "== native checks (ASan, UBSan, libFuzzer)"
native_failed=0
bash "$root/scripts/native-checks.sh" "${KX_FUZZ_SECONDS:-120}" || { native_failed=1; status=1; }

# One summary line for the whole run, counted from both architectures and the native checks.
awk -v nf="$native_failed" '/tests passed, [0-9]+ tests failed out of/ {
       for (i = 1; i <= NF; i++) { if ($i == "failed" && $(i-1) == "tests") f += $(i-2); if ($i == "of") t += $(i+1) } }
     END { t += 1; f += nf; printf "%d passed, %d failed\n", t - f, f }' "$build"/ctest-*.log
[ -n "${i686_note:-}" ] && echo "$i686_note"
exit $status
