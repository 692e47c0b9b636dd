#!/usr/bin/env bash
# End to end: a camera-style JPEG (an Exif block with the date it was taken
# and orientation 6, and an ICC colour profile) is opened in pixavo.exe,
# turned with Ctrl+R and saved with Ctrl+S. The file on disk is then the
# turned picture, and it keeps its date and its profile byte for byte, with
# the orientation saying 1 (the pixels are upright now).
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

# Exif (little-endian TIFF): IFD0 with orientation 6 and a link to the Exif
# directory, which holds DateTimeOriginal.
perl -e '
  my ($jpeg, $icc) = @ARGV;
  local $/; open my $j, "<:raw", $jpeg or die; my $data = <$j>;
  open my $i, "<:raw", $icc or die; my $profile = <$i>;
  my $date = "2021:07:14 10:20:30\0";
  my $tiff = "II" . pack("v", 42) . pack("V", 8);
  $tiff .= pack("v", 2);
  $tiff .= pack("vvV", 0x0112, 3, 1) . pack("vv", 6, 0);   # orientation
  $tiff .= pack("vvVV", 0x8769, 4, 1, 38);                  # Exif directory
  $tiff .= pack("V", 0);
  $tiff .= pack("v", 1);                                     # at 38
  $tiff .= pack("vvVV", 0x9003, 2, 20, 56);                 # DateTimeOriginal
  $tiff .= pack("V", 0);
  $tiff .= $date;                                            # at 56
  my $exif = "Exif\0\0" . $tiff;
  my $app1 = "\xFF\xE1" . pack("n", length($exif) + 2) . $exif;
  my $chunk = "ICC_PROFILE\0" . chr(1) . chr(1) . $profile;
  my $app2 = "\xFF\xE2" . pack("n", length($chunk) + 2) . $chunk;
  # After the start of image and the JFIF header.
  my $jfif = 4 + unpack("n", substr($data, 4, 2));
  print substr($data, 0, $jfif) . $app1 . $app2 . substr($data, $jfif);' \
  "$work/plain.jpg" "$work/profile.icc" > "$work/photo.jpg"

exif() { identify -format "%[EXIF:$2]" "$1" 2>/dev/null; }
check "made: date" "2021:07:14 10:20:30" "$(exif "$work/photo.jpg" DateTimeOriginal)"
check "made: orientation" "6" "$(exif "$work/photo.jpg" Orientation)"
/usr/bin/convert "$work/photo.jpg" "$work/before.icc"
check "made: profile" "same" "$(cmp -s "$work/before.icc" "$work/profile.icc" && echo same || echo different)"

refuse_open_viewer
start_viewer "$(winepath -w "$work/photo.jpg")"
window="$(xdotool search --onlyvisible --name "$title" | head -1)"
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key ctrl+r
check "turned, not yet saved" "photo.jpg (100x160) (Modified)" "$(wait_status "photo.jpg (100x160) (Modified)")"
xdotool key ctrl+s
check "saved" "photo.jpg (100x160)" "$(wait_status "photo.jpg (100x160)")"
xdotool key Escape
wait_ended || { echo "FAILED: Escape did not close the viewer"; exit 1; }

check "size on disk" "100x160" "$(identify -format '%wx%h' "$work/photo.jpg")"
near() { near_pixel "$1" "$2" "$work/photo.jpg" "$3" "$4" 24; }   # near WHAT "R,G,B" X Y (recompressed)
# Clockwise: the red block went from the top-left to the top-right corner.
near "red block top right" "224,0,0" 85 15
near "grey top left" "128,128,128" 15 15
near "grey bottom right" "128,128,128" 85 145
check "date kept" "2021:07:14 10:20:30" "$(exif "$work/photo.jpg" DateTimeOriginal)"
check "orientation upright" "1" "$(exif "$work/photo.jpg" Orientation)"
/usr/bin/convert "$work/photo.jpg" "$work/after.icc"
check "profile kept" "same" "$(cmp -s "$work/after.icc" "$work/profile.icc" && echo same || echo different)"
check "no temporary file left" "photo.jpg" "$(cd "$work" && ls photo*)"

[ "$failures" -eq 0 ] && echo "rotate_and_save: all checks passed"
exit "$failures"
