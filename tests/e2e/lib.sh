# Shared by the end-to-end scripts: a private HOME whose ALSA default device
# records to a file, and the program started under Xvfb.
set -euo pipefail

E2E_TMP=$(mktemp -d /tmp/vantrel-e2e.XXXXXX)
trap 'kill ${PROGRAM_PID:-0} 2>/dev/null || true; rm -rf "$E2E_TMP"' EXIT
export HOME=$E2E_TMP/home XDG_CONFIG_HOME=$E2E_TMP/home/.config XDG_RUNTIME_DIR=$E2E_TMP/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
RECORDING=$E2E_TMP/played.raw
cat > "$HOME/.asoundrc" <<ASOUND
pcm.!default {
  type file
  slave.pcm "null"
  file "$RECORDING"
  format "raw"
}
ASOUND
export ASAN_OPTIONS=detect_leaks=0

fail() { echo "FAIL: $*" >&2; exit 1; }

# Waits up to 20 s for a top-level window with exactly this title; prints its id.
wait_window() {
  local id=""
  for _ in $(seq 100); do
    id=$(xdotool search --name "^$1\$" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

# Sends keys to the program's window.
keys() { xdotool key --delay 150 "$@"; }
