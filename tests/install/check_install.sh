#!/usr/bin/env bash
# Installs the build folder $1 into a temporary prefix and checks what landed
# there; $2 is the project version both programs must report.
set -euo pipefail
build=$1 version=$2
p=$(mktemp -d)
trap 'rm -rf "$p"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$p" >/dev/null

desktop=$p/share/applications/parlune.desktop
metainfo=$p/share/metainfo/org.example.parlune.metainfo.xml
man=$p/share/man/man1/parlune-measure.1.gz
for f in "$desktop" "$metainfo" "$man" "$p/share/man/man1/parlune.1.gz" \
         "$p/share/icons/hicolor/scalable/apps/parlune.svg"; do
  [ -s "$f" ] || fail "not installed: ${f#"$p"/}"
done
for b in parlune parlune-measure; do
  [ -x "$p/bin/$b" ] || fail "not installed: bin/$b"
done

# PNG icons: the size in the header (IHDR width and height) matches the folder.
for size in 48 256; do
  png=$p/share/icons/hicolor/${size}x${size}/apps/parlune.png
  [ -s "$png" ] || fail "not installed: ${png#"$p"/}"
  dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
  [ "$dims" = "${size}x${size}" ] || fail "$png is $dims, not ${size}x${size}"
done

desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$metainfo" >/dev/null || {
  appstreamcli validate --no-net "$metainfo" >&2; fail "appstreamcli validate"; }

# What the desktop entry and metadata name must exist.
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$p/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -s "$p/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon has no installed icon"
grep -q "<release version=\"$version\"" "$metainfo" || fail "no release entry for $version in the metadata"

out=$("$p/bin/parlune-measure" --version)
[ "$out" = "parlune-measure $version" ] || fail "parlune-measure --version printed '$out'"
out=$("$p/bin/parlune" --version)
[ "$out" = "parlune $version" ] || fail "parlune --version printed '$out'"

# The man page carries the version and every long option of --help
# (roff writes a hyphen as \-).
text=$(gzip -dc "$man" | sed 's/\\-/-/g')
grep -qF "parlune-measure $version" <<<"$text" || fail "man page does not name version $version"
opts=$("$p/bin/parlune-measure" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u)
[ -n "$opts" ] || fail "--help lists no options"
for o in $opts; do
  grep -qF -- "$o" <<<"$text" || fail "man page lacks $o"
done
echo "install into a temporary prefix: all checks passed"
