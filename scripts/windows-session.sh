# scripts/windows-session.sh: sourced by test-windows and screenshot-windows. Picks the Windows
# build this machine can run under Wine, cross-builds it, and opens a throw-away Windows session:
# a Wine prefix in a temporary directory and an Xvfb display, both removed again on every way the
# calling script ends.
# Leaves: windows_choose, windows_build, windows_session_start, windows_find_window,
# windows_screenshot, and the variables bits, preset, build, wine, session, DISPLAY (from
# scripts/xvfb.sh), WINEPREFIX, WINEARCH, WINELOADER, WINEDEBUG.
#
# The 32-bit build (mingw preset) runs under 32-bit Wine wherever the machine runs 32-bit
# programs; where it cannot (kernels without IA-32 emulation refuse them with "Exec format
# error"), the 64-bit build (mingw64 preset) runs under 64-bit Wine. MIMOZA_WINDOWS_BITS=32 or 64
# forces one of them; MIMOZA_WINDOWS_BUILD picks the build directory (default build/PRESET).

# windows_choose: sets bits, preset, build and wine (the Wine loader) and says which build the
# checks use and why. Returns 1, saying why, when no Wine that could run it is installed.
windows_choose() {
  local reason
  case "${MIMOZA_WINDOWS_BITS:-}" in
    32 | 64)
      bits=$MIMOZA_WINDOWS_BITS
      reason="MIMOZA_WINDOWS_BITS=$bits asks for it"
      ;;
    "")
      if ! reason=$(scripts/runs-32-bit 2>&1); then
        bits=64
      elif [ ! -x /usr/lib/wine/wine ]; then
        bits=64
        reason="32-bit Wine (wine32:i386) is not installed (scripts/install-deps test says why when it cannot install it)"
      else
        bits=32
        reason="this machine runs 32-bit programs"
      fi
      ;;
    *)
      echo "MIMOZA_WINDOWS_BITS must be 32 or 64, not $MIMOZA_WINDOWS_BITS" >&2
      return 1
      ;;
  esac
  # Debian's wine wrapper would pick the 32-bit loader whenever it is installed, so the loader
  # is called by its own name.
  if [ "$bits" = 32 ]; then
    preset=mingw
    wine=/usr/lib/wine/wine
  else
    preset=mingw64
    wine=/usr/lib/wine/wine64
  fi
  build=${MIMOZA_WINDOWS_BUILD:-build/$preset}
  echo "Windows: the $bits-bit build ($preset preset) under $bits-bit Wine, because $reason"
  if [ ! -x "$wine" ]; then
    echo "cannot run the Windows checks: no $wine (scripts/install-deps test installs it)" >&2
    return 1
  fi
}

windows_build() {
  cmake --preset "$preset" -B "$build" >/dev/null
  cmake --build "$build" -j "$(nproc)"
  for program in app/mimoza.exe tests/app/app_test.exe tests/app/program_test.exe \
                 tests/app/dialog_driver.exe; do
    if [ ! -f "$build/$program" ]; then
      echo "missing $build/$program: the core libraries may not all be there yet" >&2
      return 1
    fi
  done
}

source "$(dirname "${BASH_SOURCE[0]}")/xvfb.sh"
session=

windows_session_end() {
  if [ -n "$session" ]; then
    WINEPREFIX="$session/prefix" wineserver -k 2>/dev/null || true
    WINEPREFIX="$session/prefix" wineserver -w 2>/dev/null || true
  fi
  xvfb_stop
  [ -n "$session" ] && rm -rf "$session"
  session=
}

windows_session_start() {
  trap windows_session_end EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  session=$(mktemp -d "${TMPDIR:-/tmp}/mimoza-windows.XXXXXX")

  xvfb_start "$session" || return 1

  export WINEARCH=win$bits WINEPREFIX="$session/prefix" WINEDEBUG=-all WINELOADER=$wine
  # No network here: the runtime installers wineboot would offer are switched off.
  if ! WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i >"$session/wineboot.log" 2>&1; then
    echo "Wine could not set up its prefix:" >&2
    cat "$session/wineboot.log" >&2
    return 1
  fi
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
  "$wine" regedit "$session/session.reg" >/dev/null 2>&1
  # Title-bar buttons are drawn with Wine's Marlett font (package fonts-wine), which this Wine
  # build does not find in its data directory; the prefix's font folder always works.
  local marlett=/usr/share/wine/fonts/marlett.ttf
  [ -f "$marlett" ] && cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
  wineserver -w
}

# windows_find_window TITLE: prints the X window of the session whose title is exactly TITLE,
# once it shows (within 20 s). Returns 1 when none does.
windows_find_window() {
  local window= _
  for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] && echo "$window"
}

# windows_screenshot TITLE OUT: saves the window titled TITLE, as the screen shows it, as the PNG
# OUT. Returns 1 when no such window shows.
windows_screenshot() {
  local window X Y WIDTH HEIGHT SCREEN WINDOW
  window=$(windows_find_window "$1") || return 1
  eval "$(xdotool getwindowgeometry --shell "$window")"
  mkdir -p "$(dirname "$2")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$2"
}
