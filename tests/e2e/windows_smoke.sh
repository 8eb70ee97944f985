#!/usr/bin/env bash
# The Windows program under Wine and Xvfb: the window appears, the focused key
# "1" plays exactly its clip through Wine's sound output (32-bit winealsa, whose
# ALSA default device the private HOME redirects to a file), and Exit writes
# the profile to %APPDATA%\vantrel.ini.
# $1: vantrel.exe, $2: the Wine prefix, $3: the folder of the built tone clips.
PROGRAM=$1 PREFIX=$2 CLIP_DIR=$3
if [ -z "${E2E_UNDER_XVFB:-}" ]; then
  E2E_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/lib.sh"
WINE_RUN=$HERE/../../cmake/wine-run.sh

# Sound through ALSA, whatever sound server happens to run on this machine.
bash "$WINE_RUN" "$PREFIX" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d alsa /f >/dev/null 2>&1 ||
  fail "could not choose Wine's ALSA driver"
APPDATA_WIN=$(bash "$WINE_RUN" "$PREFIX" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
PROFILE=$(bash "$WINE_RUN" "$PREFIX" winepath -u "$APPDATA_WIN\\vantrel.ini" 2>/dev/null)
[ -n "$PROFILE" ] || fail "no application-data folder in the Wine prefix"
rm -f "$PROFILE" "$PROFILE.lock"

bash "$WINE_RUN" "$PREFIX" "$PROGRAM" & PROGRAM_PID=$!
WID=$(wait_window Vantrel) || fail "the window Vantrel did not appear"
xdotool windowfocus --sync "$WID" 2>/dev/null || true
sleep 1
keys space                      # the focus starts on "1"
sleep 0.5
import -window root "$(dirname "$PROGRAM")/windows_smoke.png" 2>/dev/null || true
keys shift+Tab shift+Tab space  # back past the slider to Exit
for _ in $(seq 75); do kill -0 $PROGRAM_PID 2>/dev/null || break; sleep 0.2; done
kill -0 $PROGRAM_PID 2>/dev/null && fail "Exit did not end the program"
wait $PROGRAM_PID || fail "the program exited with status $?"

# The clip's samples, byte for byte, then nothing but silence.
CLIP=$E2E_TMP/clip.raw
tail -c +47 "$CLIP_DIR/dtmf_2002.wav" > "$CLIP"
[ -s "$RECORDING" ] || fail "nothing was played"
cmp -s -n "$(stat -c %s "$CLIP")" "$CLIP" "$RECORDING" ||
  fail "the recording is not the clip of 1 ($(stat -c %s "$RECORDING") bytes recorded)"
[ "$(stat -c %s "$RECORDING")" -ge "$(stat -c %s "$CLIP")" ] || fail "the clip was cut short"
[ -z "$(tail -c +$(( $(stat -c %s "$CLIP") + 1 )) "$RECORDING" | tr -d '\0' | head -c 1)" ] ||
  fail "something other than silence followed the clip"

[ -f "$PROFILE" ] || fail "Exit wrote no profile at $PROFILE"
grep -qx 'LastDial=1' "$PROFILE" ||
  fail "LastDial not saved: $(cat "$PROFILE")"
echo "windows smoke: window shown, clip of 1 recorded exactly ($(stat -c %s "$RECORDING") bytes), profile written to $APPDATA_WIN\\vantrel.ini"
