#!/usr/bin/env bash
# Checks the Prometheus alert rules in docs/ ($1): their syntax, then their
# unit tests.  promtool comes with Debian's prometheus package.
set -euo pipefail
docs=$1
command -v promtool >/dev/null || { echo "FAIL: promtool not found (package prometheus, scripts/deps.sh)" >&2; exit 1; }
promtool check rules "$docs/parlune-alerts.yml"
promtool test rules "$docs/parlune-alerts.test.yml"
