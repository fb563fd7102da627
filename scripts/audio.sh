# Makes sure a PulseAudio (or PipeWire-Pulse) server answers, starting a
# per-user PulseAudio daemon when none does.  Sourced by run.sh.
parlune_ensure_audio_server() {
  if pactl info >/dev/null 2>&1; then return 0; fi
  echo "No audio server answered; starting PulseAudio for this user."
  pulseaudio --start --exit-idle-time=-1 >/dev/null 2>&1 || true
  pactl info >/dev/null 2>&1 || echo "warning: no audio server; only the built-in test signals will be listed" >&2
}
