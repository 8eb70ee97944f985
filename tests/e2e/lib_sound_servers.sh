# Private sound servers for the end-to-end test and the listener benchmark, each
# in the caller's own XDG_RUNTIME_DIR and HOME (set and created before these
# are called), so that parallel runs never meet. Sourced, not run.
#
#   start_pipewire        PipeWire with its stock settings, WirePlumber, and a
#                         sink with no hardware behind it ("vantrel-sink")
#   start_pipewire_pulse  PipeWire's PulseAudio server on top of that
#   start_pulseaudio FIFO PulseAudio whose only sink writes to FIFO in real time
#   alsa_default pipewire|pulse
#                         points ALSA's default device at that server
#   record_sink           PipeWire's recorder on what vantrel-sink renders:
#                         48 kHz mono s16 to stdout (run it in the background)
#   wait_recorder_linked  waits until the recorder takes from vantrel-sink
#   stop_sound_servers    ends all the servers started here

# The ALSA plugin of PipeWire, unpacked by scripts/install-deps (the Debian
# package would replace PulseAudio's ALSA default).
PIPEWIRE_ALSA_DIR=${PIPEWIRE_ALSA_DIR:-/usr/local/lib/vantrel-test/pipewire-alsa}
SOUND_SERVER_PIDS=()

# Runs a server in the background and notes its pid for stop_sound_servers.
_sound_server() {
  local log=$1; shift
  "$@" >"$log" 2>&1 &
  SOUND_SERVER_PIDS+=($!)
}

_wait_for() {
  local what=$1; shift
  for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "sound servers: $what did not come up" >&2
  return 1
}

start_pipewire() {
  local conf=$XDG_CONFIG_HOME/pipewire/pipewire.conf.d
  mkdir -p "$conf"
  # The stock configuration plus one sink; its graph is driven by a timer, so
  # no sound card is needed, at the stock rate and quantum.
  cat > "$conf/vantrel-sink.conf" <<'CONF'
context.objects = [
    { factory = adapter
        args = {
            factory.name     = support.null-audio-sink
            node.name        = vantrel-sink
            node.description = "Vantrel test sink"
            media.class      = Audio/Sink
            object.linger    = true
            audio.position   = [ FL FR ]
        }
    }
]
CONF
  # WirePlumber needs a session bus; a private one.
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
  _sound_server "$XDG_RUNTIME_DIR/dbus.log" dbus-daemon --session --nofork --nopidfile \
    --address="$DBUS_SESSION_BUS_ADDRESS"
  _wait_for "the session bus" test -S "$XDG_RUNTIME_DIR/bus" || return 1
  _sound_server "$XDG_RUNTIME_DIR/pipewire.log" pipewire
  _wait_for "PipeWire" pw-cli info 0 || return 1
  _sound_server "$XDG_RUNTIME_DIR/wireplumber.log" wireplumber
  # Streams go to the default sink, once WirePlumber has chosen it.
  _wait_for "WirePlumber's default sink" wpctl inspect @DEFAULT_AUDIO_SINK@ || return 1
}

start_pipewire_pulse() {
  _sound_server "$XDG_RUNTIME_DIR/pipewire-pulse.log" pipewire-pulse
  _wait_for "pipewire-pulse" pactl info
}

start_pulseaudio() {
  local fifo=$1
  # -n: none of the default modules, so no real card is probed. The pipe sink
  # keeps to the system clock, so what it writes is what a card would play.
  _sound_server "$XDG_RUNTIME_DIR/pulseaudio.log" pulseaudio -n --daemonize=no \
    --exit-idle-time=-1 --disallow-exit --load=module-native-protocol-unix \
    --load="module-pipe-sink sink_name=vantrel-sink file=$fifo format=s16le rate=22050 channels=1 use_system_clock_for_timing=yes" \
    --log-target=stderr
  _wait_for "PulseAudio" pactl info
}

alsa_default() {
  # A missing server must not be replaced by one started behind our back.
  mkdir -p "$HOME/.config/pulse"
  echo "autospawn = no" > "$HOME/.config/pulse/client.conf"
  case $1 in
    pipewire) cat > "$HOME/.asoundrc" <<ASOUND ;;
pcm_type.pipewire { lib "$PIPEWIRE_ALSA_DIR/libasound_module_pcm_pipewire.so" }
ctl_type.pipewire { lib "$PIPEWIRE_ALSA_DIR/libasound_module_ctl_pipewire.so" }
pcm.!default { type pipewire }
ctl.!default { type pipewire }
ASOUND
    pulse) printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' > "$HOME/.asoundrc" ;;
  esac
}

record_sink() {
  # A recorder that keeps up whatever else runs, where the system allows it.
  local rt=()
  chrt -f 20 true 2>/dev/null && rt=(chrt -f 20)
  # Unbuffered, so that each graph cycle's sound leaves as soon as it was
  # rendered, and a reader can tell when that was.
  exec "${rt[@]}" stdbuf -o0 pw-record --target vantrel-sink -P '{ stream.capture.sink = true }' \
    --rate 48000 --channels 1 --format s16 -
}

wait_recorder_linked() {
  _wait_for "the recorder's link to the sink" sh -c 'pw-link -l | grep -q "|-> pw-record:"'
}

stop_sound_servers() {
  local i
  for (( i = ${#SOUND_SERVER_PIDS[@]} - 1; i >= 0; i-- )); do
    kill "${SOUND_SERVER_PIDS[i]}" 2>/dev/null || true
    wait "${SOUND_SERVER_PIDS[i]}" 2>/dev/null || true
  done
  SOUND_SERVER_PIDS=()
}
