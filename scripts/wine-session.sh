#!/usr/bin/env bash
# wine-session.sh start|stop PREFIX
# Starts (or stops) what a test run shares: one Wine prefix inside the build tree, one wineserver kept
# alive for the whole run, and an Xvfb display when none is set. Never touches ~/.wine.
set -euo pipefail
action=$1
prefix=$(realpath -m "$2")
state="$prefix.session"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$state"

start_xvfb() {
  if [ -n "${DISPLAY:-}" ]; then echo "$DISPLAY" > "$state/display"; return; fi
  if [ -f "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then return; fi
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    echo $! > "$state/xvfb.pid"
    for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    if [ -e "/tmp/.X11-unix/X$n" ]; then echo ":$n" > "$state/display"; return; fi
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
  done
  echo "wine-session: could not start Xvfb" >&2; exit 1
}

case "$action" in
  start)
    start_xvfb
    export DISPLAY=$(cat "$state/display")
    (
      flock 9
      if [ ! -f "$prefix/system.reg" ]; then
        /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
        wineserver -w
      fi
      # Without a window manager, Wine waits about 2 s whenever a managed top-level window is
      # hidden or destroyed; unmanaged windows make that milliseconds.
      if ! grep -q '"Managed"="N"' "$prefix/user.reg" 2>/dev/null; then
        /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
        wineserver -w
      fi
      # Wine's own fonts have no CJK glyphs. Text asked for in Windows' CJK fonts by name finds the
      # Debian font that setup.sh installs through replacements; the controls' default font (MS Shell
      # Dlg, that is Tahoma) reaches CJK glyphs only through its font links, which name Windows' font
      # files, so the links of the common interface fonts name the Debian font's file. Each step is
      # marked by its own value: Wine lists the font under "WenQuanYi" at the prefix's first boot.
      # These steps reach prefixes made before them too, possibly while a server of a session runs,
      # so they do not wait for the server to end: the values take effect for the next process.
      font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
      if [ -f "$font" ] && ! grep -q '"SimSun"="WenQuanYi Micro Hei"' "$prefix/user.reg" 2>/dev/null; then
        for face in "MS UI Gothic" "SimSun" "PMingLiU" "Gulim"; do
          /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1
        done
      fi
      if [ -f "$font" ] && ! grep -q '"Tahoma"=str(7):"wqy-microhei.ttc' "$prefix/system.reg" 2>/dev/null; then
        for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "Segoe UI" "Lucida Sans Unicode"; do
          /usr/lib/wine/wine64 reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
            /v "$face" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f >/dev/null 2>&1
        done
      fi
    ) 9>"$state/lock"
    wineserver -p >/dev/null 2>&1 || true  # already running: keep it
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    if [ -f "$state/xvfb.pid" ]; then kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true; rm -f "$state/xvfb.pid"; fi
    rm -f "$state/display"
    ;;
  *) echo "usage: $0 start|stop PREFIX" >&2; exit 2 ;;
esac
