#!/bin/bash
# Times a real speaker dial: the program under Xvfb plays through ALSA into a
# private PulseAudio server with a null sink, whose monitor is recorded; the
# recording gives each gap between two tones, and the time from the Dial key
# to the first tone. Run by hand:
#   tests/bench/dial_timing.sh [runs] [dial] [program]
# PLAY_WAIT, CHAR_WAIT and MINUS_WAIT set the waits (10, 150, 100);
# DIAL_TIMING_KEEP names a directory that keeps the recordings.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${1:-3}
dial=${2:-0123456789ABCD*#}
program=${3:-$root/build/timing/vantrel}
play_wait=${PLAY_WAIT:-10} char_wait=${CHAR_WAIT:-150} minus_wait=${MINUS_WAIT:-100}

if [ ! -x "$program" ]; then
    cmake -S "$root" -B "$root/build/timing" -DCMAKE_BUILD_TYPE=Release -DVANTREL_TESTS=OFF >/dev/null
    cmake --build "$root/build/timing" -j2 --target vantrel >/dev/null
    program=$root/build/timing/vantrel
fi
if [ -z "${DIAL_TIMING_UNDER_XVFB:-}" ]; then
    # A display number of its own, away from those other runs pick first.
    DIAL_TIMING_UNDER_XVFB=1 exec xvfb-run -a -n $((300 + RANDOM % 600)) -s "-screen 0 1024x768x24" bash "$0" "$runs" "$dial" "$program"
fi

work=$(mktemp -d /tmp/vantrel-dial-timing-XXXXXX)
export XDG_RUNTIME_DIR=$work/run HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
program_pid= recorder_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    [ -n "$recorder_pid" ] && kill "$recorder_pid" 2>/dev/null || true
    if [ -s "$XDG_RUNTIME_DIR/pulse/pid" ]; then kill "$(cat "$XDG_RUNTIME_DIR/pulse/pid")" 2>/dev/null || true; fi
    sleep 0.2
    rm -rf "$work"
}
trap cleanup EXIT

g++ -std=c++20 -O2 -I"$root/src" -I"$root/tests" "$root/tests/bench/dial_timing.cpp" \
    "$root/src/output/tones.cpp" "$root/src/output/dial_step.cpp" -lX11 \
    "$(ls /usr/lib/*/libXtst.so* | head -1)" -o "$work/dial_timing"

# -n: none of the default modules, so no real card is probed.
pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit --use-pid-file=yes \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=bench rate=22050" \
    --log-target=file:"$work/pulse.log"
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' > "$HOME/.asoundrc"

source "$root/tests/e2e/lib_window.sh"
tabs() { printf 'Tab %.0s' $(seq "$1"); }

# Long enough for the dial: a tone and a gap per symbol, and every pause.
dial_ms=$(( ${#dial} * (100 + play_wait) ))
pauses=${dial//[^,-]/}
dial_ms=$(( dial_ms + ${#pauses} * (char_wait > minus_wait ? char_wait : minus_wait) ))

echo "program $program, dial $dial, PlayWait $play_wait, CharWait $char_wait, MinusWait $minus_wait"
for run in $(seq "$runs"); do
    printf '[Dial]\nLastDial=%s\n[Flag and Numeric]\nPlayWait=%s\nCharWait=%s\nMinusWait=%s\n' \
        "$dial" "$play_wait" "$char_wait" "$minus_wait" > "$XDG_CONFIG_HOME/vantrel.ini"
    "$work/dial_timing" record bench.monitor "$work/rec$run" & recorder_pid=$!
    # The null sink takes up the recorder's small blocks only after the 2 s
    # block it was rendering when the recorder connected.
    sleep 2.5
    "$program" & program_pid=$!
    wid=$(wait_window Vantrel) || { echo "the window did not appear" >&2; exit 1; }
    xdotool windowfocus --sync "$wid" 2>/dev/null || true
    sleep 0.5
    # The focus starts on "1"; twenty tab stops on is Dial.
    xdotool key --delay 100 $(tabs 20)
    sleep 0.3
    read -r before after < <("$work/dial_timing" press space)
    sleep "$(( dial_ms / 1000 + 1 )).$(( dial_ms % 1000 ))"
    # From Dial to Exit is eleven tab stops (the checked row and Speaker among them).
    xdotool key --delay 100 $(tabs 11) space
    for _ in $(seq 50); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.2; done
    wait "$program_pid" || { echo "the program exited with status $?" >&2; exit 1; }
    program_pid=
    kill "$recorder_pid"
    wait "$recorder_pid" || true
    recorder_pid=
    [ -n "${DIAL_TIMING_KEEP:-}" ] && cp "$work/rec$run.raw" "$work/rec$run.times" "$DIAL_TIMING_KEEP/"
    echo "--- run $run"
    "$work/dial_timing" analyse "$work/rec$run" "$dial" "$play_wait" "$char_wait" "$minus_wait" \
        "$before" "$after" | tee -a "$work/all"
done
echo "--- all runs"
grep -E '^(dialled|gaps due|other gaps|Dial key)' "$work/all" | sed 's/; block arrival.*//'
