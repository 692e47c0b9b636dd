#!/usr/bin/env bash
# End to end: the real program, started on the first of three images with a
# one-second slide-show interval stored, plays the folder full screen on S
# and stops on Esc, back in its normal window with the image it stopped on.
#
# It runs inside a Wine virtual desktop of the screen's size: without a
# window manager a bare X window does not take the maximised size, so full
# screen could not be seen there. The images (1600 x 1280, one colour each)
# fill the whole 1280 x 1024 screen once fitted; screenshots (import) are
# read at the four corners and the centre. The stored interval that was there
# before is put back at the end.
set -euo pipefail
value=U2xpZGVTaG93SW50ZXJ2YWw=
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"

keep_setting "$value"
wine reg add "$settings_key" /v "$value" /t REG_SZ /d 1000 /f >/dev/null

/usr/bin/convert -size 1600x1280 xc:'#E60000' "$work/a.png"
/usr/bin/convert -size 1600x1280 xc:'#00C800' "$work/b.png"
/usr/bin/convert -size 1600x1280 xc:'#0000DC' "$work/c.png"

refuse_open_viewer
wine explorer /desktop=PixavoSlideShow,1280x1024 "$exe" /nosplash "$(winepath -w "$work/a.png")" \
  >/dev/null 2>&1 &
viewer=$!
window_found() { xdotool search --name "$title" >/dev/null 2>&1; }
wait_until 60 window_found || { echo "no window" >&2; exit 1; }

colour() {   # colour R G B -> red, green, blue or other
  local r=$1 g=$2 b=$3
  if [ "$r" -gt 200 ] && [ "$g" -lt 40 ] && [ "$b" -lt 40 ]; then echo red
  elif [ "$g" -gt 160 ] && [ "$r" -lt 40 ] && [ "$b" -lt 60 ]; then echo green
  elif [ "$b" -gt 180 ] && [ "$r" -lt 40 ] && [ "$g" -lt 40 ]; then echo blue
  else echo other; fi
}
# What a screenshot shows: the colour of the whole screen when the four
# corners and the centre agree, else "window:" and the centre's colour. The
# pixels are read from the screen's raw bytes, so that a look takes a
# fraction of the interval.
screen() {
  local raw="$work/screen.rgb" centre corners
  import -window root -depth 8 "rgb:$raw"
  at() { colour $(od -An -tu1 -j $((($2 * 1280 + $1) * 3)) -N3 "$raw"); }   # at X Y
  centre="$(at 640 512)"
  corners="$(for p in "3 3" "1276 3" "3 1020" "1276 1020"; do at $p; done | sort -u | tr '\n' ' ')"
  if [ "$corners" = "$centre " ]; then echo "$centre"; else echo "window:$centre"; fi
}
send() {   # send KEY: to the desktop window, which hands it to the viewer
  xdotool search --name "PixavoSlideShow" windowfocus --sync 2>/dev/null || true
  xdotool key "$1"
}

shows() { [ "$(screen)" = "$1" ]; }   # shows WHAT: the screen shows that
wait_until 60 shows window:red
check "before the show: the window with the first image" "window:red" "$(screen)"
send s
full_screen() { [[ "$(screen)" != window:* ]]; }
wait_until 30 full_screen
check "started: the first image fills the screen" "red" "$(screen)"
# One image a second: screenshots until the other two have been seen (at
# most 30 s), each filling the screen.
seen=""
deadline=$((SECONDS + 30))
until { grep -qw green <<<"$seen" && grep -qw blue <<<"$seen"; } || [ "$SECONDS" -ge "$deadline" ]; do
  s="$(screen)"
  case "$s" in red|green|blue) seen="$seen $s" ;; *) seen="$seen not-full-screen:$s" ;; esac
done
echo "seen (count, what):"; tr ' ' '\n' <<<"$seen" | grep . | uniq -c
check "every screenshot full screen" "" "$(tr ' ' '\n' <<<"$seen" | grep -v -E '^(red|green|blue|)$' || true)"
check "green shown" "yes" "$(grep -qw green <<<"$seen" && echo yes || echo no)"
check "blue shown" "yes" "$(grep -qw blue <<<"$seen" && echo yes || echo no)"

send Escape
windowed() { grep -qE '^window:(red|green|blue)$' <<<"$(screen)"; }
wait_until 30 windowed
screen_settled
after="$(screen)"
check "Esc: back in the window, the image kept" "yes" \
  "$(grep -qE '^window:(red|green|blue)$' <<<"$after" && echo yes || echo no)"
check "Esc: still running" "yes" "$(kill -0 "$viewer" 2>/dev/null && echo yes || echo no)"
# Nothing may come: a step would come within the interval of a second.
sleep 1.5
check "stopped: no more steps" "$after" "$(screen)"

# Esc again closes the window, which ends the program.
send Escape
window_closed() { ! window_found; }
wait_until 30 window_closed
check "second Esc closes the window" "" "$(xdotool search --name "$title" 2>/dev/null || true)"

[ "$failures" -eq 0 ] && echo "slide_show: all checks passed"
exit "$failures"
