#!/usr/bin/env bash
# What a user waits for, measured in the real program under Wine by watching
# the screen: start-up until the picture is on screen, Next, a zoom step, F11,
# and the process's peak memory. Each figure is the min / median / max of
# several runs. Not a test: it prints figures.
#
#   bench/user_waits.sh [--runs N] [--exe PATH] [--only NAME...]
#
# NAME: startup, next, hold (through JPEGs, WebPs and AVIFs), zoom,
# fullscreen, memory; and play (a GIF playing for ten minutes, PLAY_MINUTES),
# which runs only when named.
#
# The pictures are the benchmarks' own 6000 × 4000 photos (pixavo_bench
# --write-inputs), as JPEG (quality 90) and PNG. A screen rectangle inside the
# image area is compared with a reference taken once the screen has settled
# in a first, unmeasured run (bench/screen_probe.c sends the keys through
# XTEST and times until the rectangle matches). Everything runs on a private
# Xvfb inside a Wine virtual desktop of 1280 × 1024; the viewer is started
# with "/nosplash" as the shell's open command starts it, and maximised
# (Alt+Space, X) for everything but start-up. Memory is the peak resident
# size (VmHWM) of the viewer's process, as a multiple of the base (the viewer
# showing a 100 × 100 picture) plus the decoded picture (6000 × 4000 × 3 bytes).
# Like every run (scripts/lib.sh), it has a Wine prefix and an X display of
# its own, and ends only its own programs.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"

runs=7
exe=
only=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --exe) exe=$(realpath "$2"); shift 2 ;;
    --only) shift; while [ $# -gt 0 ] && [[ "$1" != --* ]]; do only+=("$1"); shift; done ;;
    *) echo "usage: $0 [--runs N] [--exe PATH] [--only NAME...]" >&2; exit 2 ;;
  esac
done

"$root/scripts/build" windows >/dev/null || exit 1
[ -n "$exe" ] || exe="$root/build/windows/pixavo.exe"
work="$root/build/bench"
mkdir -p "$work"
wine_env || exit 1
start_xvfb || exit 1
make_run_dir || exit 1
# What this run saw and compares with, and its probe, are its own.
ref_dir="$run_dir/refs"
mkdir -p "$ref_dir"
probe="$run_dir/screen_probe"
gcc -O2 -Wall "$root/bench/screen_probe.c" -lX11 -lXext -lXtst -o "$probe" || exit 1
viewer_pid=
app_key='HKCU\Software\Wine\AppDefaults\pixavo.exe\Explorer'

# The pictures, a folder per scene (a folder is what Next steps through).
inputs="$work/inputs"
exec 8>"$work/inputs.lock"
flock 8   # made once, by the first of runs started together
if [ ! -f "$inputs/.done" ] || [ ! -f "$inputs/play/play.gif" ]; then
  rm -rf "$inputs"; mkdir -p "$inputs/all"
  (cd "$root/build/windows" && wine pixavo_bench.exe --write-inputs "$(winepath -w "$inputs/all")") >/dev/null || exit 1
  mkdir -p "$inputs/jpeg" "$inputs/png" "$inputs/png3" "$inputs/one" "$inputs/onepng" "$inputs/small" "$inputs/smalls"
  cp "$inputs"/all/photo{a,b}.jpg "$inputs/jpeg/"
  cp "$inputs"/all/photo{a,b}.png "$inputs/png/"
  cp "$inputs"/all/photo{a,b,c}.png "$inputs/png3/"
  cp "$inputs/all/photoa.jpg" "$inputs/one/"
  cp "$inputs/all/photoa.png" "$inputs/onepng/"
  cp "$inputs/all/small.jpg" "$inputs/small/"
  cp "$inputs"/all/small{,b}.jpg "$inputs/smalls/"
  mkdir -p "$inputs/held"; cp "$inputs"/all/step?.jpg "$inputs/held/"
  # The newer formats: the same photos as WebP (quality 90) and, at 12 MP,
  # as AVIF; and a 480 x 270 animation of 30 frames 3 hundredths apart.
  mkdir -p "$inputs/webp" "$inputs/avif" "$inputs/play"
  for v in a b; do
    /usr/bin/convert "$inputs/all/photo$v.png" -quality 90 "$inputs/webp/photo$v.webp" || exit 1
    /usr/bin/convert "$inputs/all/photo$v.png" -resize 4000x3000! "$run_dir/photo$v.png" || exit 1
    avifenc --min 20 --max 30 -s 8 "$run_dir/photo$v.png" "$inputs/avif/photo$v.avif" >/dev/null || exit 1
  done
  frames=()
  for f in $(seq 0 29); do
    frames+=(-size 480x270 "radial-gradient:hsl($((f * 12)),90%,55%)-navy" -fill white
             -draw "circle $((16 * f)),135 $((16 * f + 40)),135")
  done
  /usr/bin/convert -delay 3 -loop 0 "${frames[@]}" "$inputs/play/play.gif" || exit 1
  touch "$inputs/.done"
