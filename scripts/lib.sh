# Shared helpers of the run and test scripts.
#
# Every run has things of its own, so that runs can go on side by side (from
# one work tree or several) without tripping over each other: a copy of the
# Wine prefix that scripts/setup prepares (its own registry and its own
# wineserver), its own X display and, where printing is tested, its own print
# server. At its end a run stops only what it started, and removes its copy.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The prepared prefix: never run in, only copied.
prefix_template="$root/build/wine-template"
runs_dir="$root/build/runs"

# ---- Ending a run: commands run once, last registered first ----
# The Wine processes of the run's own prefix end first, while the display
# and the print server they use are still there.
exit_actions=()
own_prefix=
at_exit() { exit_actions=("$*" "${exit_actions[@]}"); }
run_exit_actions() {
  local action
  [ -z "$own_prefix" ] || end_wine "$own_prefix" || true
  for action in "${exit_actions[@]}"; do eval "$action" || true; done
  exit_actions=()
}
trap run_exit_actions EXIT
# An interrupted run ends through its exit actions too.
trap 'exit 130' INT
trap 'exit 143' TERM

# ---- Waiting ----
# retry TRIES PAUSE COMMAND...: runs the command until it succeeds, at most
# TRIES times, PAUSE seconds apart; each failure says so on standard error.
retry() {
  local tries=$1 pause=$2 i
  shift 2
  for ((i = 1; i <= tries; i++)); do
    "$@" && return 0
    echo "failed (try $i of $tries): $*" >&2
    [ "$i" -lt "$tries" ] && sleep "$pause"
  done
  return 1
}

# wait_until SECONDS COMMAND...: true as soon as the command succeeds, false
# when it still fails after SECONDS.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

# ---- The run's own Wine prefix ----
# copy_prefix FROM TO: a copy to run in. The program files of Windows (the
# bulk of a prefix, which nothing writes to) are hard links to the same files;
# everything else (registry, settings files, fonts, folders) is a copy of its
# own. Takes a fraction of a second where a full copy takes seconds.
copy_prefix() {
  local from=$1 to=$2
  cp -al "$from" "$to" || return 1
  (cd "$from" && find . -type f ! \( -path './drive_c/windows/*' ! -path '*/spool/*' \
      \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o -iname '*.sys' -o -iname '*.ocx' \
         -o -iname '*.tlb' -o -iname '*.acm' -o -iname '*.cpl' -o -iname '*.ax' -o -iname '*.nls' \) \) -print0 |
    xargs -0 -r cp -a --parents --remove-destination -t "$to")
}

