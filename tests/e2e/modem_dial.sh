#!/usr/bin/env bash
# A modem dial against a modem on a pty that answers OK, then BUSY: the lines
# arrive byte for byte, and the port is let go once the modem has answered.
# $1: the program. SCREENSHOT=file.png keeps a picture of the window showing
# the answer.
PROGRAM=$1
if [ -z "${E2E_UNDER_XVFB:-}" ]; then
  E2E_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"

# The modem: answers each command line, BUSY to a dial after a second.
cat > "$E2E_TMP/modem.sh" <<'MODEM'
while IFS= read -r -d $'\r' line; do
  line=${line#$'\n'}
  case $line in
    AT*D*) sleep 1; printf '\r\nBUSY\r\n' ;;
    AT*) printf '\r\nOK\r\n' ;;
  esac
done
MODEM
HEARD=$E2E_TMP/heard
socat pty,raw,echo=0,wait-slave,link="$E2E_TMP/ttyModem" \
  SYSTEM:"tee -a '$HEARD' | bash '$E2E_TMP/modem.sh'" & MODEM_PID=$!
for _ in $(seq 50); do [ -e "$E2E_TMP/ttyModem" ] && break; sleep 0.1; done
[ -e "$E2E_TMP/ttyModem" ] || fail "socat made no pty"

mkdir -p "$XDG_CONFIG_HOME"
printf '[Flag and Numeric]\nOutputDevice=1\n[Dial]\nLastDial=0123\n[Modem]\nModemInitWait=500\n[Ports]\nCOM1=%s\n' \
  "$E2E_TMP/ttyModem" > "$XDG_CONFIG_HOME/vantrel.ini"

"$PROGRAM" & PROGRAM_PID=$!
WID=$(wait_window Vantrel) || fail "the window Vantrel did not appear"
xdotool windowfocus --sync "$WID" 2>/dev/null || true
sleep 0.5
# From "1" to Dial is twenty tab stops.
keys $(printf 'Tab %.0s' $(seq 20)) space
# The modem answers BUSY about 1.5 s after Dial. Having read it, the program
# lets the port go (socat sees its pty closed and ends) and shows the answer
# for 3 s.
for _ in $(seq 100); do kill -0 $MODEM_PID 2>/dev/null || break; sleep 0.1; done
kill -0 $MODEM_PID 2>/dev/null && { kill $MODEM_PID; fail "the port is still held after BUSY"; }
if [ -n "${SCREENSHOT:-}" ]; then import -window root "$SCREENSHOT"; fi
# From Dial to Exit is eleven (the checked row and Speaker are tab stops too).
keys $(printf 'Tab %.0s' $(seq 11)) space
for _ in $(seq 50); do kill -0 $PROGRAM_PID 2>/dev/null || break; sleep 0.2; done
kill -0 $PROGRAM_PID 2>/dev/null && fail "Exit did not close the program"
wait $PROGRAM_PID || fail "the program exited with status $?"

EXPECTED=$(printf 'ATZ\r\r\nATDT0123\r\r\n' | od -An -c)
GOT=$(od -An -c < "$HEARD")
[ "$GOT" = "$EXPECTED" ] || fail "the modem heard: $GOT"
echo "modem dial: ATZ and ATDT0123 heard exactly, port let go after BUSY"
