#!/usr/bin/env bash
# Keys pressed in the real window sound exactly their clips, and Exit saves the profile.
# $1: the program, $2: the clip dump tool.
PROGRAM=$1 CLIPS=$2
if [ -z "${E2E_UNDER_XVFB:-}" ]; then
  E2E_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"

"$PROGRAM" & PROGRAM_PID=$!
WID=$(wait_window Vantrel) || fail "the window Vantrel did not appear"
xdotool windowfocus --sync "$WID" 2>/dev/null || true
sleep 0.5
# The focus starts on "1"; Tab follows the template: 1 2 3 4 5 6 7 8 9 0 * # ...
keys space                      # 1
keys Tab Tab Tab Tab space      # 5
keys Tab Tab Tab Tab Tab Tab Tab space   # #
# From "#": A B C D BS Clear - Wait Dial Stop Copy (row 1) Copy Delete Save Load (Speaker)
# Option Help Exit; the checked radio buttons are tab stops.
keys Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab space
for _ in $(seq 50); do kill -0 $PROGRAM_PID 2>/dev/null || break; sleep 0.2; done
kill -0 $PROGRAM_PID 2>/dev/null && fail "Exit did not end the program"
wait $PROGRAM_PID || fail "the program exited with status $?"

[ -s "$RECORDING" ] || fail "nothing was played"
"$CLIPS" '15#' "$RECORDING" || fail "the recording is not exactly the clips of 1, 5, # with silence between"
grep -qx 'LastDial=15#' "$XDG_CONFIG_HOME/vantrel.ini" || fail "LastDial not saved: $(cat "$XDG_CONFIG_HOME/vantrel.ini")"
echo "keypad sound: 3 clips recorded exactly, profile written"
