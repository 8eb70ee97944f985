#!/usr/bin/env bash
# A speaker dial of every symbol, recorded from the sound device, decodes to the
# dial string in order. $1: the program, $2: the clip dump tool, $3: the decoder.
PROGRAM=$1 DECODE=$3
if [ -z "${E2E_UNDER_XVFB:-}" ]; then
  E2E_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"

DIAL='0123456789ABCD*#'
mkdir -p "$XDG_CONFIG_HOME"
printf '[Dial]\nLastDial=%s\n' "$DIAL" > "$XDG_CONFIG_HOME/vantrel.ini"

"$PROGRAM" & PROGRAM_PID=$!
WID=$(wait_window Vantrel) || fail "the window Vantrel did not appear"
xdotool windowfocus --sync "$WID" 2>/dev/null || true
sleep 0.5
# From "1" to Dial is twenty tab stops.
keys $(printf 'Tab %.0s' $(seq 20)) space
sleep 3
# From Dial to Exit is eleven (the checked row and Speaker are tab stops too).
keys $(printf 'Tab %.0s' $(seq 11)) space
for _ in $(seq 50); do kill -0 $PROGRAM_PID 2>/dev/null || break; sleep 0.2; done
kill -0 $PROGRAM_PID 2>/dev/null && fail "the program did not close"
wait $PROGRAM_PID || fail "the program exited with status $?"

HEARD=$("$DECODE" "$RECORDING")
[ "$HEARD" = "$DIAL" ] || fail "decoded '$HEARD', dialled '$DIAL'"
echo "speaker dial: decoded $HEARD"
