#!/usr/bin/env bash
# End to end: the setup program that scripts/package builds installs and
# uninstalls cleanly under Wine, silently, in a throw-away copy of the
# prepared Wine prefix template (removed at exit).
#
# A made-up earlier viewer owns ".jpg" first. Three runs of the setup program:
# - an unknown /ASSOCIATE choice installs nothing and ends with code 2;
# - /ASSOCIATE=0 installs without touching the image types, and its
#   uninstaller leaves the earlier viewer's class as it was;
# - /ASSOCIATE=1 puts the program, its uninstaller, the Start-menu shortcut
#   and the installed-programs entry (the project's version, publisher, icon,
#   uninstall command) in place and makes ".jpg"'s class open the installed
#   program, keeping the earlier viewer's command; its uninstaller gives ".jpg"
#   back the earlier open command and icon and leaves no file of the program
#   and no registry value naming it.
# Registry values are read with Wine's reg tool; the registry files are
# searched for the program's path once Wine has written them out.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"

setup="$work/pixavo-setup.exe"
"$root/scripts/package" "$setup" >/dev/null

# From the prepared template: the run's own prefix may hold what earlier
# checks did, and its registry files may lag behind its live wineserver.
copy_prefix "$prefix_template" "$work/prefix"
export WINEPREFIX="$work/prefix"
# No menu entries or file types of this machine's desktop from Wine.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winemenubuilder.exe=d"
e2e_restore() { wineserver -k >/dev/null 2>&1 || true; wineserver -w >/dev/null 2>&1 || true; }

version="$(sed -n 's/^project(Pixavo VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
folder='C:\Program Files\Corvane\Pixavo Image Browser'
program="$folder\\pixavo.exe"
unix_folder="$WINEPREFIX/drive_c/Program Files/Corvane/Pixavo Image Browser"
link="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pixavo Image Browser.lnk"
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pixavo Image Browser'
class='HKCR\PixavoImageBrowser.jpgImage'
viewer_command='"C:\Tools\viewer.exe" "%1"'
viewer_icon='C:\Tools\viewer.exe,1'

regval() {   # regval KEY [NAME]: the value's data (the default value without NAME), or "<none>"
  local out
  if [ $# -gt 1 ]; then out="$(wine reg query "$1" /v "$2" 2>/dev/null)" || { echo "<none>"; return; }
  else out="$(wine reg query "$1" /ve 2>/dev/null)" || { echo "<none>"; return; }; fi
  tr -d '\r' <<<"$out" | sed -n 's/^    .*    REG_[A-Z_]*    //p' | head -1
}
exists() { if [ -e "$1" ]; then echo yes; else echo no; fi; }
key_exists() { if wine reg query "$1" >/dev/null 2>&1; then echo yes; else echo no; fi; }
# Whether the registry files name the installed program (Wine writes them
# out when its server stops; backslashes are doubled there).
registry_names_program() {
  wineserver -w
  if grep -qiF 'Pixavo Image Browser\\pixavo.exe' "$WINEPREFIX"/*.reg; then echo yes; else echo no; fi
}
uninstall() {   # the uninstaller runs on from a copy of itself: wait for Wine to go idle
  local status=0
  wine "$folder\\uninstall.exe" /S || status=$?
  wineserver -w
  check "uninstaller exit code" 0 "$status"
}

# The earlier owner of ".jpg".
wine reg add 'HKCR\.jpg' /ve /d ViewerTest.jpg /f >/dev/null
wine reg add 'HKCR\ViewerTest.jpg\shell\open\command' /ve /d "$viewer_command" /f >/dev/null
wine reg add 'HKCR\ViewerTest.jpg\DefaultIcon' /ve /d "$viewer_icon" /f >/dev/null

echo "-- unknown choice"
status=0; wine "$setup" /S /ASSOCIATE=maybe || status=$?
check "exit code" 2 "$status"
check "no program folder" no "$(exists "$unix_folder")"
check "no entry" no "$(key_exists "$entry")"

echo "-- /ASSOCIATE=0"
status=0; wine "$setup" /S /ASSOCIATE=0 || status=$?
check "exit code" 0 "$status"
check "program installed" yes "$(exists "$unix_folder/pixavo.exe")"
check ".jpg left alone" ViewerTest.jpg "$(regval 'HKCR\.jpg')"
uninstall
check "program removed" no "$(exists "$unix_folder")"
check ".jpg still the earlier viewer's" ViewerTest.jpg "$(regval 'HKCR\.jpg')"
check "earlier viewer's command" "$viewer_command" "$(regval 'HKCR\ViewerTest.jpg\shell\open\command')"

echo "-- /ASSOCIATE=1"
status=0; wine "$setup" /S /ASSOCIATE=1 || status=$?
check "exit code" 0 "$status"
check "program installed" yes "$(exists "$unix_folder/pixavo.exe")"
check "uninstaller installed" yes "$(exists "$unix_folder/uninstall.exe")"
check "installed program is stripped" 0 \
  "$(x86_64-w64-mingw32-objdump -h "$unix_folder/pixavo.exe" | grep -c '\.debug' || true)"
check "shortcut names the program" "$program" "$(strings -a "$link" 2>/dev/null | grep -xF "$program" || true)"
check "entry: name" "Pixavo Image Browser" "$(regval "$entry" DisplayName)"
check "entry: version" "$version" "$(regval "$entry" DisplayVersion)"
check "entry: publisher" "Corvane, Inc." "$(regval "$entry" Publisher)"
check "entry: icon" "$program,0" "$(regval "$entry" DisplayIcon)"
check "entry: uninstall command" "\"$folder\\uninstall.exe\"" "$(regval "$entry" UninstallString)"
check ".jpg class" PixavoImageBrowser.jpgImage "$(regval 'HKCR\.jpg')"
check ".jpg opens the installed program" "$program /nosplash \"%1\"" "$(regval "$class\\shell\\open\\command")"
check "earlier command kept" "$viewer_command" "$(regval "$class\\shell\\Open with viewer.exe\\command")"
check "registry names the program" yes "$(registry_names_program)"

uninstall
check "program folder removed" no "$(exists "$WINEPREFIX/drive_c/Program Files/Corvane")"
check "no program file anywhere" "" "$(find "$WINEPREFIX/drive_c" -type f -iname pixavo.exe)"
check "shortcut removed" no "$(exists "$link")"
check "entry removed" no "$(key_exists "$entry")"
check ".jpg opens with the earlier command" "$viewer_command" "$(regval "$class\\shell\\open\\command")"
check ".jpg shows the earlier icon" "$viewer_icon" "$(regval "$class\\DefaultIcon")"
check "kept verb moved back" no "$(key_exists "$class\\shell\\Open with viewer.exe")"
check "earlier viewer's class unchanged" "$viewer_command|$viewer_icon" \
  "$(regval 'HKCR\ViewerTest.jpg\shell\open\command')|$(regval 'HKCR\ViewerTest.jpg\DefaultIcon')"
check "registry names the program" no "$(registry_names_program)"

[ "$failures" -eq 0 ] && echo "installer: all checks passed"
exit "$failures"
