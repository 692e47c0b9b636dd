#!/usr/bin/env bash
# End to end: files dragged with OLE from another program (the test fixture
# pixavo_test_drop.exe, which drags as the shell does) and dropped on the
# running viewer's image area. An image file opens with its folder listed; of
# several files the first image opens; a folder opens its first image; a
# text file is refused (the drop effect is none), nothing changes and the
# hint panel says why. While the drag lasts the window decides by the
# names: an empty folder is taken, and listed only after the drop, which
# then says it holds no images and changes nothing. A folder whose name has
# a dot opens its first image.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"
dropper="$build/pixavo_test_drop.exe"

mkdir -p "$work/first" "$work/second"
/usr/bin/convert -size 30x20 xc:'#E60000' "$work/first/start.png"
/usr/bin/convert -size 40x30 xc:'#00C800' "$work/second/dropped.png"
/usr/bin/convert -size 50x40 xc:'#0000DC' "$work/second/other.bmp"
echo "not a picture" > "$work/second/notes.txt"
mkdir -p "$work/folder" "$work/holiday.2024" "$work/empty"
/usr/bin/convert -size 60x50 xc:'#E6C800' "$work/folder/only.jpg"
/usr/bin/convert -size 70x50 xc:'#E6C800' "$work/holiday.2024/beach.png"
echo "not a picture" > "$work/empty/notes.txt"

open_viewer "$work/first/start.png"
check "before" "start.png (30x20)" "$(wait_status "start.png (30x20)")"
read -r left top right bottom < <(probe_report | sed -n 's/^area: //p')
x=$(((left + right) / 2)) y=$(((top + bottom) / 2))

drop() { wine "$dropper" "$x" "$y" "$@" 2>/dev/null | tr -d '\r' | sed -n 's/^effect: //p'; }
w() { winepath -w "$1"; }

check "text file refused" "none" "$(drop "$(w "$work/second/notes.txt")")"
check "nothing opened" "start.png (30x20)" "$(status_text)"
check "hint says why" "Only image files and folders of images can be opened here." \
  "$(probe_report | sed -n 's/^hint: //p')"

check "image file taken" "copy" "$(drop "$(w "$work/second/dropped.png")")"
check "image opened" "dropped.png (40x30)" "$(wait_status "dropped.png (40x30)")"
# Its folder is listed: Next goes on to the folder's other image.
xdotool key --window "$(xdotool search --onlyvisible --name "$title" | head -1)" n
check "folder listed" "other.bmp (50x40)" "$(wait_status "other.bmp (50x40)")"

check "several taken" "copy" \
  "$(drop "$(w "$work/second/notes.txt")" "$(w "$work/first/start.png")" "$(w "$work/second/dropped.png")")"
check "first image of several opened" "start.png (30x20)" "$(wait_status "start.png (30x20)")"

check "folder taken" "copy" "$(drop "$(w "$work/folder")")"
check "folder's image opened" "only.jpg (60x50)" "$(wait_status "only.jpg (60x50)")"

check "folder with a dot taken" "copy" "$(drop "$(w "$work/holiday.2024")")"
check "its first image opened" "beach.png (70x50)" "$(wait_status "beach.png (70x50)")"

hint() { probe_report | sed -n 's/^hint: //p'; }
check "empty folder taken by its name" "copy" "$(drop "$(w "$work/empty")")"
check "listed after the drop: said" "The folder holds no images that can be opened." \
  "$(wait_text "The folder holds no images that can be opened." hint)"
check "nothing else changed" "beach.png (70x50)" "$(status_text)"

[ "$failures" -eq 0 ]
