#!/usr/bin/env bash
# Installs what is missing, builds with sanitizers and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
parlune_install_missing
cmake --preset test >/dev/null
cmake --build --preset test -j"$(nproc)"
ctest --preset test
