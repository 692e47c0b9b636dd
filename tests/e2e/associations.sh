#!/usr/bin/env bash
# End to end: "pixavo.exe -install" and "pixavo.exe -uninstall", run through
# the program's own entry against the test prefix's registry, register and
# remove the program as the handler of its file types and show no window.
#
# Before installing, .bmp belongs to another viewer (a class with its own icon
# and open command). After -install every extension points at the program's
# class, which has its description, its icon and its open command; the other
# viewer's icon is kept as OldDefaultIcon and its open verb as "Open with
# viewer.exe". After -uninstall the other viewer's icon and open verb are back.
# The registry is read with reg query (all queries of a step in one cmd
# batch, to keep the Wine start-ups few). Every key the check touches is saved
# first and put back at the end, exactly as it was (or removed if it was not
# there).
set -euo pipefail
exts=(jpeg jpg bmp ico png wmf emf)
keys=()
for e in "${exts[@]}"; do keys+=("HKEY_CLASSES_ROOT\\.$e" "HKEY_CLASSES_ROOT\\PixavoImageBrowser.${e}Image"); done
keys+=("HKEY_CLASSES_ROOT\\E2EViewer.bmpFile")

# Runs the lines of a cmd batch in one Wine process.
batch() {   # batch FILE: the batch's lines come on standard input
  { cat; echo "exit /b 0"; } | sed 's/$/\r/' > "$1"
  wine cmd /c "$(winepath -w "$1")" >/dev/null 2>&1 || true
}

# A .reg file as regedit reads it: UTF-16 with its byte order mark.
to_reg() { { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } > "$1"; }

saved=
e2e_restore() {   # every key as it was before the check
  [ -n "$saved" ] || return 0
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    for k in "${keys[@]}"; do printf '[-%s]\r\n\r\n' "$k"; done
  } | to_reg "$saved/delete.reg"
  {
    echo "regedit /S \"$(winepath -w "$saved/delete.reg")\""
    for f in "$saved"/key*.reg; do
      if [ -f "$f" ]; then echo "regedit /S \"$(winepath -w "$f")\""; fi
    done
  } | batch "$saved/restore.bat"
}
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"

saved="$work/saved"
mkdir -p "$saved"
{
  i=0
  for k in "${keys[@]}"; do
    i=$((i + 1))
    echo "reg query \"$k\" >nul 2>&1 && regedit /E \"$(winepath -w "$saved")\\key$i.reg\" \"$k\""
  done
} | batch "$work/save.bat"

# Another viewer owns .bmp.
reg_escape() { sed 's/\\/\\\\/g; s/"/\\"/g' <<<"$1"; }
viewer='"C:\Tools\viewer.exe" "%1"'
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  for k in "${keys[@]}"; do printf '[-%s]\r\n\r\n' "$k"; done
  printf '[HKEY_CLASSES_ROOT\\.bmp]\r\n@="E2EViewer.bmpFile"\r\n\r\n'
  printf '[HKEY_CLASSES_ROOT\\E2EViewer.bmpFile\\DefaultIcon]\r\n@="C:\\\\Tools\\\\viewer.exe,1"\r\n\r\n'
  printf '[HKEY_CLASSES_ROOT\\E2EViewer.bmpFile\\shell\\open\\command]\r\n@="%s"\r\n\r\n' "$(reg_escape "$viewer")"
} | to_reg "$work/owner.reg"
echo "regedit /S \"$(winepath -w "$work/owner.reg")\"" | batch "$work/owner.bat"

# The default value of each key, one "key<TAB>value" line each ("-" when
# the key or value is missing).
read_values() {   # read_values OUTPUT KEY...
  local out=$1; shift
  local win_out; win_out="$(winepath -w "$out")"
  rm -f "$out"
  for k in "$@"; do
    echo "echo KEY $k>>\"$win_out\""
    echo "reg query \"$k\" /ve>>\"$win_out\" 2>nul"
  done | batch "$work/read.bat"
  tr -d '\r' < "$out" | awk '
    /^KEY / { if (key != "") print key "\t" (val == "" ? "-" : val); key = substr($0, 5); val = ""; next }
    /REG_SZ/ { sub(/^.*REG_SZ[ \t]*/, ""); val = $0 }
    END { if (key != "") print key "\t" (val == "" ? "-" : val) }'
}
value_of() { awk -F'\t' -v k="$2" '$1 == k { print $2 }' "$1"; }

