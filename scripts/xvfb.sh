# scripts/xvfb.sh: sourced by windows-session.sh, test-desktop and bench/measure-desktop: a
# throw-away Xvfb display.
# Leaves: xvfb_start, xvfb_accepts, xvfb_stop, and the variables xvfb_pid and DISPLAY.

xvfb_pid=

# xvfb_start DIR [SIZE]: starts Xvfb (default 800x600x24) and exports DISPLAY once the display
# accepts a client; its log goes to DIR/xvfb.log. Returns 1, showing the log, when it does not
# come up within 10 s.
xvfb_start() {
  local dir=$1 size=${2:-800x600x24}
  # Xvfb picks a free display itself and writes its number to the descriptor given. The file is
  # made first: the background job opens it only when it gets to run, which on a busy machine can
  # be after the first read below.
  : >"$dir/display"
  Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  local number=
  for _ in $(seq 100); do
    number=$(tr -dc 0-9 <"$dir/display")
    [ -n "$number" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$number" ]; then
    echo "Xvfb did not start" >&2
    cat "$dir/xvfb.log" >&2
    return 1
  fi
  export DISPLAY=":$number"
  # The number is written as Xvfb starts to listen, yet on a loaded machine a client has been
  # refused after it ("cannot open display"): wait until one is accepted.
  for _ in $(seq 100); do
    xvfb_accepts && return 0
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "Xvfb on $DISPLAY does not accept clients" >&2
  cat "$dir/xvfb.log" >&2
  return 1
}

# xvfb_accepts: whether the display takes a client now (xdpyinfo, else xdotool; without either
# there is nothing to ask, and it is taken to).
xvfb_accepts() {
  if command -v xdpyinfo >/dev/null; then
    xdpyinfo >/dev/null 2>&1
  elif command -v xdotool >/dev/null; then
    xdotool getdisplaygeometry >/dev/null 2>&1
  fi
}

xvfb_stop() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  xvfb_pid=
}
