#!/bin/bash
# What a listener hears: the real program dials and plays keys through a
# private sound server while the server's sink is recorded (what it rendered,
# which a late stream cannot take back), and `aplay`, one process per tone, does
# the same as a baseline. Paths: (a) PipeWire with its stock settings through
# ALSA's pipewire plugin, (b) PipeWire through pipewire-pulse and ALSA's pulse
# plugin, (c) PulseAudio with a pipe sink at 22050 Hz; each idle and with two
# busy loops hogging the CPUs. Run by hand, not a test:
#   tests/bench/listener_bench.sh [options] [program]
#     -n N          dials of 0123456789ABCD*# at each PlayWait, fresh key
#                   presses, and key presses 0.5 s apart (10)
#     -a N          aplay dials and single tones (N)
#     -p PATHS      paths to run, of a b c (abc)
#     -l LOADS      idle, hogs or both (idle,hogs)
#     -k SECONDS    silence before each key press, long enough for the
#                   program to drop its stream, so each press opens a new one (3)
# The program defaults to a release build in build/timing.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
n=10 aplay_n= paths=abc loads=idle,hogs key_pause=3
while getopts n:a:p:l:k: opt; do
    case $opt in
        n) n=$OPTARG ;; a) aplay_n=$OPTARG ;; p) paths=$OPTARG ;; l) loads=$OPTARG ;;
        k) key_pause=$OPTARG ;; *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
aplay_n=${aplay_n:-$n}
program=${1:-$root/build/timing/vantrel}
dial=0123456789ABCD*#

if [ ! -x "$program" ]; then
    cmake -S "$root" -B "$root/build/timing" -DCMAKE_BUILD_TYPE=Release -DVANTREL_TESTS=OFF >/dev/null
    cmake --build "$root/build/timing" -j2 --target vantrel >/dev/null
    program=$root/build/timing/vantrel
fi
if [ -z "${LISTENER_BENCH_UNDER_XVFB:-}" ]; then
    LISTENER_BENCH_UNDER_XVFB=1 exec xvfb-run -a -n $((300 + RANDOM % 600)) -s "-screen 0 1024x768x24" \
        bash "$0" -n "$n" -a "$aplay_n" -p "$paths" -l "$loads" -k "$key_pause" "$program"
fi

work=$(mktemp -d /tmp/vantrel-listener-XXXXXX)
source "$root/tests/e2e/lib_sound_servers.sh"
source "$root/tests/e2e/lib_window.sh"
tool=$work/listener_bench
g++ -std=c++20 -O2 -I"$root/tests" "$root/tests/bench/listener_bench.cpp" -lX11 \
    "$(ls /usr/lib/*/libXtst.so* | head -1)" -o "$tool"
g++ -std=c++20 -O2 -I"$root/src" "$root/tests/e2e/clip_dump.cpp" "$root/src/output/tones.cpp" \
    -o "$work/clip_dump"
