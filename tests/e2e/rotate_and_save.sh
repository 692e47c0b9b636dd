#!/usr/bin/env bash
# End to end: a camera-style JPEG (an Exif block with the date it was taken
# and orientation 6, and an ICC colour profile), stored 160 x 100, is opened
# in pixavo.exe and shows upright, 100 x 160 and not modified. It is turned
# with Ctrl+R and saved with Ctrl+S: 100 rows cannot be turned block by block
# without cutting the last ones, so it is compressed anew. The file on disk
# is then the turned picture, and it keeps its date and its profile byte for
# byte, with the orientation saying 1 (the pixels are upright now).
#
# The photo is made with ImageMagick and the two segments are put into it by
# perl, byte by byte; the saved file is read back with ImageMagick (size,
# pixels, Exif fields, the profile extracted as a file), never by the
# program's own code. The status bar is read by the probe.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"

# 160 × 100, grey, a red block in the top-left corner.
/usr/bin/convert -size 160x100 xc:'#808080' -fill '#E00000' -draw 'rectangle 0,0 39,29' -quality 95 "$work/plain.jpg"

# A 132-byte RGB display profile: header and an empty tag table.
perl -e '
  my $p = pack("N", 132) . "none" . pack("N", 0x02100000) . "mntrRGB XYZ " . ("\0" x 12) . "acsp";
  $p .= "\0" x (128 - length $p);
  $p .= pack("N", 0);
  print $p;' > "$work/profile.icc"

with_exif "$work/plain.jpg" "$work/photo.jpg" 6 "$work/profile.icc"

exif() { identify -format "%[EXIF:$2]" "$1" 2>/dev/null; }
check "made: date" "2021:07:14 10:20:30" "$(exif "$work/photo.jpg" DateTimeOriginal)"
check "made: orientation" "6" "$(exif "$work/photo.jpg" Orientation)"
/usr/bin/convert "$work/photo.jpg" "$work/before.icc"
check "made: profile" "same" "$(cmp -s "$work/before.icc" "$work/profile.icc" && echo same || echo different)"

open_viewer "$work/photo.jpg"
check "opened upright, not modified" "photo.jpg (100x160)" "$(wait_status "photo.jpg (100x160)")"
xdotool key ctrl+r
check "turned, not yet saved" "photo.jpg (160x100) (Modified)" "$(wait_status "photo.jpg (160x100) (Modified)")"
xdotool key ctrl+s
check "saved" "photo.jpg (160x100)" "$(wait_status "photo.jpg (160x100)")"
xdotool key Escape
wait_ended || { echo "FAILED: Escape did not close the viewer"; exit 1; }

check "size on disk" "160x100" "$(identify -format '%wx%h' "$work/photo.jpg")"
near() { near_pixel "$1" "$2" "$work/photo.jpg" "$3" "$4" 24; }   # near WHAT "R,G,B" X Y (recompressed)
# Upright (a quarter clockwise) and turned a quarter more: the red block went
# from the stored top-left to the bottom-right corner.
near "red block bottom right" "224,0,0" 145 85
near "grey top left" "128,128,128" 15 15
near "grey top right" "128,128,128" 145 15
near "grey bottom left" "128,128,128" 15 85
check "date kept" "2021:07:14 10:20:30" "$(exif "$work/photo.jpg" DateTimeOriginal)"
check "orientation upright" "1" "$(exif "$work/photo.jpg" Orientation)"
/usr/bin/convert "$work/photo.jpg" "$work/after.icc"
check "profile kept" "same" "$(cmp -s "$work/after.icc" "$work/profile.icc" && echo same || echo different)"
check "no temporary file left" "photo.jpg" "$(cd "$work" && ls photo*)"

[ "$failures" -eq 0 ] && echo "rotate_and_save: all checks passed"
exit "$failures"
