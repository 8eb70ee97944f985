#!/usr/bin/env bash
# The command line: --help and --version without a display, a wrong option,
# and a tel: link given while Vantrel runs going to the running window.
# $1: the program.
PROGRAM=$1
if [ -z "${E2E_UNDER_XVFB:-}" ]; then
  # Before any display exists.
  OUT=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= ASAN_OPTIONS=detect_leaks=0 \
        "$PROGRAM" --help) || { echo "FAIL: --help exited with $?" >&2; exit 1; }
  grep -q '^Usage: vantrel ' <<<"$OUT" || { echo "FAIL: --help printed: $OUT" >&2; exit 1; }
  env -u DISPLAY ASAN_OPTIONS=detect_leaks=0 "$PROGRAM" --version | grep -qx 'vantrel [0-9.]*' ||
    { echo "FAIL: --version" >&2; exit 1; }
  set +e
  ERR=$(env -u DISPLAY ASAN_OPTIONS=detect_leaks=0 "$PROGRAM" --no-such-option 2>&1 >/dev/null)
  STATUS=$?
  set -e
  [ $STATUS -eq 2 ] && grep -q '^Usage: vantrel ' <<<"$ERR" ||
    { echo "FAIL: an unknown option gave status $STATUS and: $ERR" >&2; exit 1; }
  E2E_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"

mkdir -p "$XDG_CONFIG_HOME"
printf '[Dial]\nLastDial=111\nIntlPrefix=010\n' > "$XDG_CONFIG_HOME/vantrel.ini"

"$PROGRAM" & PROGRAM_PID=$!
WID=$(wait_window Vantrel) || fail "the window Vantrel did not appear"

# Message boxes are titled Vantrel too: the note is the visible one that is not this window.
MAIN=""
for _ in $(seq 100); do
  MAIN=$(xdotool search --onlyvisible --name '^Vantrel$' 2>/dev/null | head -1 || true)
  [ -n "$MAIN" ] && break
  sleep 0.2
done
[ -n "$MAIN" ] || fail "the window Vantrel is not visible"
note_box() { { xdotool search --onlyvisible --name '^Vantrel$' 2>/dev/null || true; } | { grep -vx "$MAIN" || true; } | head -1; }

"$PROGRAM" 'tel:+1(555)010.9999;ext=12' & SECOND_PID=$!
for _ in $(seq 100); do kill -0 $SECOND_PID 2>/dev/null || break; sleep 0.1; done
kill -0 $SECOND_PID 2>/dev/null && { kill $SECOND_PID; fail "the second copy did not end"; }
wait $SECOND_PID || fail "the second copy exited with status $?"
# The running window names what it left out of the link, and the box goes with Enter.
NOTE=""
for _ in $(seq 100); do NOTE=$(note_box); [ -n "$NOTE" ] && break; sleep 0.2; done
[ -n "$NOTE" ] || fail "no note about the link's ;ext=12"
xdotool windowactivate --sync "$NOTE" 2>/dev/null || xdotool windowfocus --sync "$NOTE" 2>/dev/null || true
keys Return
for _ in $(seq 50); do [ -z "$(note_box)" ] && break; sleep 0.1; done
[ -z "$(note_box)" ] || fail "the note did not close"
sleep 0.5
COUNT=$(xdotool search --onlyvisible --name '^Vantrel$' | wc -l)
[ "$COUNT" -eq 1 ] || fail "$COUNT windows named Vantrel, not one"

# The system Close saves the dial string the window shows.
xdotool windowfocus --sync "$WID" 2>/dev/null || true
keys alt+F4
for _ in $(seq 50); do kill -0 $PROGRAM_PID 2>/dev/null || break; sleep 0.2; done
kill -0 $PROGRAM_PID 2>/dev/null && fail "the program did not close"
wait $PROGRAM_PID || fail "the first copy exited with status $?"
grep -qx 'LastDial=01015550109999' "$XDG_CONFIG_HOME/vantrel.ini" ||
  fail "the number did not reach the first window: $(cat "$XDG_CONFIG_HOME/vantrel.ini")"
echo "command line: help and version without a display, tel: link taken by the running window"
