# Shared by the scripts that run the program or its tests under Wine.
# Sourced, not run.

export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers: the program needs neither.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Starts Xvfb on a free display when there is no DISPLAY; sets KESTRIN_XVFB_PID.
kestrin_start_display() {
  KESTRIN_XVFB_PID=""
  if [ -n "${DISPLAY:-}" ]; then return 0; fi
  local fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$fdfile" >/dev/null 2>&1 &
  KESTRIN_XVFB_PID=$!
  local i
  for i in $(seq 1 100); do
    if [ -s "$fdfile" ]; then break; fi
    sleep 0.1
  done
  if [ ! -s "$fdfile" ]; then
    echo "Xvfb did not start" >&2
    rm -f "$fdfile"
    return 1
  fi
  export DISPLAY=":$(head -n1 "$fdfile")"
  rm -f "$fdfile"
}

kestrin_stop_display() {
  if [ -n "${KESTRIN_XVFB_PID:-}" ]; then
    kill "$KESTRIN_XVFB_PID" 2>/dev/null || true
    wait "$KESTRIN_XVFB_PID" 2>/dev/null || true
    KESTRIN_XVFB_PID=""
  fi
}

# Makes a Wine prefix at $1 once (wineboot, no window-manager waits).
kestrin_make_prefix() {
  local prefix=$1
  if [ -f "$prefix/.kestrin-ready-2" ]; then return 0; fi
  rm -rf "$prefix"
  mkdir -p "$prefix"
  WINEPREFIX=$prefix wineboot -i >/dev/null 2>&1
  # Without a window manager Wine waits about 2 s whenever a top-level window is
  # hidden or destroyed; unmanaged windows avoid it.
  WINEPREFIX=$prefix wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    >/dev/null 2>&1
  # A crashing program ends at once with its report on stderr, instead of
  # waiting in the debugger until the test's time runs out.
  WINEPREFIX=$prefix wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Auto /d 1 /f >/dev/null 2>&1
  WINEPREFIX=$prefix wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /d '' /f >/dev/null 2>&1
  WINEPREFIX=$prefix wineserver -w
  touch "$prefix/.kestrin-ready-2"
}

# Makes a fresh prefix for one test under <build-dir>, copied from the build's
# template (made once), and prints its path.
kestrin_new_prefix() {
  local build=$1
  local template="$build/wine-template"
  ( flock 9; kestrin_make_prefix "$template" >&2 ) 9>"$build/wine-template.lock"
  local prefix
  prefix=$(mktemp -d "$build/wine-prefix.XXXXXX")
  cp -a "$template/." "$prefix/"
  echo "$prefix"
}
