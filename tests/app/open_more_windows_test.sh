#!/usr/bin/env bash
# open_more_windows_test.sh VIEWER HIVE [OUTDIR]
#
# The real viewer under a virtual X server (Xvfb): Ctrl+O in the main window,
# a path typed into the file dialog and Enter give a second main window, titled
# with that hive's name, in a process of its own; closing it leaves the first
# open; closing the first, the last, ends it with status 0. With OUTDIR, also
# writes the pictures a person looks at:
#   OUTDIR/menu.png     the context menu of the second window's key tree
#   OUTDIR/refusal.png  the refusal box of a version 1.5 hive, with its check box
# Skips (status 77) without Xvfb or xdotool. Settings go to a temporary folder.
set -euo pipefail

viewer="$1"
hive="$(realpath "$2")"
outdir="${3:-}"
for tool in Xvfb xdotool python3; do
  command -v "$tool" >/dev/null || { echo "open_more_windows_test: SKIPPED: no $tool"; exit 77; }
done
close_window="$(dirname "$0")/close_x_window.py"

work="$(mktemp -d /tmp/keyloom-open-XXXXXX)"
xvfb_pid=""
first_pid=""
second_pid=""
finish() {
  [ -n "$first_pid" ] && kill "$first_pid" 2>/dev/null || true
  [ -n "$second_pid" ] && kill "$second_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

export XDG_CONFIG_HOME="$work/config"
# In the sanitizer build: the D-Bus library Qt's X11 platform loads keeps one
# buffer to the end, which the leak check would report as the viewer's.
printf 'leak:libdbus-1.so\n' >"$work/lsan.supp"
export LSAN_OPTIONS="suppressions=$work/lsan.supp"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n 1 "$work/display")"

# Prints the id of the visible window with exactly this title; fails after 30 s.
window_id() {
  for _ in $(seq 300); do
    if id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)" && [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.1
  done
  fail "no window \"$1\" within 30 s"
}

# Waits until no process has this id; fails after 30 s.
wait_for_end() {
  for _ in $(seq 300); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  fail "process $1 still runs 30 s after its window was closed"
}

ln -s "$hive" "$work/SECOND.hive"
"$viewer" "$hive" &
first_pid=$!
first="$(window_id Keyloom)"
xdotool windowfocus --sync "$first"
xdotool key ctrl+o
dialog="$(window_id "Select RegistryFile")"
xdotool windowfocus --sync "$dialog"
xdotool type --delay 10 "$work/SECOND.hive"
xdotool key Return
second="$(window_id "Keyloom - SECOND.hive")"
second_pid="$(xdotool getwindowpid "$second")"
[ "$second_pid" != "$first_pid" ] || fail "the second window is in the first one's process"

if [ -n "$outdir" ]; then
  mkdir -p "$outdir"
  sleep 0.5
  xdotool mousemove --window "$second" 120 60 click 3
  sleep 0.7
  import -window root "$outdir/menu.png"
  xdotool key Escape
fi

python3 "$close_window" "$second"
wait_for_end "$second_pid"
ended_second="$second_pid"
second_pid=""
sleep 0.3
kill -0 "$first_pid" 2>/dev/null || fail "closing the second window ended the first"
[ "$(xdotool search --onlyvisible --name '^Keyloom$' | head -n 1)" = "$first" ] || fail "the first window is gone"
python3 "$close_window" "$first"
status=0
wait "$first_pid" || status=$?
first_pid=""
[ "$status" = 0 ] || fail "the last window closed with status $status"

if [ -n "$outdir" ]; then
  # A version 1.5 copy of the hive: minor version at 0x18, checksum at 0x1FC.
  python3 - "$hive" "$work/NEWER.hive" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
struct.pack_into("<I", data, 0x18, 5)
checksum = 0
for offset in range(0, 0x1FC, 4):
    checksum ^= struct.unpack_from("<I", data, offset)[0]
struct.pack_into("<I", data, 0x1FC, {0: 1, 0xFFFFFFFF: 0xFFFFFFFE}.get(checksum, checksum))
open(sys.argv[2], "wb").write(data)
PY
  "$viewer" "$work/NEWER.hive" &
  first_pid=$!
  window_id Keyloom >/dev/null
  sleep 0.5
  import -window root "$outdir/refusal.png"
  echo "open_more_windows_test: wrote $outdir/menu.png and $outdir/refusal.png"
fi
echo "open_more_windows_test: second window \"Keyloom - SECOND.hive\" in process $ended_second; first ended with 0"
