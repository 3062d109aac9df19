# scripts/windows-session.sh: sourced by test-windows and screenshot-windows. Cross-builds the
# Windows programs and opens a throw-away Windows session: a 32-bit Wine prefix in a temporary
# directory and an Xvfb display, both removed again on every way the calling script ends.
# Leaves: windows_build, windows_session_start, and the variables build, session, DISPLAY,
# WINEPREFIX, WINEARCH, WINEDEBUG.

# The mingw preset's build directory; MIMOZA_WINDOWS_BUILD picks another one.
build=${MIMOZA_WINDOWS_BUILD:-build/mingw}

windows_build() {
  cmake --preset mingw -B "$build" >/dev/null
  cmake --build "$build" -j "$(nproc)"
  for program in app/mimoza.exe tests/app/app_test.exe tests/app/program_test.exe \
                 tests/app/dialog_driver.exe; do
    if [ ! -f "$build/$program" ]; then
      echo "missing $build/$program: the core libraries may not all be there yet" >&2
      return 1
    fi
  done
}

xvfb_pid=
session=

windows_session_end() {
  if [ -n "$session" ]; then
    WINEPREFIX="$session/prefix" wineserver -k 2>/dev/null || true
    WINEPREFIX="$session/prefix" wineserver -w 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  [ -n "$session" ] && rm -rf "$session"
  xvfb_pid=
  session=
}

windows_session_start() {
  trap windows_session_end EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  session=$(mktemp -d "${TMPDIR:-/tmp}/mimoza-windows.XXXXXX")

  # Xvfb picks a free display itself and writes its number to the descriptor given.
  Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$session/display" \
    >"$session/xvfb.log" 2>&1 &
  xvfb_pid=$!
  local number=
  for _ in $(seq 100); do
    number=$(tr -dc 0-9 <"$session/display")
    [ -n "$number" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$number" ]; then
    echo "Xvfb did not start" >&2
    cat "$session/xvfb.log" >&2
    return 1
  fi
  export DISPLAY=":$number"

  export WINEARCH=win32 WINEPREFIX="$session/prefix" WINEDEBUG=-all
  # No network here: the runtime installers wineboot would offer are switched off.
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >"$session/wineboot.log" 2>&1
  wineserver -w
  # The dialog asks for a Japanese face the prefix lacks: map it (and the system's dialog faces)
  # to IPA Gothic. Without a window manager, Wine draws the title bars itself.
  iconv -f UTF-8 -t UTF-16 >"$session/session.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"ＭＳ Ｐゴシック"="IPAPGothic"
"MS PGothic"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"MS Gothic"="IPAGothic"
"MS UI Gothic"="IPAPGothic"
"MS Shell Dlg"="IPAPGothic"
"MS Shell Dlg 2"="IPAPGothic"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
"Managed"="N"
REG
  wine regedit "$session/session.reg" >/dev/null 2>&1
  # Title-bar buttons are drawn with Wine's Marlett font (package fonts-wine), which this Wine
  # build does not find in its data directory; the prefix's font folder always works.
  local marlett=/usr/share/wine/fonts/marlett.ttf
  [ -f "$marlett" ] && cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
  wineserver -w
}