exe_win="$(winepath -w "$exe")"
refuse_open_viewer
run_switch() {   # run_switch SWITCH: runs the program, which must end on its own without a window
  local status=0
  timeout 60 wine "$exe" "$1" >/dev/null 2>&1 || status=$?
  check "pixavo.exe $1 ends by itself" 0 "$status"
  check "pixavo.exe $1 shows no window" "" "$(xdotool search --name "$title" 2>/dev/null || true)"
}

run_switch -install
query=()
for e in "${exts[@]}"; do
  c="HKEY_CLASSES_ROOT\\PixavoImageBrowser.${e}Image"
  query+=("HKEY_CLASSES_ROOT\\.$e" "$c" "$c\\DefaultIcon" "$c\\shell\\open\\command")
done
query+=("HKEY_CLASSES_ROOT\\PixavoImageBrowser.bmpImage\\OldDefaultIcon"
        "HKEY_CLASSES_ROOT\\PixavoImageBrowser.bmpImage\\shell\\Open with viewer.exe\\command")
read_values "$work/installed.txt" "${query[@]}" > "$work/installed.tsv"
declare -A description=([jpeg]="JPEG Image" [jpg]="JPEG Image" [bmp]="Bitmap" [ico]="Windows Icon"
                        [png]="PNG Image" [wmf]="Windows Metafile Image" [emf]="Enhanced Metafile Image")
for e in "${exts[@]}"; do
  c="HKEY_CLASSES_ROOT\\PixavoImageBrowser.${e}Image"
  icon="$exe_win,0"; [ "$e" = ico ] && icon="%1"
  check ".$e points at its class" "PixavoImageBrowser.${e}Image" "$(value_of "$work/installed.tsv" "HKEY_CLASSES_ROOT\\.$e")"
  check ".$e class description" "${description[$e]}" "$(value_of "$work/installed.tsv" "$c")"
  check ".$e icon" "$icon" "$(value_of "$work/installed.tsv" "$c\\DefaultIcon")"
  check ".$e open command" "$exe_win /nosplash \"%1\"" "$(value_of "$work/installed.tsv" "$c\\shell\\open\\command")"
done
check ".bmp keeps the other viewer's icon" 'C:\Tools\viewer.exe,1' \
  "$(value_of "$work/installed.tsv" "HKEY_CLASSES_ROOT\\PixavoImageBrowser.bmpImage\\OldDefaultIcon")"
check ".bmp keeps the other viewer's open verb" "$viewer" \
  "$(value_of "$work/installed.tsv" "HKEY_CLASSES_ROOT\\PixavoImageBrowser.bmpImage\\shell\\Open with viewer.exe\\command")"

run_switch -uninstall
c="HKEY_CLASSES_ROOT\\PixavoImageBrowser.bmpImage"
read_values "$work/removed.txt" "$c\\DefaultIcon" "$c\\shell\\open\\command" "$c\\OldDefaultIcon" \
  "HKEY_CLASSES_ROOT\\PixavoImageBrowser.pngImage\\shell\\open\\command" > "$work/removed.tsv"
check "the other viewer's icon is back" 'C:\Tools\viewer.exe,1' "$(value_of "$work/removed.tsv" "$c\\DefaultIcon")"
check "the other viewer's open verb is back" "$viewer" "$(value_of "$work/removed.tsv" "$c\\shell\\open\\command")"
check "no icon backup is left" "-" "$(value_of "$work/removed.tsv" "$c\\OldDefaultIcon")"
check "a class that had no other owner keeps the program's command" "$exe_win /nosplash \"%1\"" \
  "$(value_of "$work/removed.tsv" "HKEY_CLASSES_ROOT\\PixavoImageBrowser.pngImage\\shell\\open\\command")"

[ "$failures" -eq 0 ] && echo "associations: all checks passed"
exit "$failures"
