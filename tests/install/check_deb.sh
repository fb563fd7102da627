#!/usr/bin/env bash
# Builds the Debian package from the build folder $1 with cpack into a
# temporary folder and runs lintian on it: any error (E: line) fails.
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
debs=("$out"/*.deb)
[ -s "${debs[0]}" ] || { echo "FAIL: cpack made no .deb" >&2; exit 1; }
# Warnings are printed but pass; exit status 2 means an error tag.
lintian --fail-on error "${debs[0]}" || { echo "FAIL: lintian reports errors" >&2; exit 1; }
echo "lintian: no errors in $(basename "${debs[0]}")"