for (( i = 0; i < ${#dial}; i++ )); do
    c=${dial:i:1}
    printf 'RIFF\x60\x11\x00\x00WAVEfmt \x12\x00\x00\x00\x01\x00\x01\x00\x22\x56\x00\x00\x44\xac\x00\x00\x02\x00\x10\x00\x00\x00data\x3a\x11\x00\x00' \
        > "$work/tone$i.wav"
    "$work/clip_dump" "$c" >> "$work/tone$i.wav"
done

program_pid= recorder_pid= copier_pid= hogs=()
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    for h in "${hogs[@]}"; do kill "$h" 2>/dev/null || true; done
    [ -n "$recorder_pid" ] && kill "$recorder_pid" 2>/dev/null || true
    stop_sound_servers
    rm -rf "$work"
}
trap cleanup EXIT

tabs() { printf '%s ' $(yes "$1" | head -"$2"); }
pause_ms() { sleep "$(awk "BEGIN { print $1 / 1000 }")"; }

# One run of the program: N dials at PLAY_WAIT and, with KEYS, N key presses
# each on a fresh stream.
run_program() {
    local play_wait=$1 keys=$2 wid
    rm -rf "$HOME/.config/vantrel.ini"
    mkdir -p "$HOME/.config"
    printf '[Dial]\nLastDial=%s\n[Flag and Numeric]\nPlayWait=%s\n' "$dial" "$play_wait" \
        > "$HOME/.config/vantrel.ini"
    XDG_CONFIG_HOME=$HOME/.config "$program" & program_pid=$!
    wid=$(wait_window Vantrel) || { echo "the window did not appear" >&2; exit 1; }
    xdotool windowfocus --sync "$wid" 2>/dev/null || true
    sleep 1
    # The focus starts on "1"; twenty tab stops on is Dial.
    xdotool key --delay 100 $(tabs Tab 20)
    sleep "$key_pause"
    for _ in $(seq "$n"); do
        echo "dial $dial $play_wait $("$tool" press space)" >> "$events"
        pause_ms $(( ${#dial} * (100 + play_wait) + 700 ))
    done
    if [ "$keys" = keys ]; then
        xdotool key --delay 100 $(tabs shift+Tab 20)
        for _ in $(seq "$n"); do
            sleep "$key_pause"
            echo "key 1 0 $("$tool" press space)" >> "$events"
        done
        # Typing: each key while the last one's stream still runs.
        for _ in $(seq "$n"); do
            sleep 0.5
            echo "key-typing 1 0 $("$tool" press space)" >> "$events"
        done
        sleep 1
        xdotool key --delay 100 $(tabs Tab 20)
    fi
    # From Dial to Exit is eleven tab stops (the checked row and Speaker among them).
    xdotool key --delay 100 $(tabs Tab 11) space
    for _ in $(seq 50); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.2; done
    wait "$program_pid" || { echo "the program exited with status $?" >&2; exit 1; }
    program_pid=
}

run_aplay() {
    local t
    for _ in $(seq "$aplay_n"); do
        t=$("$tool" now)
        echo "aplay-dial $dial 0 $t $t" >> "$events"
        for (( i = 0; i < ${#dial}; i++ )); do aplay -q "$work/tone$i.wav"; sleep 0.01; done
        sleep 1
    done
    for _ in $(seq "$aplay_n"); do
        t=$("$tool" now)
        echo "aplay-key 1 0 $t $t" >> "$events"
        aplay -q "$work/tone1.wav"
        sleep 1
    done
}

row() {
    local path=$1 load=$2 rate
    export XDG_RUNTIME_DIR=$work/$path-$load/run HOME=$work/$path-$load/home
    export XDG_CONFIG_HOME=$HOME/.config XDG_STATE_HOME=$HOME/.local/state
    mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" && chmod 700 "$XDG_RUNTIME_DIR"
    events=$work/$path-$load/events prefix=$work/$path-$load/rec
    : > "$events"
    mkfifo "$work/$path-$load/sink"
    case $path in
        a|b)
            start_pipewire
            if [ "$path" = b ]; then start_pipewire_pulse; alsa_default pulse; else alsa_default pipewire; fi
            chrt -f 20 "$tool" record "$prefix" < "$work/$path-$load/sink" &
            record_sink > "$work/$path-$load/sink" 2>"$work/$path-$load/recorder.log" & recorder_pid=$!
            wait_recorder_linked
            rate=48000 ;;
        c)
            start_pulseaudio "$work/$path-$load/sink"
            chrt -f 20 "$tool" record "$prefix" < "$work/$path-$load/sink" & recorder_pid=$!
            alsa_default pulse
            rate=22050 ;;
    esac
    if [ "$load" = hogs ]; then
        yes >/dev/null & hogs+=($!)
        yes >/dev/null & hogs+=($!)
    fi
    sleep 1
    run_program 10 keys
    run_program 50 no-keys
    run_aplay
    for h in "${hogs[@]}"; do kill "$h" 2>/dev/null || true; done
    hogs=()
    sleep 0.5
    if [ "$path" = c ]; then
        stop_sound_servers  # the pipe closes, and the recorder ends
        wait "$recorder_pid" || true
    else
        kill "$recorder_pid"; wait "$recorder_pid" || true
        stop_sound_servers
    fi
    recorder_pid=
    case $path in
        a) echo "=== (a) PipeWire, ALSA pipewire plugin, $load" ;;
        b) echo "=== (b) PipeWire through pipewire-pulse, ALSA pulse plugin, $load" ;;
        c) echo "=== (c) PulseAudio, pipe sink 22050 Hz, $load" ;;
    esac
    "$tool" analyse "$prefix" "$rate" "$events"
    if [ -n "${LISTENER_BENCH_KEEP:-}" ]; then
        mkdir -p "$LISTENER_BENCH_KEEP/$path-$load"
        cp "$prefix".* "$events" "$LISTENER_BENCH_KEEP/$path-$load/"
    fi
}

echo "program $program; $n dials per PlayWait and $n key presses ($key_pause s apart), $aplay_n aplay dials and tones"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for path in $(echo "$paths" | grep -o .); do
    for load in ${loads//,/ }; do
        row "$path" "$load"
        echo "load average now: $(cut -d' ' -f1-3 /proc/loadavg)"
    done
done
