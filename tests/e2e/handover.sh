#!/usr/bin/env bash
# A number given to a new copy reaches the first window, whatever else went on:
# a second copy started without a number and closed again, two thousand idle
# connections to the first, the first stopped for seven seconds while a --dial
# waits (which then dials once, not twice). Each case starts a fresh first copy.
# $1: the program, $3: the tone decoder, $4: the connection flood tool.
PROGRAM=$1 DECODE=$3 FLOOD=$4
# The server must not reset when the last window of a case closes.
if [ -z "${E2E_UNDER_XVFB:-}" ]; then
  E2E_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"
# What a desktop session gives a program; the idle connections outnumber it.
ulimit -Sn 1024
SOCKET=$XDG_RUNTIME_DIR/vantrel-instance
mkdir -p "$XDG_CONFIG_HOME"
PIDS=()
trap 'kill "${PIDS[@]}" 2>/dev/null || true; rm -rf "$E2E_TMP"' EXIT
FAILURES=0
failed() { echo "FAIL: $*" >&2; FAILURES=$((FAILURES + 1)); }

windows() { xdotool search --onlyvisible --name '^Vantrel$' 2>/dev/null || true; }
# Waits up to 20 s for the window of process $1; prints its id.
window_of() {
  for _ in $(seq 100); do
    for w in $(windows); do
      [ "$(xdotool getwindowpid "$w" 2>/dev/null)" = "$1" ] && { echo "$w"; return 0; }
    done
    sleep 0.2
  done
  return 1
}
# Waits up to 10 s for process $1 to end; kills it if it does not. False then.
ended() {
  for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || { wait "$1"; return; }; sleep 0.1; done
  kill "$1" 2>/dev/null; wait "$1" 2>/dev/null; return 1
}
start_first() {
  printf '[Dial]\nLastDial=111\n' > "$XDG_CONFIG_HOME/vantrel.ini"
  "$PROGRAM" & FIRST=$!
  PIDS+=("$FIRST")
  FIRST_WID=$(window_of "$FIRST") || fail "the first window did not appear"
}
# Closes the first window and anything else still open; SAVED is the number
# the first window saved.
close_first() {
  xdotool windowfocus --sync "$FIRST_WID" 2>/dev/null || true
  keys alt+F4
  ended "$FIRST" || failed "the first copy did not close"
  kill "${PIDS[@]}" 2>/dev/null || true
  SAVED=$(sed -n 's/^LastDial=//p' "$XDG_CONFIG_HOME/vantrel.ini")
}
# Gives a number to a new copy, which is to hand it over and end.
hand_over() {
  "$PROGRAM" "$@" & local pid=$!
  PIDS+=("$pid")
  ended "$pid"
}

# A second copy started without a number leaves the first serving.
start_first
"$PROGRAM" & SECOND=$!
PIDS+=("$SECOND")
SECOND_WID=$(window_of "$SECOND") || fail "the second window did not appear"
xdotool windowfocus --sync "$SECOND_WID" 2>/dev/null || true
keys alt+F4
ended "$SECOND" || failed "the second copy did not close"
hand_over 0311 || failed "with a second copy closed, the new copy did not hand its number over"
[ "$(windows | wc -l)" -eq 1 ] || failed "$(windows | wc -l) windows after the hand-over"
close_first
[ "$SAVED" = 0311 ] || failed "the first window saved '$SAVED', not the number handed over"

# Idle connections by the thousand neither use up the first copy's descriptors
# nor keep a hand-over out.
start_first
"$FLOOD" "$SOCKET" 2000 > "$E2E_TMP/flood" & PIDS+=($!)
for _ in $(seq 600); do [ -s "$E2E_TMP/flood" ] && break; sleep 0.1; done
echo "idle connections made: $(cat "$E2E_TMP/flood")"
hand_over 0422 || failed "after 2000 idle connections, the new copy did not hand its number over"
close_first
[ "$SAVED" = 0422 ] || failed "after 2000 idle connections the first window saved '$SAVED'"

# The first copy stopped for 7 s: the new copy waits, and the number is dialled
# once. The new copy has a sound device of its own, to hear whether it dials.
start_first
mkdir -p "$E2E_TMP/second"
sed "s|$RECORDING|$E2E_TMP/second.raw|" "$HOME/.asoundrc" > "$E2E_TMP/second/.asoundrc"
kill -STOP "$FIRST"
HOME=$E2E_TMP/second "$PROGRAM" --dial 0311 & SECOND=$!
PIDS+=("$SECOND")
sleep 7
kill -CONT "$FIRST"
ended "$SECOND" || failed "the new copy did not end once the first answered"
sleep 2
close_first
[ "$SAVED" = 0311 ] || failed "after the stop the first window saved '$SAVED'"
HEARD=$("$DECODE" "$RECORDING")
[ "$HEARD" = 0311 ] || failed "the first copy dialled '$HEARD', not 0311 once"
if [ -s "$E2E_TMP/second.raw" ]; then
  HEARD=$("$DECODE" "$E2E_TMP/second.raw")
  [ -z "$HEARD" ] || failed "the new copy dialled '$HEARD' as well"
fi

[ "$FAILURES" -eq 0 ] || exit 1
echo "hand-over: past a closed second copy, 2000 idle connections and a stopped first copy"
