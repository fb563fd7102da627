#!/usr/bin/env bash
# Installs what is missing, builds the optimised program and starts Parlune.
# Parlune starts in the folder you called this from, so a relative log file
# name ("Parlune.txt") lands there.
set -euo pipefail
start_dir="$PWD"
here="$(cd "$(dirname "$0")" && pwd)"
cd "$here"
. scripts/deps.sh
parlune_install_missing
. scripts/audio.sh
parlune_ensure_audio_server
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target parlune parlune-measure
cd "$start_dir"
exec "$here/build/release/parlune" "$@"