# Makes run_dir, a folder of this run under build/runs, removed when the run
# ends. Folders left by runs that were killed are removed here.
run_dir=
make_run_dir() {
  local d
  [ -n "$run_dir" ] && return 0
  mkdir -p "$runs_dir"
  for d in "$runs_dir"/*/; do
    if [ -f "$d/pid" ] && ! kill -0 "$(cat "$d/pid")" 2>/dev/null; then rm -rf "$d"; fi
  done
  run_dir="$(mktemp -d "$runs_dir/run.XXXXXX")" || return 1
  echo $$ > "$run_dir/pid"
  at_exit "rm -rf '$run_dir'"
}

# Exports the Wine environment of this run. A script started by a run that
# has its prefix already (PIXAVO_PREFIX) uses that one; any other gets a copy
# of the template of its own, whose Wine processes are ended and which is
# removed when the run ends.
wine_env() {
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
  if [ -n "${PIXAVO_PREFIX:-}" ] && [ -f "$PIXAVO_PREFIX/system.reg" ]; then
    export WINEPREFIX="$PIXAVO_PREFIX"
    return 0
  fi
  [ -f "$prefix_template/system.reg" ] || { echo "no Wine prefix: run scripts/setup" >&2; return 1; }
  make_run_dir || return 1
  copy_prefix "$prefix_template" "$run_dir/prefix" || { echo "could not copy the Wine prefix" >&2; return 1; }
  export WINEPREFIX="$run_dir/prefix" PIXAVO_PREFIX="$run_dir/prefix"
  own_prefix="$run_dir/prefix"
}

# end_wine PREFIX: ends every Wine process of that prefix (and only those).
end_wine() {
  WINEPREFIX="$1" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$1" wineserver -w >/dev/null 2>&1 || true
}

# ---- The run's own X display ----
# Starts an Xvfb on a display number that no other server uses (chosen by
# Xvfb itself) and exports DISPLAY; stopped when the run ends.
start_xvfb() {
  local try
  for try in 1 2 3; do
    start_xvfb_once && return 0
    echo "Xvfb did not start (try $try of 3)" >&2
  done
  return 1
}
xvfb_out=
xvfb_told() { grep -q '^[0-9]' "$xvfb_out" || ! kill -0 "$xvfb_pid" 2>/dev/null; }
start_xvfb_once() {
  local err
  xvfb_out="$(mktemp)" err="$(mktemp)"
  Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp 9>"$xvfb_out" 2>"$err" &
  xvfb_pid=$!
  if wait_until 30 xvfb_told && grep -q '^[0-9]' "$xvfb_out" && export DISPLAY=":$(head -1 "$xvfb_out")" &&
    wait_until 30 xdpyinfo >/dev/null 2>&1; then
    rm -f "$xvfb_out" "$err"
    at_exit stop_xvfb
    return 0
  fi
  cat "$err" >&2
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  rm -f "$xvfb_out" "$err"
  xvfb_pid=
  return 1
}

stop_xvfb() {
  if [ -n "${xvfb_pid:-}" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  xvfb_pid=
}

# ---- The run's own print server ----
# A private print server (CUPS) with one default printer, $cups_printer, that
# turns every job into a PDF named after the job's title in the submitting
# user's ~/PDF (the cups-pdf back end). It listens on a socket of its own
# only, so several runs can each have one; CUPS_SERVER, which Wine's printing
# follows, is exported. Needs root, as cupsd does. Every step says what went
# wrong on standard error, and the steps that a busy machine can make fail
# are tried again. Stopped by stop_cups, and when the run ends.
cups_printer=PixavoPDF
start_cups() {
  local try
  for try in 1 2 3; do
    if start_cupsd; then
      retry 5 2 add_printer && return 0
      echo "the printer could not be set up" >&2
    fi
    echo "print server failed (try $try of 3); its log:" >&2
    cat "$cups_dir/log/cupsd.out" "$cups_dir/log/error_log" >&2 2>/dev/null
    stop_cups
  done
  return 1
}

cups_stop_registered=
cups_running() { kill -0 "$cups_pid" 2>/dev/null && lpstat -r >/dev/null 2>&1; }
cups_settled() { ! kill -0 "$cups_pid" 2>/dev/null || lpstat -r >/dev/null 2>&1; }
start_cupsd() {
  cups_dir="$(mktemp -d /tmp/pixavo-cups.XXXXXX)"
  chmod 755 "$cups_dir"
  mkdir -p "$cups_dir"/{etc/ppd,spool/tmp,state,cache,log}
  cat > "$cups_dir/etc/cups-files.conf" <<CONF
ServerRoot $cups_dir/etc
RequestRoot $cups_dir/spool
TempDir $cups_dir/spool/tmp
StateDir $cups_dir/state
CacheDir $cups_dir/cache
AccessLog $cups_dir/log/access_log
ErrorLog $cups_dir/log/error_log
PageLog $cups_dir/log/page_log
Printcap $cups_dir/printcap
SystemGroup root
CONF
  cat > "$cups_dir/etc/cupsd.conf" <<CONF
Listen $cups_dir/cups.sock
LogLevel warn
Browsing Off
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
CONF
  /usr/sbin/cupsd -f -c "$cups_dir/etc/cupsd.conf" -s "$cups_dir/etc/cups-files.conf" \
    > "$cups_dir/log/cupsd.out" 2>&1 &
  cups_pid=$!
  [ -n "$cups_stop_registered" ] || at_exit stop_cups
  cups_stop_registered=1
  export CUPS_SERVER="$cups_dir/cups.sock"
  wait_until 60 cups_settled && cups_running && return 0
  echo "cupsd is not running or did not answer within 60 s" >&2
  return 1
}

add_printer() {
  lpadmin -p "$cups_printer" -v cups-pdf:/ -E -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd &&
    lpadmin -d "$cups_printer" &&
    lpstat -d | grep -q ": $cups_printer\$" &&
    lpstat -a "$cups_printer" | grep -q accepting
}

remove_printer() {
  lpadmin -x "$cups_printer"
}

stop_cups() {
  if [ -n "${cups_pid:-}" ]; then
    kill "$cups_pid" 2>/dev/null || true
    wait "$cups_pid" 2>/dev/null || true
  fi
  [ -n "${cups_dir:-}" ] && rm -rf "$cups_dir"
  cups_pid= cups_dir=
  unset CUPS_SERVER
  return 0
}

# Where the printer's PDFs go: ~/PDF of the user who prints.
pdf_output_dir() {
  echo "$(getent passwd "$(id -un)" | cut -d: -f6)/PDF"
}

# ---- The screen ----
# screen_settled [FILE]: waits until the screen no longer changes (two looks
# a moment apart see the same pixels), at most 30 s; with FILE, writes a PNG
# of the settled screen there. False when the screen kept changing.
screen_settled() {
  local before now deadline=$((SECONDS + 30))
  before="$(import -window root -depth 8 rgb:- 2>/dev/null | md5sum)"
  while :; do
    sleep 0.2
    now="$(import -window root -depth 8 rgb:- 2>/dev/null | md5sum)"
    [ "$now" = "$before" ] && break
    [ "$SECONDS" -ge "$deadline" ] && { echo "the screen kept changing for 30 s" >&2; return 1; }
    before=$now
  done
  [ -z "${1:-}" ] || import -window root "$1"
}

# ---- The Windows tests ----
# run_windows_tests [ARGUMENT...]: the Windows test program under Wine in
# this run's prefix, with the arguments; its exit code (non-zero when a test
# failed or passed its time limit, or the program crashed). It runs inside a
# Wine virtual desktop of the screen's size, where windows map without X
# round trips; the desktop and every other Wine process of the run end with
# it (the end-to-end checks use the plain screen). The program limits each
# test's time (PIXAVO_TEST_TIME_LIMIT seconds, 300 by default); the whole run
# is ended after PIXAVO_WINTEST_LIMIT seconds (3600) in case that fails too.
run_windows_tests() {
  local app='HKCU\Software\Wine\AppDefaults\pixavo_win_tests.exe' status=0
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v PixavoTests /d 1280x1024 /f >/dev/null 2>&1 &&
    wine reg add "$app\\Explorer" /v Desktop /d PixavoTests /f >/dev/null 2>&1 ||
    { echo "could not set up the tests' desktop" >&2; return 1; }
  (cd "$root/build/windows" && timeout -k 30 "${PIXAVO_WINTEST_LIMIT:-3600}" wine pixavo_win_tests.exe "$@") ||
    status=$?
  [ "$status" -eq 124 ] && echo "the Windows tests did not end within ${PIXAVO_WINTEST_LIMIT:-3600} s"
  # The probes of the end-to-end checks run on the plain screen.
  wine reg delete "$app" /f >/dev/null 2>&1
  end_wine "$WINEPREFIX"
  return "$status"
}