fi
# Held Next through the newer formats: the 24 stepping photos as 24 MP WebPs
# and as 12 MP AVIFs (made once; the AVIFs take a few minutes).
if [ ! -f "$inputs/.held-newer" ]; then
  mkdir -p "$inputs/heldwebp" "$inputs/heldavif"
  for f in "$inputs"/held/step?.jpg; do
    v=$(basename "$f" .jpg)
    /usr/bin/convert "$f" -quality 90 "$inputs/heldwebp/$v.webp" || exit 1
    /usr/bin/convert "$f" -resize 4000x3000! "$run_dir/$v.png" || exit 1
    avifenc --min 20 --max 30 -s 8 "$run_dir/$v.png" "$inputs/heldavif/$v.avif" >/dev/null || exit 1
    rm -f "$run_dir/$v.png"
  done
  touch "$inputs/.held-newer"
fi
flock -u 8

# The rectangle watched: inside the image area of the window as it starts
# (centred, designed size) and of the maximised window.
start_area=(340 330 600 340)
area=(140 120 1000 700)

# A desktop that stays for the whole run, so each start is the viewer's own;
# Wine puts the viewer (and only it) on that desktop while the run lasts.
wineserver -p >/dev/null 2>&1
wine reg add "$app_key" /v Desktop /d Bench /f >/dev/null 2>&1
wine explorer /desktop=Bench,1280x1024 >/dev/null 2>&1 &
desktop_up() { xdotool search --name '^Bench' >/dev/null 2>&1; }
wait_until 60 desktop_up || { echo "the desktop did not show" >&2; exit 1; }

viewer_running() { [ -n "$viewer_pid" ] && kill -0 "$viewer_pid" 2>/dev/null; }

# The process of the viewer just started: Wine names it after the exe, its
# first argument is the exe's path, and it runs in this run's prefix.
find_viewer() {
  local pid
  for _ in $(seq 200); do
    for pid in $(pgrep -x pixavo.exe 2>/dev/null); do
      if [ "$(tr '\0' '\n' < "/proc/$pid/cmdline" 2>/dev/null | head -1)" = "$exe" ] &&
        tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
        viewer_pid=$pid; return 0
      fi
    done
    sleep 0.05
  done
  return 1
}

start_viewer() {   # start_viewer FILE: returns at once
  wine "$exe" /nosplash "$2" >/dev/null 2>&1 &
  find_viewer
}

start_viewer_at() { start_viewer "$1" "$(winepath -w "$1")"; }

stop_viewer() {
  viewer_running || { viewer_pid=; return; }
  "$probe" key Pause
  for _ in $(seq 100); do viewer_running || break; sleep 0.05; done
  viewer_running && kill "$viewer_pid" 2>/dev/null
  for _ in $(seq 40); do viewer_running || break; sleep 0.05; done
  viewer_pid=
}

