#!/usr/bin/env bash
# Builds the library, tools, demo and tests for both architectures and runs every test under Wine;
# installs the library into a prefix per architecture, checks that the installed DLL is stripped,
# and builds examples/ against the installed package (its own toolchain file too) as an application
# would, running their self-checks (real drags) under Wine; then the native checks of the GIF
# reader, the framework core and the block parsers (scripts/native-checks.sh; KX_FUZZ_SECONDS is
# the whole fuzzing budget, 120 by default). First of all it checks that the guide's code blocks
# (docs/) equal the example code they are cut from.
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

# The guide's code blocks against the compiled examples they are cut from, and the names its prose
# shows against the public headers (no build needed).
docs_failed=0 members_failed=0
python3 "$root/scripts/check-doc-snippets.py" || docs_failed=1
python3 "$root/scripts/check-doc-members.py" || members_failed=1

for arch in x86_64 i686; do
  cmake -S "$root" -B "$build/$arch" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" -DKX_WINEPREFIX="$prefix" >/dev/null
  cmake --build "$build/$arch" -j "$jobs"
done

# The package as applications consume it: each architecture installed into a prefix of its own,
# and the examples built from there as a separate project (find_package(Kestrix)) with nothing
# but the installed package, its toolchain file included; that build also compiles every installed
# header on its own with -Wall -Wextra -Wpedantic -Werror.
for arch in x86_64 i686; do
  rm -rf "$build/install/$arch"
  cmake --install "$build/$arch" --prefix "$build/install/$arch" >/dev/null
  cmake -S "$root/examples" -B "$build/examples-$arch" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$build/install/$arch/share/kestrix/toolchain-$arch.cmake" \
    -DCMAKE_PREFIX_PATH="$build/install/$arch" >/dev/null
  cmake --build "$build/examples-$arch" -j "$jobs"
done

# ---- the lean package: the installed DLL stripped (at most 2 MB), naming its debug file ------------
package_run=0 package_failed=0
for arch in x86_64 i686; do
  package_run=$((package_run + 1))
  dll="$build/install/$arch/bin/KestrixVcl.dll"
  size=$(stat -c %s "$dll" 2>/dev/null || echo 0)
  sections=$("$arch-w64-mingw32-objdump" -h "$dll" 2>/dev/null || true)
  if [ "$size" -gt 0 ] && [ "$size" -le $((2 * 1024 * 1024)) ] && [ -s "$dll.debug" ] &&
     grep -q '\.gnu_debuglink' <<<"$sections"; then
    echo "$arch package: KestrixVcl.dll is $size bytes, its debug information in KestrixVcl.dll.debug"
  else
    echo "$arch package: FAILED: KestrixVcl.dll is $size bytes (at most 2 MB), or has no .gnu_debuglink or KestrixVcl.dll.debug"
    package_failed=$((package_failed + 1))
  fi
done
# ---- end of the lean package check ---------------------------------------------------------------

# Both architectures share one prefix and one display; CTest's fixtures start and stop the server.
status=$((docs_failed | members_failed))
[ "$package_failed" -eq 0 ] || status=1
rm -f "$build"/ctest-*.log
for arch in "${run_archs[@]}"; do
  echo "== tests, $arch"
  (cd "$build/$arch" && ctest -j "$jobs" --output-on-failure "$@") | tee "$build/ctest-$arch.log" || status=1
done

echo "== examples, built against the installed package"
# The examples over the C interface: C (SaveDroppedFilesC) and the C++ wrapper (VirtualFileDrag).
c_interface_examples=(SaveDroppedFilesC VirtualFileDrag)
examples_run=0 examples_failed=0
"$root/scripts/wine-session.sh" start "$prefix"
for arch in "${run_archs[@]}"; do
  for example in TextDropWindow PictureDragForm FormatList SaveDroppedFiles GeneratedFileDrag LinkDropWindow \
                 "${c_interface_examples[@]}"; do
    examples_run=$((examples_run + 1))
    if "$root/scripts/wine-run.sh" "$prefix" "$build/examples-$arch/$example.exe" --self-check >"$build/example.log" 2>&1; then
      echo "$arch $example: passed"
    else
      echo "$arch $example: FAILED"; cat "$build/example.log"
      examples_failed=$((examples_failed + 1)); status=1
    fi
  done
done
"$root/scripts/wine-session.sh" stop "$prefix"
# The GIF reader's loading path natively: sanitizer builds, loader tests, a bounded fuzzing run.
echo "== native checks (ASan, UBSan, libFuzzer)"
native_failed=0
bash "$root/scripts/native-checks.sh" "${KX_FUZZ_SECONDS:-120}" || { native_failed=1; status=1; }

# One summary line for the whole run, counted from the architectures whose tests ran, the examples,
# the package checks, the native checks and the guide's snippet and member checks (one test each).
awk -v nf="$native_failed" -v df="$docs_failed" -v mf="$members_failed" -v er="$examples_run" -v ef="$examples_failed" \
    -v pr="$package_run" -v pf="$package_failed" '/tests passed, [0-9]+ tests failed out of/ {
       for (i = 1; i <= NF; i++) { if ($i == "failed" && $(i-1) == "tests") f += $(i-2); if ($i == "of") t += $(i+1) } }
     END { t += 3 + er + pr; f += nf + df + mf + ef + pf; printf "%d passed, %d failed\n", t - f, f }' "$build"/ctest-*.log
[ -n "${i686_note:-}" ] && echo "$i686_note"
exit $status
