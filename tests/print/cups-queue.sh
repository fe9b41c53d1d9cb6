#!/bin/sh
# A print service of the tests' own: a CUPS scheduler with its configuration,
# spool and socket in one folder, and one queue "kalvor" whose backend puts
# every job, as the program sent it, into DIR/out/job-<id>.pdf. The machine's
# own CUPS, its queues and its default printer are left alone; the program
# finds this one through CUPS_SERVER=DIR/cups.sock and PRINTER=kalvor.
#
#   cups-queue.sh start DIR   starts the scheduler and creates the queue
#   cups-queue.sh stop DIR    stops the scheduler started in DIR
set -eu
# The scheduler's answers are read below: in English whatever the locale.
export LC_ALL=C

cmd=${1:?start or stop}
dir=${2:?folder}

if [ "$cmd" = stop ]; then
  if [ -f "$dir/cupsd.pid" ]; then
    pid=$(cat "$dir/cupsd.pid")
    # Killed outright: its state goes with the folder, and a normal shutdown
    # spends near two seconds saving it.
    kill -KILL "$pid" 2>/dev/null || true
    # Gone before the caller removes the folder under it. Its parent, the
    # start's shell, has ended, and a container's first process may never
    # reap orphans: a zombie holds no file and counts as gone.
    i=0
    while kill -0 "$pid" 2>/dev/null && ! ps -o stat= -p "$pid" | grep -q '^Z' && [ $i -lt 50 ]; do
      i=$((i + 1))
      sleep 0.02
    done
    rm -f "$dir/cupsd.pid"
  fi
  exit 0
fi

cupsd=$(command -v cupsd || echo /usr/sbin/cupsd)
[ -x "$cupsd" ] || { echo "cupsd is not installed (scripts/install-deps.sh)" >&2; exit 1; }

mkdir -p "$dir/bin/backend" "$dir/spool" "$dir/cache" "$dir/state" "$dir/log" "$dir/out"
# The scheduler's helpers run as the unprivileged lp user and must reach the folder.
chmod 755 "$dir"
for d in filter daemon cgi-bin notifier monitor driver; do
  [ -e "/usr/lib/cups/$d" ] && ln -sfn "/usr/lib/cups/$d" "$dir/bin/$d"
done
cat > "$dir/bin/backend/pdfdir" <<'EOF'
#!/bin/sh
# Writes the job's document whole into the folder of the device URI.
if [ $# -eq 0 ]; then echo 'direct pdfdir "Unknown" "Folder of PDF files"'; exit 0; fi
out="${DEVICE_URI#pdfdir:}/job-$1.pdf"
if [ $# -ge 6 ]; then cat "$6" > "$out.part"; else cat > "$out.part"; fi
mv "$out.part" "$out"
EOF
# Owned by root and private to it: the scheduler runs it as root.
chmod 700 "$dir/bin/backend/pdfdir"

cat > "$dir/cupsd.conf" <<EOF
Listen $dir/cups.sock
LogLevel info
Browsing Off
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
cat > "$dir/cups-files.conf" <<EOF
ServerRoot $dir
ServerBin $dir/bin
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/spool
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
SystemGroup root
EOF

"$cupsd" -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 &
echo $! > "$dir/cupsd.pid"

export CUPS_SERVER="$dir/cups.sock"
i=0
# lpstat -r answers 0 whether or not the scheduler runs: read what it says.
until [ -S "$dir/cups.sock" ] && lpstat -r 2>/dev/null | grep -q "scheduler is running"; do
  i=$((i + 1))
  if [ $i -gt 500 ]; then
    echo "the scheduler did not start; see $dir/log" >&2
    cat "$dir/log/cupsd.out" "$dir/log/error_log" >&2 2>/dev/null || true
    exit 1
  fi
  sleep 0.02
done
# A raw queue: the backend gets the PDF the program made, unchanged.
lpadmin -p kalvor -E -v "pdfdir:$dir/out" -m raw 2>/dev/null
# The default of this scheduler only; the machine's own stays as it is.
lpadmin -d kalvor
lpstat -p kalvor >/dev/null
echo "$dir/cups.sock"
