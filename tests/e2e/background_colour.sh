#!/usr/bin/env bash
# End to end: the background colour chosen in the right-click menu lasts
# between runs of the real program.
#
# pixavo.exe starts on a black image area; a right click opens the menu and
# "Background Color" > "White" is chosen with the arrow keys (xdotool); Esc
# closes the window. The registry value then reads 16777215 (wine reg
# query), and a second start shows a white image area in a screenshot. The image area's screen rectangle comes from the probe in the
# Windows test program (E2EProbe, disabled in normal runs). The stored value
# that was there before is put back at the end.
#
# Uses the DISPLAY and WINEPREFIX that scripts/test exported, or starts its
# own Xvfb and uses the project's prefix. PIXAVO_BUILD chooses the build
# folder (default build/windows).
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

build="${PIXAVO_BUILD:-$root/build/windows}"
exe="$build/pixavo.exe"
probe="$build/pixavo_win_tests.exe"
[ -n "${WINEPREFIX:-}" ] || wine_env
export WINEDEBUG="${WINEDEBUG:--all}"

key='HKCU\Software\Corvane\Pixavo Image Browser'
value=QmFja0dyb3VuZENvbG9y
title="Pixavo Image Browser by Corvane"

work="$(mktemp -d)"
viewer=
saved=
had_value=0
stored() {   # the colour's stored text, or nothing
  wine reg query "$key" /v "$value" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$value *REG_SZ *//p"
}
cleanup() {
  [ -n "$viewer" ] && kill "$viewer" 2>/dev/null || true
  [ -n "$viewer" ] && wait "$viewer" 2>/dev/null || true
  if [ "$had_value" = 1 ]; then
    wine reg add "$key" /v "$value" /t REG_SZ /d "$saved" /f >/dev/null 2>&1 || true
  else
    wine reg delete "$key" /v "$value" /f >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
  stop_xvfb
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then start_xvfb; fi

if wine reg query "$key" /v "$value" >/dev/null 2>&1; then
  had_value=1
  saved="$(stored)"
fi
wine reg delete "$key" /v "$value" /f >/dev/null 2>&1 || true

if xdotool search --name "$title" >/dev/null 2>&1; then
  echo "a Pixavo window is already open on $DISPLAY" >&2; exit 1
fi

start_viewer() {
  wine "$exe" /nosplash >/dev/null 2>&1 &
  viewer=$!
  for _ in $(seq 300); do
    xdotool search --onlyvisible --name "$title" >/dev/null 2>&1 && break
    sleep 0.1
  done
  xdotool search --onlyvisible --name "$title" >/dev/null || { echo "no window" >&2; exit 1; }
  sleep 2
}
stop_viewer() {
  for _ in $(seq 100); do
    kill -0 "$viewer" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$viewer" 2>/dev/null; then echo "the window did not close" >&2; exit 1; fi
  wait "$viewer" 2>/dev/null || true
  viewer=
}

failures=0
check() {   # check WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAILED: $1: expected '$2', got '$3'"; failures=$((failures + 1)); fi
}
left= top= right= bottom=
probe_area() {   # sets left, top, right and bottom of the image area (screen)
  local report
  report="$(wine "$probe" --gtest_also_run_disabled_tests --gtest_filter='E2EProbe.*' 2>&1 | tr -d '\r')"
  read -r left top right bottom < <(sed -n 's/^area: //p' <<<"$report")
  [ -n "${bottom:-}" ] || { echo "probe failed:" >&2; echo "$report" >&2; exit 1; }
}
area_colours() {   # the colours near the four corners of the image area
  probe_area
  import -window root "$work/shot.png"
  local x y
  for x in $((left + 5)) $((right - 6)); do
    for y in $((top + 5)) $((bottom - 6)); do
      /usr/bin/convert "$work/shot.png" -crop "1x1+$x+$y" -depth 8 txt:- | tail -1 |
        sed -E 's/.*\(([0-9]+),([0-9]+),([0-9]+).*/\1,\2,\3/'
    done
  done | sort -u | tr '\n' ' ' | sed 's/ $//'
}
close_viewer() {   # Esc, with the keyboard focus on the window
  local window
  window="$(xdotool search --onlyvisible --name "$title" | head -1)"
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  sleep 0.3
  xdotool key Escape
  stop_viewer
}

# First run: no stored colour, a black image area.
start_viewer
check "first run: black image area" "0,0,0" "$(area_colours)"
# A right click in the image area opens the menu; its entries without the
# separators: Open, Previous, Next, Slide Show, Zoom, Rotate, Flip,
# Background Color, whose first entry is Black.
probe_area
xdotool mousemove $(((left + right) / 2)) $((top + 40)) click 3
sleep 0.5
xdotool key --delay 150 Down Down Down Down Down Down Down Down Right Down Return
sleep 1
check "stored after choosing White" "16777215" "$(stored)"
check "white at once" "255,255,255" "$(area_colours)"
close_viewer

# Second run: the stored colour is back.
start_viewer
check "second run: white image area" "255,255,255" "$(area_colours)"
check "still stored" "16777215" "$(stored)"
close_viewer

[ "$failures" -eq 0 ] && echo "background_colour: all checks passed"
exit "$failures"
