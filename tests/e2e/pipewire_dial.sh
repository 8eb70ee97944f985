#!/usr/bin/env bash
# A speaker dial through PipeWire with its stock settings (the ALSA pipewire
# plugin), recorded with PipeWire's own recorder from the sink, is heard by a
# strict receiver as every symbol in order, equal neighbours included.
# $1: the program, $3: the decoder.
PROGRAM=$1 DECODE=$3
if [ -z "${E2E_UNDER_XVFB:-}" ]; then
  # A display number of its own, away from the one the other runs try first.
  E2E_UNDER_XVFB=1 exec xvfb-run -a -n $((300 + RANDOM % 600)) -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/lib.sh"
source "$HERE/lib_sound_servers.sh"
RECORDER_PID=
trap 'kill ${PROGRAM_PID:-0} 2>/dev/null || true; [ -n "$RECORDER_PID" ] && kill "$RECORDER_PID" 2>/dev/null || true
      stop_sound_servers; rm -rf "$E2E_TMP"' EXIT

start_pipewire || fail "PipeWire did not start: $(tail -5 "$XDG_RUNTIME_DIR"/*.log)"
alsa_default pipewire
record_sink > "$E2E_TMP/heard.raw" 2>"$E2E_TMP/recorder.log" & RECORDER_PID=$!
wait_recorder_linked || fail "the recorder did not reach the sink: $(cat "$E2E_TMP/recorder.log")"

DIAL='0123456789ABCD*#1155'
mkdir -p "$XDG_CONFIG_HOME"
printf '[Dial]\nLastDial=%s\n' "$DIAL" > "$XDG_CONFIG_HOME/vantrel.ini"
"$PROGRAM" & PROGRAM_PID=$!
WID=$(wait_window Vantrel) || fail "the window Vantrel did not appear"
xdotool windowfocus --sync "$WID" 2>/dev/null || true
sleep 0.5
# From "1" to Dial is twenty tab stops.
keys $(printf 'Tab %.0s' $(seq 20)) space
# Until the whole dial has been heard, however slow the machine (20 s at most).
for _ in $(seq 40); do
  sleep 0.5
  [ "$("$DECODE" --receiver "$E2E_TMP/heard.raw" 48000)" = "$DIAL" ] && break
done
sleep 0.5
# From Dial to Exit is eleven (the checked row and Speaker are tab stops too).
keys $(printf 'Tab %.0s' $(seq 11)) space
for _ in $(seq 50); do kill -0 $PROGRAM_PID 2>/dev/null || break; sleep 0.2; done
kill -0 $PROGRAM_PID 2>/dev/null && fail "the program did not close"
wait $PROGRAM_PID || fail "the program exited with status $?"
sleep 0.3
kill "$RECORDER_PID"; wait "$RECORDER_PID" 2>/dev/null || true; RECORDER_PID=

HEARD=$("$DECODE" --receiver "$E2E_TMP/heard.raw" 48000)
[ "$HEARD" = "$DIAL" ] || fail "a receiver heard '$HEARD', dialled '$DIAL'"
echo "PipeWire dial: a receiver heard $HEARD"
