# Sourced by the scripts that prepare an installation.
# set_key DIR SECTION KEY VALUE: sets KEY=VALUE in [SECTION] of DIR/setup.ini
# (every key is there: mkinstall writes them all), keeping its CR LF line
# ends.
set_key() {
  LC_ALL=C awk -v section="[$2]" -v key="$3" -v value="$4" '
    { line = $0; sub(/\r$/, "", line) }
    line ~ /^\[/ { current = line }
    current == section && index(line, key "=") == 1 { $0 = key "=" value "\r" }
    { print }' "$1/setup.ini" >"$1/setup.ini.new"
  mv "$1/setup.ini.new" "$1/setup.ini"
}

# wait_for_line FILE: waits until linesim, its output going to FILE, says
# the line is ready (at most ten seconds).
wait_for_line() {
  i=0
  until grep -q ready "$1"; do
    i=$((i + 1))
    if [ $i -gt 100 ]; then echo "linesim did not start" >&2; exit 1; fi
    sleep 0.1
  done
}
