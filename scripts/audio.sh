# Makes sure a PulseAudio (or PipeWire-Pulse) server answers, starting a
# per-user PulseAudio daemon when none does.  Sourced by run.sh.  Works as
# root too (the daemon only warns).
parlune_ensure_audio_server() {
  if pactl info >/dev/null 2>&1; then return 0; fi
  echo "No audio server answered; starting PulseAudio for this user."
  pulseaudio --start --exit-idle-time=-1 >/dev/null 2>&1 || true
  if ! pactl info >/dev/null 2>&1; then
    # The default configuration can fail where there is no sound card or
    # session bus (containers); a bare daemon with one null sink still
    # serves virtual cables.
    pulseaudio -n --daemonize=yes --exit-idle-time=-1 --log-target=syslog \
      -L module-native-protocol-unix -L "module-null-sink sink_name=null" >/dev/null 2>&1 || true
  fi
  pactl info >/dev/null 2>&1 || echo "warning: no audio server; only the built-in test signals will be listed" >&2
}
