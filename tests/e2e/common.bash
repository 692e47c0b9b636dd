# Sourced by the end-to-end scripts (not a check of its own): the build, the
# Wine environment and display, a work folder removed at exit, the viewer
# started and its window awaited, the probe, waits for the states a script
# needs, pixel colours and check lines.
#
# Uses the Wine prefix and DISPLAY of the run that started the script
# (scripts/test), or makes its own: a copy of the prepared prefix and a
# private Xvfb (see scripts/lib.sh). PIXAVO_BUILD chooses the build folder
# (default build/windows). A script that has more to undo at exit defines
# e2e_restore before it sources this file; a viewer setting a script changes
# is put back at exit through keep_setting.
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

build="${PIXAVO_BUILD:-$root/build/windows}"
exe="$build/pixavo.exe"
probe="$build/pixavo_win_tests.exe"
wine_env

# The viewer's settings (text values named in Base64) as they were before.
settings_key='HKCU\Software\Corvane\Pixavo Image Browser'
kept_names=() kept_texts=() kept_present=()
setting() {   # setting NAME: the stored text, or nothing
  wine reg query "$settings_key" /v "$1" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$1 *REG_SZ *//p"
}
keep_setting() {   # keep_setting NAME: put back at exit as it is now
  kept_names+=("$1")
  if wine reg query "$settings_key" /v "$1" >/dev/null 2>&1; then
    kept_present+=(1) kept_texts+=("$(setting "$1")")
  else
    kept_present+=(0) kept_texts+=("")
  fi
}
restore_settings() {
  local i
  for i in "${!kept_names[@]}"; do
    if [ "${kept_present[i]}" = 1 ]; then
      wine reg add "$settings_key" /v "${kept_names[i]}" /t REG_SZ /d "${kept_texts[i]}" /f >/dev/null 2>&1 || true
    else
      wine reg delete "$settings_key" /v "${kept_names[i]}" /f >/dev/null 2>&1 || true
    fi
  done
}

title="Pixavo Image Browser by Corvane"
work="$(mktemp -d)"
viewer=
cleanup() {
  [ -n "$viewer" ] && kill "$viewer" 2>/dev/null || true
  [ -n "$viewer" ] && wait "$viewer" 2>/dev/null || true
  if declare -F e2e_restore >/dev/null; then e2e_restore; fi
  restore_settings
  rm -rf "$work"
}
at_exit cleanup
if [ -z "${DISPLAY:-}" ]; then start_xvfb; fi

# Any viewer left from an earlier run would answer the probe instead.
refuse_open_viewer() {
  if xdotool search --name "$title" >/dev/null 2>&1; then
    echo "a Pixavo window is already open on $DISPLAY" >&2; exit 1
  fi
}

