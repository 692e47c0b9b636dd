#!/usr/bin/env bash
# End to end: the real pixavo.exe e-mails the current image at half size
# through the real MAPI32.DLL to the registered mail client.
#
# The test mail client (build/windows/pixavo_test_mail.dll, from
# tests/mailclient) is registered as the system's mail client with wine reg;
# it writes down each message it is handed. The viewer starts on a
# 1001 x 601 JPEG; Ctrl+E opens the size dialog, Tab moves from Small to
# Medium and Space chooses it (xdotool). The client must have received one
# message with the dialog flags, the main window as parent, the file name as
# subject, the footer and one attachment, C:\temp\pixavo\<name>, which
# ImageMagick reads as a 500 x 300 JPEG with the picture's red left and blue
# right half. Esc
# closes the viewer, which deletes the attachment and its folder. The mail
# client registration that was there before is put back at the end.
set -euo pipefail
clients='HKLM\Software\Clients\Mail'
client="$clients\\Pixavo Test Mail"
saved_client=
e2e_restore() {
  wine reg delete "$client" /f >/dev/null 2>&1 || true
  if [ -n "$saved_client" ]; then
    wine reg add "$clients" /ve /t REG_SZ /d "$saved_client" /f >/dev/null 2>&1 || true
  fi
}
. "$(dirname "${BASH_SOURCE[0]}")/common.bash"

saved_client="$(wine reg query "$clients" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p')"
record="$work/calls.txt"
wine reg add "$clients" /ve /t REG_SZ /d "Pixavo Test Mail" /f >/dev/null
wine reg add "$client" /v DLLPath /t REG_SZ /d "$(winepath -w "$build/pixavo_test_mail.dll")" /f >/dev/null
wine reg add "$client" /v RecordFile /t REG_SZ /d "$(winepath -w "$record")" /f >/dev/null
wine reg add "$client" /v Answer /t REG_DWORD /d 0 /f >/dev/null

# 1001 x 601: a red left half (500 wide) and a blue right half.
name="e2e mail.jpg"
/usr/bin/convert -size 500x601 xc:'#DC0000' -size 501x601 xc:'#0000DC' +append -quality 95 "$work/$name"
attachment="$(winepath -u 'C:\temp\pixavo')/$name"
rm -f "$attachment"

refuse_open_viewer
start_viewer "$(winepath -w "$work/$name")"
main="$(xdotool search --onlyvisible --name "$title" | head -1)"
xdotool windowfocus --sync "$main" 2>/dev/null || true
xdotool key ctrl+e
dialog="$(wait_window '^Email Image$')"
[ -n "$dialog" ] || { echo "the size dialog did not appear" >&2; exit 1; }
[ -n "${PIXAVO_E2E_SHOTS:-}" ] && import -window root "$PIXAVO_E2E_SHOTS/email-dialog.png"
xdotool key Tab space
message_recorded() { grep -q '^end$' "$record" 2>/dev/null; }
wait_until 30 message_recorded || echo "no message reached the mail client within 30 s"

# The whole message as the client wrote it down (see tests/mailclient).
expected="MAPISendMailW flags=11 parent=$title, Inc. account=none answer=0
subject=$name
body=\\r\\n\\r\\n\\r\\n$(printf -- '-%.0s' $(seq 69))\\r\\nSending pictures to friends is as easy as \"P-I-X-A-V-O\" with Pixavo Image Browser.\\r\\nFind out more by downloading a free copy of Pixavo Image Browser at https://corvane.com/pixavo\\r\\n
file -1 C:\\temp\\pixavo\\$name | $name
end"
check "the message the mail client received" "$expected" "$(cat "$record" 2>/dev/null)"
wait_gone '^Email Image$'
check "size dialog closed" "" "$(xdotool search --onlyvisible --name '^Email Image$' 2>/dev/null || true)"

check "attachment is a half-size JPEG" "JPEG 500 300" "$(identify -format '%m %w %h' "$attachment" 2>&1)"
near() { near_pixel "$1" "$2" "$attachment" "$3" "$4" 24; }   # near WHAT "R,G,B" X Y (JPEG)
near "attachment's left half red" "220,0,0" 100 150
near "attachment's right half blue" "0,0,220" 400 150

# Esc closes the viewer; the attachment and its folder go with it.
xdotool windowfocus --sync "$main" 2>/dev/null || true
xdotool key Escape
wait_ended || { echo "FAILED: Escape did not close the viewer"; exit 1; }
check "attachment deleted at exit" "no" "$([ -e "$attachment" ] && echo yes || echo no)"
check "attachment folder removed at exit" "no" "$([ -d "$(dirname "$attachment")" ] && echo yes || echo no)"

[ "$failures" -eq 0 ] && echo "email: all checks passed"
exit "$failures"
