#!/usr/bin/env bash
# Builds the 64-bit library and the demo, and runs the demo under Wine and Xvfb in its self-driving
# mode: real drags with synthesized input, first from the donor list onto the memo, then from the
# picture onto the picture panel. It prints what was dropped and saves a screenshot of the window
# after the drops to build/demo-screenshot.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
prefix="$build/wineprefix"
cmake -S "$root" -B "$build/x86_64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64.cmake" \
  -DKX_WINEPREFIX="$prefix" >/dev/null
cmake --build "$build/x86_64" --target KestrixDemo -j "$(nproc)"

"$root/scripts/wine-session.sh" start "$prefix"
trap '"$root/scripts/wine-session.sh" stop "$prefix"' EXIT
shot="$build/demo-screenshot.png"
rm -f "$shot"
"$root/scripts/wine-run.sh" "$prefix" "$build/x86_64/bin/KestrixDemo.exe" --self-drive --screenshot "Z:${shot//\//\\}"
