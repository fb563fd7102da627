# Installs the Debian packages Parlune needs, only those that are missing.
# Sourced by run.sh and test.sh.

PARLUNE_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  fonts-liberation
  libgtest-dev libgmock-dev libbenchmark-dev
  # SDR input: tuning and decimation (liquid-dsp 1.5).
  libliquid-dev
  pulseaudio pulseaudio-utils
  libsndfile1-dev libfftw3-dev
  # Asking the audio server whether it answers, before Qt is asked.
  libpulse-dev
  # The metrics endpoint of parlune-measure; the Prometheus its test runs,
  # with promtool for docs/parlune-alerts.yml.
  prometheus-cpp-dev prometheus
  xvfb xauth
  # SDR receivers: SoapySDR with its sound-card and network modules (the
  # tests' receivers), the network server, and the Avahi daemon it needs.
  libsoapysdr-dev soapysdr-module-audio soapysdr-module-remote soapyremote-server avahi-daemon dbus
  # MQTT output: libmosquitto, and the broker, clients and openssl its tests run.
  libmosquitto-dev mosquitto mosquitto-clients openssl
  # Installing and packaging: checks of the installed desktop entry and
  # AppStream metadata, the man page made from --help, the .deb's dependencies
  # (dpkg-shlibdeps), re-rendering the icon PNGs (scripts/render-icons.sh), and
  # checking the .deb against Debian policy (lintian).
  desktop-file-utils appstream help2man dpkg-dev librsvg2-bin lintian
  # bench/live-share.sh: clicks the window on Xvfb to time a live run.
  xdotool
)

parlune_install_missing() {
  local missing=()
  local p
  for p in "${PARLUNE_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else
      echo "error: packages missing (${missing[*]}) and neither root nor sudo available" >&2
      return 1
    fi
  fi
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