settle() { "$probe" settle "${area[@]}" "${1:-1500}" 30000; }
grab() { "$probe" grab "$ref_dir/$1.ppm" "${area[@]}"; }
# The window menu is waited for (a busy machine opens it late, and the x
# would go to the viewer instead).
maximise() { "$probe" key alt+space; settle 700; "$probe" key x; settle; }
# wait_for REF KEY: the milliseconds from the key to the reference on screen.
wait_for() { "$probe" wait "$ref_dir/$1.ppm" "${area[@]}" 20000 "$2"; }

declare -A figures
record() { figures[$1]+="$2 "; }

wanted() {
  [ ${#only[@]} -eq 0 ] && return 0
  local n; for n in "${only[@]}"; do [ "$n" = "$1" ] && return 0; done; return 1
}

measure_startup() {   # measure_startup NAME FILE
  local name=$1 file=$2 t0 ms windows
  windows=$(winepath -w "$file")
  start_viewer "$file" "$windows"; "$probe" settle "${start_area[@]}" 2000 30000
  "$probe" grab "$ref_dir/$name.ppm" "${start_area[@]}"; stop_viewer
  for _ in $(seq "$runs"); do
    # The screen must no longer show the picture of the run before.
    for _ in $(seq 100); do
      "$probe" wait "$ref_dir/$name.ppm" "${start_area[@]}" 0 --since "$(date +%s%N)" >/dev/null || break
      sleep 0.05
    done
    sleep 0.5
    t0=$(date +%s%N)
    start_viewer "$file" "$windows"
    ms=$("$probe" wait "$ref_dir/$name.ppm" "${start_area[@]}" 20000 --since "$t0") && record "$name" "$ms"
    settle; stop_viewer
  done
}

measure_next() {   # measure_next NAME FOLDER_FILE PAUSE
  local name=$1 file=$2 pause=$3 ms
  start_viewer_at "$file"; settle; maximise
  grab "$name-a"; "$probe" key n; settle; grab "$name-b"; "$probe" key n; settle
  # Both pictures must have been seen, or every wait would end at once.
  if cmp -s "$ref_dir/$name-a.ppm" "$ref_dir/$name-b.ppm"; then
    echo "$name: the two pictures looked the same on screen; not measured" >&2
    stop_viewer; return
  fi
  for i in $(seq "$runs"); do
    for to in b a; do
      sleep "$pause"
      ms=$(wait_for "$name-$to" n) && record "$name" "$ms"
    done
  done
  stop_viewer
}

measure_zoom() {
  local ms
  start_viewer_at "$inputs/one/photoa.jpg"; settle; maximise
  "$probe" key ctrl+a; settle; grab z100
  "$probe" key plus; settle; grab z110
  "$probe" key minus; settle
  "$probe" key minus; settle; grab z90
  "$probe" key minus; settle; grab z80
  "$probe" key plus; settle; "$probe" key plus; settle
  for _ in $(seq "$runs"); do
    ms=$(wait_for z110 plus) && record "zoom 100->110" "$ms"; sleep 0.3
    ms=$(wait_for z100 minus) && record "zoom 110->100" "$ms"; sleep 0.3
    ms=$(wait_for z90 minus) && record "zoom 100->90" "$ms"; sleep 0.3
    ms=$(wait_for z80 minus) && record "zoom 90->80" "$ms"; sleep 0.3
    ms=$(wait_for z90 plus) && record "zoom 80->90" "$ms"; sleep 0.3
    ms=$(wait_for z100 plus) && record "zoom 90->100" "$ms"; sleep 0.3
  done
  stop_viewer
}

measure_fullscreen() {
  local ms
  start_viewer_at "$inputs/one/photoa.jpg"; settle; maximise; grab windowed
  "$probe" key F11; settle; grab fullscreen; "$probe" key F11; settle
  for _ in $(seq "$runs"); do
    ms=$(wait_for fullscreen F11) && record "F11 to full screen" "$ms"; sleep 0.5
    ms=$(wait_for windowed F11) && record "F11 back" "$ms"; sleep 0.5
  done
  stop_viewer
}

# Next held down as a keyboard repeats it: 20 presses 33 ms apart through
# twenty-four photos of one kind (fewer would let the picture asked for last
# be one already shown while the key was held). The pictures as the program
# shows them, in its own order, are the references: how many of them were
# shown while the key was held, and how long after the last press the picture
# it asks for was on screen. For JPEGs, memory is the peak while stepping so.
measure_hold() {   # measure_hold KIND FIRST_FILE
  local kind=$1 first=$2 refs=() at=0 out i presses=20 count=24 decoded=$((6000 * 4000 * 3 / 1024)) base
  local label="held Next ($kind)"
  if [ "$kind" = JPEG ]; then
    label="held Next"
    start_viewer_at "$inputs/small/small.jpg"; settle; maximise; base=$(peak_kib); stop_viewer
  fi
  start_viewer_at "$first"; settle; maximise
  for i in $(seq 0 $((count - 1))); do
    grab "held-$i"; refs+=("$ref_dir/held-$i.ppm"); "$probe" key n; settle 3000
  done
  # Every picture seen once, and the first one back: or the references (and
  # every figure) would be off.
  grab held-now
  if [ "$(md5sum "${refs[@]}" | cut -d' ' -f1 | sort -u | wc -l)" -ne $count ] ||
     ! cmp -s "$ref_dir/held-now.ppm" "${refs[0]}"; then
    rm -rf "$work/unmeasured"; cp -r "$ref_dir" "$work/unmeasured"
    echo "$label: the pictures were not each seen once on screen; not measured (what was seen: $work/unmeasured)" >&2
    stop_viewer; return
  fi
  for _ in $(seq "$runs"); do
    sleep 1.5
    # shellcheck disable=SC2086
    out=$("$probe" hold "${area[@]}" n $presses 33 20000 $(((at + presses) % count)) "${refs[@]}") ||
      { echo "$label: $out" >&2; break; }
    at=$(((at + presses) % count))
    read -r changes span final <<< "$out"
    record "$label: last picture after last press" "$final"
    record "$label: pictures shown a second" "$(awk -v c="$changes" -v s="$span" 'BEGIN{printf "%.1f", c*1000/s}')"
    settle
  done
  [ "$kind" = JPEG ] &&
    record "memory holding Next through JPEGs" "$(awk -v p="$(peak_kib)" -v b="$base" -v d="$decoded" 'BEGIN{printf "%.2f", p/(b+d)}')"
  stop_viewer
}

# A GIF of 30 frames a second playing for a while (PLAY_MINUTES, 10 by
# default) in the window as it starts: the viewer's share of one core (its
# own process, not the X server's drawing) and its resident memory after the
# first minute and at the end.
measure_play() {
  local minutes=${PLAY_MINUTES:-10} ticks0 ticks1 hz rss1 rss2
  hz=$(getconf CLK_TCK)
  start_viewer_at "$inputs/play/play.gif"; sleep 60
  ticks0=$(awk '{print $14 + $15}' "/proc/$viewer_pid/stat")
  rss1=$(awk '/^VmRSS:/ {print $2}' "/proc/$viewer_pid/status")
  sleep $((minutes * 60 - 60))
  ticks1=$(awk '{print $14 + $15}' "/proc/$viewer_pid/stat")
  rss2=$(awk '/^VmRSS:/ {print $2}' "/proc/$viewer_pid/status")
  record "GIF playing: % of a core" "$(awk -v t=$((ticks1 - ticks0)) -v h="$hz" -v s=$((minutes * 60 - 60)) 'BEGIN{printf "%.1f", 100 * t / h / s}')"
  record "GIF playing: MiB after 1 min" "$(awk -v r="$rss1" 'BEGIN{printf "%.1f", r/1024}')"
  record "GIF playing: MiB after $minutes min" "$(awk -v r="$rss2" 'BEGIN{printf "%.1f", r/1024}')"
  stop_viewer
}

peak_kib() { awk '/^VmHWM:/ {print $2}' "/proc/$viewer_pid/status"; }

measure_memory() {
  local base jpeg png steps
  for _ in $(seq "${memory_runs:-3}"); do
    start_viewer_at "$inputs/small/small.jpg"; settle; maximise; base=$(peak_kib); stop_viewer
    start_viewer_at "$inputs/one/photoa.jpg"; settle; maximise
    "$probe" key ctrl+a; settle; "$probe" key plus; settle; jpeg=$(peak_kib); stop_viewer
    start_viewer_at "$inputs/onepng/photoa.png"; settle; maximise; png=$(peak_kib); stop_viewer
    start_viewer_at "$inputs/png3/photoa.png"; settle; maximise
    for _ in 1 2 3 4 5 6; do "$probe" key n; settle 2000; done
    steps=$(peak_kib); stop_viewer
    # decoded picture: 6000 x 4000 x 3 bytes, in KiB
    local decoded=$((6000 * 4000 * 3 / 1024))
    record "memory base (MiB)" "$(awk -v b="$base" 'BEGIN{printf "%.1f", b/1024}')"
    record "memory JPEG at 110 %" "$(awk -v p="$jpeg" -v b="$base" -v d="$decoded" 'BEGIN{printf "%.2f", p/(b+d)}')"
    record "memory PNG at fit" "$(awk -v p="$png" -v b="$base" -v d="$decoded" 'BEGIN{printf "%.2f", p/(b+d)}')"
    record "memory stepping PNG to PNG" "$(awk -v p="$steps" -v b="$base" -v d="$decoded" 'BEGIN{printf "%.2f", p/(b+d)}')"
  done
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
wanted startup && measure_startup "start-up, 24 MP JPEG" "$inputs/one/photoa.jpg"
wanted startup && measure_startup "start-up, 100 x 100 JPEG" "$inputs/small/small.jpg"
# What any step costs here (key, paint, the screen): the floor of the others.
wanted next && measure_next "Next to a 100 x 100 JPEG" "$inputs/smalls/small.jpg" 0.3
wanted next && measure_next "Next to a 24 MP JPEG after 1.5 s" "$inputs/jpeg/photoa.jpg" 1.5
wanted next && measure_next "Next to a 24 MP JPEG at once" "$inputs/jpeg/photoa.jpg" 0
wanted next && measure_next "Next to a 24 MP PNG after 1.5 s" "$inputs/png/photoa.png" 1.5
wanted next && measure_next "Next to a 24 MP PNG at once" "$inputs/png/photoa.png" 0
wanted next && measure_next "Next to a 24 MP WebP after 1.5 s" "$inputs/webp/photoa.webp" 1.5
wanted next && measure_next "Next to a 24 MP WebP at once" "$inputs/webp/photoa.webp" 0
wanted next && measure_next "Next to a 12 MP AVIF after 1.5 s" "$inputs/avif/photoa.avif" 1.5
wanted next && measure_next "Next to a 12 MP AVIF at once" "$inputs/avif/photoa.avif" 0
wanted hold && measure_hold JPEG "$inputs/held/stepa.jpg"
wanted hold && measure_hold "24 MP WebP" "$inputs/heldwebp/stepa.webp"
wanted hold && measure_hold "12 MP AVIF" "$inputs/heldavif/stepa.avif"
wanted zoom && measure_zoom
wanted fullscreen && measure_fullscreen
wanted memory && measure_memory
# Ten minutes long: only when named.
[ ${#only[@]} -gt 0 ] && wanted play && measure_play
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

printf '\n%-34s %8s %8s %8s %s\n' "what (ms, or a multiple)" min median max runs
for key in "${!figures[@]}"; do
  # shellcheck disable=SC2086
  echo "$key|$(printf '%s\n' ${figures[$key]} | sort -g | awk '{v[NR]=$1} END {printf "%s %s %s %d", v[1], (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2), v[NR], NR}')"
done | sort | awk -F'|' '{split($2, f, " "); printf "%-34s %8s %8s %8s %s\n", $1, f[1], f[2], f[3], f[4]}'
