#!/usr/bin/env bash
# End to end: "pixavo.exe -install" and "pixavo.exe -uninstall", run through
# the program's own entry against the test prefix's registry, end by
# themselves without a window. After -install every extension points at the
# program's class, which has its description, its icon and its open command;
# with no other program there before, -uninstall leaves all of it as it is.
#
# The registry is read with reg query, all queries of a step in one cmd batch
# (few Wine start-ups). Every key the check touches is saved first and put
# back at the end, exactly as it was, or removed if it was not there.
set -euo pipefail
exts=(jpeg jpg bmp ico png wmf emf)
keys=()
for e in "${exts[@]}"; do keys+=("HKEY_CLASSES_ROOT\\.$e" "HKEY_CLASSES_ROOT\\PixavoImageBrowser.${e}Image"); done

batch() {   # batch FILE: runs the cmd lines given on standard input in one Wine process
  { cat; echo "exit /b 0"; } | sed 's/$/\r/' > "$1"
  wine cmd /c "$(winepath -w "$1")" >/dev/null 2>&1 || true
}

saved=
e2e_restore() {   # every key as it was before the check (RESTORE=0: none of them)
  [ -n "$saved" ] || return 0
  { printf '\xff\xfe'; { printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    for k in "${keys[@]}"; do printf '[-%s]\r\n\r\n' "$k"; done; } | iconv -f UTF-8 -t UTF-16LE; } > "$saved/delete.reg"
  {
    echo "regedit /S \"$(winepath -w "$saved/delete.reg")\""
    for f in "$saved"/key*.reg; do
      if [ "${RESTORE:-1}" = 1 ] && [ -f "$f" ]; then echo "regedit /S \"$(winepath -w "$f")\""; fi
    done
  } | batch "$saved/restore.bat"
}
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"

saved="$work/saved"
mkdir -p "$saved"
i=0
for k in "${keys[@]}"; do
  i=$((i + 1))
  echo "reg query \"$k\" >nul 2>&1 && regedit /E \"$(winepath -w "$saved")\\key$i.reg\" \"$k\""
done | batch "$work/save.bat"
RESTORE=0 e2e_restore   # the check starts from none of the keys

# "key<TAB>default value" for each key of every extension ("-": missing).
read_values() {
  local out="$work/values.txt" win; win="$(winepath -w "$work/values.txt")"
  rm -f "$out"
  for e in "${exts[@]}"; do
    c="HKEY_CLASSES_ROOT\\PixavoImageBrowser.${e}Image"
    for k in "HKEY_CLASSES_ROOT\\.$e" "$c" "$c\\DefaultIcon" "$c\\shell\\open\\command"; do
      echo "echo KEY $k>>\"$win\""
      echo "reg query \"$k\" /ve>>\"$win\" 2>nul"
    done
  done | batch "$work/read.bat"
  tr -d '\r' < "$out" | awk '
    /^KEY / { if (key != "") print key "\t" (val == "" ? "-" : val); key = substr($0, 5); val = ""; next }
    /REG_SZ/ { sub(/^.*REG_SZ[ \t]*/, ""); val = $0 }
    END { if (key != "") print key "\t" (val == "" ? "-" : val) }' > "$work/values.tsv"
}
value_of() { awk -F'\t' -v k="$1" '$1 == k { print $2 }' "$work/values.tsv"; }

run_switch() {   # run_switch SWITCH: the program ends on its own, without a window
  local status=0
  timeout 60 wine "$exe" "$1" >/dev/null 2>&1 || status=$?
  check "pixavo.exe $1 ends by itself" 0 "$status"
  check "pixavo.exe $1 shows no window" "" "$(xdotool search --name "$title" 2>/dev/null || true)"
}

declare -A description=([jpeg]="JPEG Image" [jpg]="JPEG Image" [bmp]="Bitmap" [ico]="Windows Icon"
                        [png]="PNG Image" [wmf]="Windows Metafile Image" [emf]="Enhanced Metafile Image")
exe_win="$(winepath -w "$exe")"
refuse_open_viewer
for step in -install -uninstall; do
  run_switch "$step"
  read_values
  for e in "${exts[@]}"; do
    c="HKEY_CLASSES_ROOT\\PixavoImageBrowser.${e}Image"
    icon="$exe_win,0"; [ "$e" = ico ] && icon="%1"
    check "$step: .$e points at its class" "PixavoImageBrowser.${e}Image" "$(value_of "HKEY_CLASSES_ROOT\\.$e")"
    check "$step: .$e class description" "${description[$e]}" "$(value_of "$c")"
    check "$step: .$e icon" "$icon" "$(value_of "$c\\DefaultIcon")"
    check "$step: .$e open command" "$exe_win /nosplash \"%1\"" "$(value_of "$c\\shell\\open\\command")"
  done
done

[ "$failures" -eq 0 ] && echo "associations: all checks passed"
exit "$failures"
