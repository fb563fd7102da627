#!/usr/bin/env bash
# Installs what is missing, builds the optimised program and starts Parlune.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
parlune_install_missing
. scripts/audio.sh
parlune_ensure_audio_server
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)"
exec ./build/release/parlune "$@"
