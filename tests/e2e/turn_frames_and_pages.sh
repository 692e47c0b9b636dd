#!/usr/bin/env bash
# End to end: an animated WebP (three lossless frames of 100, 200 and 300 ms,
# shown twice) and a TIFF of four pages (true colour LZW, 2-bit palette LZW,
# bilevel CCITT Group 4, grey Deflate), each 400 x 300 with a red block in
# its top-left corner, are opened in pixavo.exe, turned with Ctrl+R and left
# with N. Both are saved without a question, and the files on disk hold
# every frame and page turned: the animation with its timing, loop count and
# lossless frames, each page in its own kind of pixels and compression.
#
# The samples are made by ImageMagick, img2webp and tiffcp; the saved files
# are read by webpmux, dwebp, tiffinfo and ImageMagick, never by the
# program's own code. The status bar is read by the probe.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"

mkdir "$work/anim" "$work/pages"
for shade in 200 150 100; do
  /usr/bin/convert -size 400x300 xc:"rgb($shade,$shade,$shade)" -fill '#E00000' -draw 'rectangle 0,0 74,74' \
                   "$work/f$shade.png"
done
img2webp -loop 2 -lossless -d 100 "$work/f200.png" -d 200 "$work/f150.png" -d 300 "$work/f100.png" \
         -o "$work/anim/anim.webp" >/dev/null 2>&1
/usr/bin/convert "$work/f200.png" -type TrueColor -compress LZW "$work/p1.tif"
/usr/bin/convert "$work/f200.png" -compress LZW "$work/p2.tif"
/usr/bin/convert "$work/f200.png" -threshold 50% -monochrome -compress Group4 "$work/p3.tif"
/usr/bin/convert "$work/f150.png" -colorspace Gray -compress Zip "$work/p4.tif"
tiffcp "$work/p1.tif" "$work/p2.tif" "$work/p3.tif" "$work/p4.tif" "$work/pages/pages.tif"
for folder in anim pages; do /usr/bin/convert -size 40x30 xc:white "$work/$folder/z.bmp"; done

# What tiffinfo says of each page: "width x height, bits, compression, photometric".
pages() {
  tiffinfo "$1" 2>/dev/null | awk '
    /Image Width/ { size = $3 "x" $6 }
    /Bits\/Sample/ { bits = $2 }
    /Compression Scheme/ { sub(/.*Scheme: /, ""); compression = $0 }
    /Photometric/ { sub(/.*Interpretation: /, ""); print size ", " bits ", " compression ", " $0 }'
}
made="400x300, 8, LZW, RGB color
400x300, 2, LZW, palette color (RGB from colormap)
400x300, 1, CCITT Group 4, min-is-white
400x300, 8, AdobeDeflate, min-is-black"
check "made: pages" "$made" "$(pages "$work/pages/pages.tif")"

turn_and_leave() {   # turn_and_leave FOLDER NAME STATUS-BEFORE STATUS-TURNED
  open_viewer "$work/$1/$2"
  check "$2 opened" "$3" "$(wait_status "$3")"
  xdotool key ctrl+r
  check "$2 turned" "$4" "$(wait_status "$4")"
  xdotool key n
  check "$2 left without a question" "z.bmp (40x30)" "$(wait_status "z.bmp (40x30)")"
  xdotool key Escape
  wait_ended || { echo "FAILED: Escape did not close the viewer"; exit 1; }
}

turn_and_leave anim anim.webp "anim.webp (400x300)" "anim.webp (300x400) (Modified)"
info="$(webpmux -info "$work/anim/anim.webp")"
check "canvas turned" "300 x 400" "$(echo "$info" | sed -n 's/^Canvas size: //p')"
check "loop count" "2" "$(echo "$info" | sed -n 's/.*Loop Count : //p')"
check "frames: durations and compression" "100 lossless
200 lossless
300 lossless" "$(echo "$info" | awk '/^ *[0-9]+:/ { print $7, $NF }')"
webpmux -get frame 1 "$work/anim/anim.webp" -o "$work/first.webp" >/dev/null 2>&1
dwebp "$work/first.webp" -o "$work/first.png" >/dev/null 2>&1
near() { near_pixel "$1" "$2" "$3" "$4" "$5" 4; }   # near WHAT "R,G,B" FILE X Y
near "first frame: red block top right" "224,0,0" "$work/first.png" 290 10
near "first frame: grey top left" "200,200,200" "$work/first.png" 10 10

turn_and_leave pages pages.tif "pages.tif (400x300) (page 1 of 4)" "pages.tif (300x400) (page 1 of 4) (Modified)"
check "every page turned, in its own pixels and compression" "${made//400x300/300x400}" \
      "$(pages "$work/pages/pages.tif")"
for page in 0 1 2 3; do
  /usr/bin/convert "$work/pages/pages.tif[$page]" -type TrueColor "$work/page$page.png"
done
near "page 1: red block top right" "224,0,0" "$work/page0.png" 290 10
near "page 2: red block top right" "224,0,0" "$work/page1.png" 290 10
near "page 3: black block top right" "0,0,0" "$work/page2.png" 290 10
near "page 3: white top left" "255,255,255" "$work/page2.png" 10 10
check "no temporary file left" "pages.tif z.bmp" "$(cd "$work/pages" && echo *)"

[ "$failures" -eq 0 ] && echo "turn_frames_and_pages: all checks passed"
exit "$failures"
