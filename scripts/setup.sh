#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a Debian 12 machine (run as root).
# Idempotent: when every package is already present it returns in about a second.
#
# The package mirror can serve an index that does not match its release file for a while; then
# `apt-get update` fails and, with one architecture's index of a suite missing, packages of both
# architectures no longer resolve together. The script retries the update, and if the install
# still fails it installs again from only the suites whose indexes all loaded, through a sources
# file it writes under build/apt (the machine's own sources files are never edited).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

native=(cmake ninja-build make g++ clang libclang-rt-14-dev googletest
        g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools
        wine wine64 xvfb xauth x11-utils imagemagick giflib-tools libgif-dev libstb-dev
        binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 file python3 fonts-wqy-microhei ccache
        lld llvm libwine-dev)
# libwine-dev's Windows headers and import libraries build the C interface's test for the MSVC ABI
# (with clang, lld-link and llvm-dlltool); the i386 package carries the 32-bit import libraries.
foreign=(wine32:i386 libwine-dev:i386)

# The MinGW compilers default to the win32 thread model, which lacks std::thread/std::mutex; the
# posix variants carry them (winpthreads is linked statically, see the toolchain files). Chosen on
# every run: the packages may have been installed by someone else.
choose_posix_threads() {
  local arch tool alt
  for arch in x86_64 i686; do
    for tool in gcc g++; do
      alt=/usr/bin/$arch-w64-mingw32-$tool-posix
      [ -x "$alt" ] && update-alternatives --set "$arch-w64-mingw32-$tool" "$alt" >/dev/null 2>&1 || true
    done
  done
}

missing=()
for p in "${native[@]}" "${foreign[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then choose_posix_threads; exit 0; fi

export DEBIAN_FRONTEND=noninteractive
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386

aptdir=$root/build/apt
mkdir -p "$aptdir"
update_log=$aptdir/update.log
for attempt in 1 2 3; do
  if apt-get update -qq >"$update_log" 2>&1; then break; fi
  [ $attempt -lt 3 ] && sleep $((attempt * 5))
done

install() { apt-get install -y -qq --no-install-recommends "$@" "${missing[@]}" >"$aptdir/install.log" 2>&1; }

# Writes $aptdir/sources.list with the suites whose Packages indexes loaded for every architecture
# and that no failed fetch of the last update names; prints the suites it kept.
reduced_sources() {
  local archs failed
  archs=$( (dpkg --print-architecture; dpkg --print-foreign-architectures) | sort -u | tr '\n' ' ')
  failed=$(grep 'Failed to fetch' "$update_log" 2>/dev/null | grep -o 'dists/[^/ ]*' | cut -d/ -f2 | sort -u | tr '\n' ' ')
  apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT) $(ARCHITECTURE) $(SOURCESENTRY)' \
      'Created-By: Packages' |
    awk -v archs="$archs" -v failed=" $failed " '
      # The keyring a sources entry names (deb822 "Signed-By:" of stanza N, or [signed-by=] of line N).
      function keyring(entry,   f, n, k, line, i, key) {
        f = entry; sub(/:[0-9]+$/, "", f); n = entry; sub(/^.*:/, "", n)
        key = ""; k = 0; i = 0
        if (f ~ /\.sources$/) {
          k = 1
          while ((getline line < f) > 0) {
            if (line ~ /^[ \t]*$/) { if (started) { k++; started = 0 }; continue }
            if (line ~ /^#/) continue
            started = 1
            if (k == n && line ~ /^Signed-By:/) { key = line; sub(/^Signed-By:[ \t]*/, "", key) }
          }
        } else {
          while ((getline line < f) > 0) if (++i == n && match(line, /signed-by=[^] ]*/))
            key = substr(line, RSTART + 10, RLENGTH - 10)
        }
        close(f); started = 0
        return key
      }
      { key = $1 " " $2 " " $3; have[key] = have[key] " " $4; entry[key] = $5 }
      END {
        na = split(archs, a, " ")
        for (key in have) {
          split(key, p, " ")
          if (index(failed, " " p[2] " ")) continue
          ok = 1
          for (i = 1; i <= na; i++) if (index(have[key] " ", " " a[i] " ") == 0) ok = 0
          if (!ok) continue
          k = keyring(entry[key])
          printf "deb %s%s %s %s\n", (k == "" ? "" : "[signed-by=" k "] "), p[1], p[2], p[3]
        }
      }' | sort >"$aptdir/sources.list"
  awk '{ print $(NF - 1) }' "$aptdir/sources.list" | sort -u | tr '\n' ' '
}

if ! install; then
  kept=$(reduced_sources)
  if [ -z "$kept" ]; then cat "$update_log" "$aptdir/install.log" >&2; exit 1; fi
  mkdir -p "$aptdir/parts.d"
  echo "setup: the mirror's indexes do not agree; installing from the suites that loaded for every architecture: $kept"
  if ! install -o Dir::Etc::SourceList="$aptdir/sources.list" -o Dir::Etc::SourceParts="$aptdir/parts.d"; then
    cat "$aptdir/install.log" >&2; exit 1
  fi
fi
choose_posix_threads
echo "setup: installed ${missing[*]}"
