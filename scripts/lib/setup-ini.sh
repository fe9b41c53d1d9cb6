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
