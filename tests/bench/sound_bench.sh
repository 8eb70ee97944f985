#!/bin/bash
# Times the ALSA sound output against a private PulseAudio server with a null
# sink. Run by hand: tests/bench/sound_bench.sh [plays]
# The recorder on the sink's monitor asks for 5 ms blocks, which also keeps
# the null sink rendering in small blocks the way a sound card would; without
# it the null sink renders in 2 s blocks and every drain waits for one.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
plays=${1:-50}
block=${2:-5}
work=$(mktemp -d /tmp/vantrel-sound-bench-XXXXXX)
export XDG_RUNTIME_DIR=$work/run HOME=$work/home
mkdir -p "$XDG_RUNTIME_DIR" "$HOME"
chmod 700 "$XDG_RUNTIME_DIR"
cleanup() {
    pulseaudio --kill 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

g++ -std=c++20 -O2 -I"$root/src" -I"$root/tests" "$root/tests/bench/sound_bench.cpp" \
    "$root/src/platform/alsa/alsa_sound.cpp" "$root/src/output/tones.cpp" \
    -lasound -pthread -o "$work/sound_bench"

# -n: none of the default modules, so no real card is probed.
pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit --use-pid-file=yes \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=bench rate=22050" \
    --log-target=file:"$work/pulse.log"
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done

printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' > "$HOME/.asoundrc"
"$work/sound_bench" --plays "$plays" --monitor bench.monitor --monitor-latency-ms "$block"
