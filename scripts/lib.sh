# Shared helpers of the run and test scripts.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

wine_env() {
  export WINEPREFIX="$root/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
}

# Starts a private Xvfb and exports DISPLAY; stopped by stop_xvfb.
start_xvfb() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      xdpyinfo >/dev/null 2>&1 && return 0
      sleep 0.1
    done
    kill "$xvfb_pid" 2>/dev/null || true
  done
  echo "could not start Xvfb" >&2
  return 1
}

stop_xvfb() {
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
}

# A private print server (CUPS) with one default printer, $cups_printer, that
# turns every job into a PDF named after the job's title in the submitting
# user's ~/PDF (the cups-pdf back end). It listens on a socket of its own
# only, so several runs can each have one; CUPS_SERVER, which Wine's printing
# follows, is exported. Needs root, as cupsd does. Stopped by stop_cups.
cups_printer=PixavoPDF
start_cups() {
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
  export CUPS_SERVER="$cups_dir/cups.sock"
  for _ in $(seq 100); do
    lpstat -r >/dev/null 2>&1 && break
    sleep 0.1
  done
  if ! lpstat -r >/dev/null 2>&1; then
    echo "could not start cupsd:" >&2; cat "$cups_dir/log/cupsd.out" >&2
    return 1
  fi
  add_printer
}

add_printer() {
  lpadmin -p "$cups_printer" -v cups-pdf:/ -E -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null &&
    lpadmin -d "$cups_printer"
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
}

# Where the printer's PDFs go: ~/PDF of the user who prints.
pdf_output_dir() {
  echo "$(getent passwd "$(id -un)" | cut -d: -f6)/PDF"
}