# wait_window NAME: the id of the visible window of that name (a pattern)
# once it shows; nothing if none has shown after 30 s.
wait_window() {
  local deadline=$((SECONDS + 30))
  until xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 | grep .; do
    [ "$SECONDS" -ge "$deadline" ] && return 0
    sleep 0.1
  done
}
# wait_gone NAME: once no visible window has that name, at most 30 s on.
window_gone() { ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
wait_gone() { wait_until 30 window_gone "$1" || true; }
# wait_ended: once the viewer's process has ended, at most 30 s on.
viewer_ended() { ! kill -0 "$viewer" 2>/dev/null; }
wait_ended() {
  wait_until 30 viewer_ended || return 1
  wait "$viewer" 2>/dev/null || true
  viewer=
}

# start_viewer [ARGUMENT...]: /nosplash and the arguments; returns once the
# window shows and the screen has settled.
start_viewer() {
  wine "$exe" /nosplash "$@" >/dev/null 2>&1 &
  viewer=$!
  [ -n "$(wait_window "$title")" ] || { echo "no window" >&2; exit 1; }
  screen_settled
}

# open_viewer FILE: no viewer open before, then one started on FILE, its
# window holding the keyboard.
open_viewer() {
  refuse_open_viewer
  start_viewer "$(winepath -w "$1")"
  xdotool windowfocus --sync "$(xdotool search --onlyvisible --name "$title" | head -1)" 2>/dev/null || true
}

# What the probe in the Windows test program (E2EProbe, disabled in normal
# runs) reads from the running viewer.
probe_report() {
  wine "$probe" --gtest_also_run_disabled_tests --gtest_filter='E2EProbe.*' 2>&1 | tr -d '\r'
}
# The text of the status bar's second panel.
status_text() { probe_report | sed -n 's/^status: //p'; }
# wait_text TEXT COMMAND...: what the command prints, once that is TEXT or
# after 30 s.
wait_text() {
  local want=$1 text deadline=$((SECONDS + 30))
  shift
  until text="$("$@")"; [ "$text" = "$want" ] || [ "$SECONDS" -ge "$deadline" ]; do sleep 0.2; done
  echo "$text"
}
wait_status() { wait_text "$1" status_text; }        # wait_status TEXT
wait_setting() { wait_text "$2" setting "$1"; }      # wait_setting NAME TEXT

pixel() {   # pixel FILE X Y -> "R,G,B" (8 bit)
  /usr/bin/convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | tail -1 |
    sed -E 's/.*\(([0-9]+),([0-9]+),([0-9]+).*/\1,\2,\3/'
}

near_pixel() {   # near_pixel WHAT "R,G,B" FILE X Y TOLERANCE: each channel within TOLERANCE
  local got; got="$(pixel "$3" "$4" "$5")"
  local IFS=,; read -r r g b <<<"$2"; read -r R G B <<<"$got"
  local d=0 v
  for v in $((r - R)) $((g - G)) $((b - B)); do v=${v#-}; [ "$v" -gt "$d" ] && d=$v; done
  if [ "$d" -le "$6" ]; then echo "ok: $1 ($got)"; else echo "FAILED: $1 at $4,$5: expected $2, got $got"; failures=$((failures + 1)); fi
}

# The colour of the screen at X,Y (a screenshot in $work/shot.png).
screen_pixel() { import -window root "$work/shot.png" && pixel "$work/shot.png" "$1" "$2"; }
screen_near() {   # screen_near X Y TOLERANCE "R,G,B": each channel within TOLERANCE
  local IFS=, r g b R G B v
  read -r r g b <<<"$4"; read -r R G B <<<"$(screen_pixel "$1" "$2")"
  for v in $((r - R)) $((g - G)) $((b - B)); do [ "${v#-}" -le "$3" ] || return 1; done
}
shows_at() {   # shows_at X Y TOLERANCE WHAT "R,G,B": a check that the screen shows it there within 10 s
  if wait_until 10 screen_near "$1" "$2" "$3" "$5"; then echo "ok: $4"
  else echo "FAILED: $4: expected $5, got $(screen_pixel "$1" "$2")"; failures=$((failures + 1)); fi
}

failures=0
check() {   # check WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAILED: $1: expected '$2', got '$3'"; failures=$((failures + 1)); fi
}

# with_exif IN.jpg OUT.jpg ORIENTATION [PROFILE.icc]: the JPEG with an Exif
# block (little-endian TIFF: IFD0 with the orientation and a link to the Exif
# directory, which holds DateTimeOriginal 2021:07:14 10:20:30) and, given a
# profile, an ICC segment, put after the JFIF header byte by byte.
with_exif() {
  perl -e '
    my ($jpeg, $orientation, $icc) = @ARGV;
    local $/; open my $j, "<:raw", $jpeg or die; my $data = <$j>;
    my $date = "2021:07:14 10:20:30\0";
    my $tiff = "II" . pack("v", 42) . pack("V", 8);
    $tiff .= pack("v", 2);
    $tiff .= pack("vvV", 0x0112, 3, 1) . pack("vv", $orientation, 0);
    $tiff .= pack("vvVV", 0x8769, 4, 1, 38);                  # Exif directory
    $tiff .= pack("V", 0);
    $tiff .= pack("v", 1);                                     # at 38
    $tiff .= pack("vvVV", 0x9003, 2, 20, 56);                 # DateTimeOriginal
    $tiff .= pack("V", 0);
    $tiff .= $date;                                            # at 56
    my $exif = "Exif\0\0" . $tiff;
    my $segments = "\xFF\xE1" . pack("n", length($exif) + 2) . $exif;
    if (defined $icc) {
      open my $i, "<:raw", $icc or die; my $profile = <$i>;
      my $chunk = "ICC_PROFILE\0" . chr(1) . chr(1) . $profile;
      $segments .= "\xFF\xE2" . pack("n", length($chunk) + 2) . $chunk;
    }
    my $jfif = 4 + unpack("n", substr($data, 4, 2));
    print substr($data, 0, $jfif) . $segments . substr($data, $jfif);' "$1" "$3" "${@:4}" > "$2"
}
