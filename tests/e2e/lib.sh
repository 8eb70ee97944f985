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

source "$(dirname "${BASH_SOURCE[0]}")/lib_window.sh"

# Sends keys to the program's window.
keys() { xdotool key --delay 150 "$@"; }
