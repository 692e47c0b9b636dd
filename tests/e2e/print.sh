#!/usr/bin/env bash
# End to end: Ctrl+P in pixavo.exe with the system's print dialog confirmed
# prints the current image through the default printer, a PDF printer of the
# private print server (scripts/test's, or one started here). For a wide PNG,
# a tall JPEG and an icon, the PDF named after the job title is turned into a
# picture at the printer's resolution with pdftoppm, and the image must sit
# at the top-left corner of the printable area, in the page orientation that
# suits it, at the size that fills the area with its proportions kept (the
# icon at its natural size), in its own colours. Then, with the printer
# removed, Ctrl+P shows "There is no default printer currently selected" in
# the error dialog and prints nothing.
#
# The page's size in device pixels comes from the printer's driver, read by
# a probe in the Windows test program (PrintProbe, disabled in normal runs);
# the error dialog's text is read by another.
set -euo pipefail
own_cups= printer_removed=
e2e_restore() {
  rm -f "${pdfs:-/nonexistent}"/*"_${tag:-none}."*.pdf
  if [ -n "$own_cups" ]; then stop_cups; elif [ -n "$printer_removed" ]; then add_printer; fi
}
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"
if [ -z "${CUPS_SERVER:-}" ]; then start_cups; own_cups=1; fi

tag="$$$RANDOM"     # the job titles of this run, not an earlier one's
pdfs="$(pdf_output_dir)"
/usr/bin/convert -size 200x150 xc:'#E60000' -size 200x150 xc:'#00C800' +append \
  \( -size 200x150 xc:'#0000DC' -size 200x150 xc:'#E6C800' +append \) -append "$work/wide $tag.png"
/usr/bin/convert -size 75x100 xc:'#E60000' -size 75x100 xc:'#00C800' +append \
  \( -size 75x100 xc:'#0000DC' -size 75x100 xc:'#E6C800' +append \) -append -quality 95 "$work/tall $tag.jpg"
/usr/bin/convert -size 32x32 xc:'#0000DC' "$work/icon $tag.ico"

probe() { wine "$probe" --gtest_also_run_disabled_tests --gtest_filter="PrintProbe.$1" 2>&1 | tr -d '\r'; }
report="$(probe DISABLED_ReadDefaultPrinter)"
read -r lw lh lx ly dpi < <(sed -n 's/^page landscape: //p' <<<"$report")
read -r pw ph px py _ < <(sed -n 's/^page portrait: //p' <<<"$report")
[ -n "${ph:-}" ] || { echo "printer probe failed:"; echo "$report"; exit 1; }
echo "printable area: landscape ${lw}x${lh}+${lx}+${ly}, portrait ${pw}x${ph}+${px}+${py} at $dpi dpi"

refuse_open_viewer
start_viewer "$(winepath -w "$work/wide $tag.png")"
main="$(xdotool search --onlyvisible --name "$title" | head -1)"

# Each image of the folder in turn: print, then the next image.
for _ in 1 2 3; do
  xdotool key --window "$main" ctrl+p
  dialog="$(wait_window '^Print$')"
  [ -n "$dialog" ] || { echo "FAILED: no print dialog"; exit 1; }
  xdotool key --window "$dialog" Return
  wait_gone '^Print$'
  xdotool key --window "$main" n
done

pdf_of() {   # pdf_of NAME: the PDF of the job that printed NAME, once written
  local stem="Pixavo_Image_Bowser_-_${1// /_}" f
  for _ in $(seq 300); do
    f="$(ls "$pdfs/$stem"*.pdf 2>/dev/null | head -1)"
    # Complete once the PDF's trailer is there.
    [ -n "$f" ] && tail -c 64 "$f" | grep -q '%%EOF' && { echo "$f"; return 0; }
    sleep 0.1
  done
}

near() { near_pixel "$1" "$2" "$3" "$4" "$5" 12; }   # near WHAT "R,G,B" FILE X Y

within() {   # within WHAT EXPECTED ACTUAL TOLERANCE
  local d=$(($2 - $3)); d=${d#-}
  if [ "$d" -le "$4" ]; then echo "ok: $1 ($3)"; else echo "FAILED: $1: expected $2 (±$4), got $3"; failures=$((failures + 1)); fi
}

# The printed size: scaled until it touches the right or bottom edge of the
# printable area, truncated.
fitted() {   # fitted W H PW PH -> "w h"
  awk -v W="$1" -v H="$2" -v PW="$3" -v PH="$4" 'BEGIN {
    w = W; h = H; r = w / h
    if (PW > w && PH > h) { if (w >= h) { w = PW; h = w / r } else { h = PH; w = h * r } }
    if (w > PW) { w = PW; h = w / r }
    if (h > PH) { h = PH; w = h * r }
    printf "%d %d\n", int(w), int(h) }'
}

# check_page NAME W H ORIENTATION KIND: the page of the job that printed NAME.
check_page() {
  local name=$1 W=$2 H=$3 orientation=$4 kind=$5 pdf page aw ah ox oy ew eh
  pdf="$(pdf_of "$name")"
  [ -n "$pdf" ] || { echo "FAILED: no PDF for $name in $pdfs"; failures=$((failures + 1)); return; }
  page="$work/page-$kind"
  pdftoppm -r "$dpi" -png -singlefile "$pdf" "$page"
  page="$page.png"
  read -r width height < <(/usr/bin/convert "$page" -format '%w %h\n' info:)
  if [ "$orientation" = landscape ]; then aw=$lw ah=$lh ox=$lx oy=$ly; else aw=$pw ah=$ph ox=$px oy=$py; fi
  check "$kind: one page" "Pages: 1" "$(pdfinfo "$pdf" | grep -o 'Pages: *[0-9]*' | tr -s ' ')"
  check "$kind: $orientation page" "$([ "$orientation" = landscape ] && echo wide || echo tall)" \
    "$([ "$width" -gt "$height" ] && echo wide || echo tall)"
  # The bounding box of everything not white: the image.
  read -r bw bh bx by < <(/usr/bin/convert "$page" -fuzz 6% -format '%@\n' info: | sed -E 's/[x+]/ /g')
  if [ "$kind" = icon ]; then ew=$W eh=$H; else read -r ew eh < <(fitted "$W" "$H" "$aw" "$ah"); fi
  echo "$kind: page ${width}x${height}, image ${bw}x${bh}+${bx}+${by}, expected ${ew}x${eh}+${ox}+${oy}"
  within "$kind: left edge" "$ox" "$bx" 1
  within "$kind: top edge" "$oy" "$by" 1
  within "$kind: width" "$ew" "$bw" 2
  within "$kind: height" "$eh" "$bh" 2
  if [ "$kind" = icon ]; then
    near "$kind: middle" "0,0,220" "$page" $((bx + bw / 2)) $((by + bh / 2))
  else
    near "$kind: top-left quadrant" "230,0,0" "$page" $((bx + bw / 4)) $((by + bh / 4))
    near "$kind: top-right quadrant" "0,200,0" "$page" $((bx + 3 * bw / 4)) $((by + bh / 4))
    near "$kind: bottom-left quadrant" "0,0,220" "$page" $((bx + bw / 4)) $((by + 3 * bh / 4))
    near "$kind: bottom-right quadrant" "230,200,0" "$page" $((bx + 3 * bw / 4)) $((by + 3 * bh / 4))
  fi
  # Blank paper beside the image, where the page goes on.
  if [ $((bx + bw + 3)) -lt "$width" ]; then
    near "$kind: paper right of the image" "255,255,255" "$page" $((bx + bw + 3)) $((by + 2))
  fi
  if [ $((by + bh + 3)) -lt "$height" ]; then
    near "$kind: paper below the image" "255,255,255" "$page" $((bx + 2)) $((by + bh + 3))
  fi
}

check_page "wide $tag.png" 400 300 landscape png
check_page "tall $tag.jpg" 150 200 portrait jpeg
check_page "icon $tag.ico" 32 32 landscape icon

# No printer at all: the message, and nothing printed. The viewer is started
# again, as a program learns the system's printers when it starts.
kill "$viewer"; wait "$viewer" 2>/dev/null || true; viewer=
remove_printer; printer_removed=1
printed_before="$(ls "$pdfs" | grep -c "_${tag}\." || true)"
start_viewer "$(winepath -w "$work/wide $tag.png")"
main="$(xdotool search --onlyvisible --name "$title" | head -1)"
xdotool key --window "$main" ctrl+p
error="$(wait_window '^Error$')"
[ -n "$error" ] || { echo "FAILED: no error dialog"; exit 1; }
check "no printer: message" "error: There is no default printer currently selected" \
  "$(probe DISABLED_ReadErrorDialog | grep '^error: ')"
check "no printer: no print dialog" "" "$(xdotool search --onlyvisible --name '^Print$' 2>/dev/null || true)"
xdotool key --window "$error" Return
wait_gone '^Error$'
# Nothing may come: a wrong job's PDF would be written within a second.
sleep 1
check "no printer: nothing printed" "$printed_before" "$(ls "$pdfs" | grep -c "_${tag}\." || true)"

[ "$failures" -eq 0 ] && echo "print: all checks passed"
exit "$failures"
