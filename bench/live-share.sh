#!/bin/bash
# The share of one core a live run of the window takes, measured from
# outside: start the release build on the X display in $DISPLAY (Xvfb will
# do), choose the built-in test signal, set the rate and FFT size, START,
# then read utime + stime from /proc/PID/stat over SECONDS.  Needs xdotool.
# Usage: bench/live-share.sh RATE POINTS [SECONDS [BINARY]]
set -euo pipefail
rate=$1 points=$2 secs=${3:-30}
bin=${4:-$(dirname "$0")/../build/release/parlune}
: "${DISPLAY:?set DISPLAY to an X server, e.g. Xvfb :77 and DISPLAY=:77}"

# Rate and size from a settings file of its own; the span stays at the
# 5 kHz preset the window starts with.
cfg=$(mktemp -d)
trap 'rm -rf "$cfg"' EXIT
printf '[Values]\nSamprate=%s\nFFTSIZE=%s\n' "$rate" "$points" >"$cfg/Parlune.ini"
# Xvfb now and then refuses a connection, and the program then stops at
# once: start it again.
win=
for _ in 1 2 3; do
    XDG_CONFIG_HOME=$cfg "$bin" >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 100); do
        win=$(xdotool search --pid "$pid" --onlyvisible --name '^Parlune' 2>/dev/null | head -1) && [ -n "$win" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$win" ] && break
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
done
[ -n "$win" ] || { echo "the window did not appear" >&2; exit 1; }
sleep 1
# Pixel places in the window: the device box and START, from the layout.
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 753)) $((Y + 280)) click 1
sleep 0.3
xdotool key F4 # the list opens; typing finds the entry
sleep 0.3
xdotool type --delay 20 'Test signal 1000'
xdotool key Return
sleep 0.3
xdotool mousemove $((X + 376)) $((Y + 172)) click 1
sleep 3 # the run settles

ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
t0=$(ticks) w0=$(date +%s.%N)
sleep "$secs"
t1=$(ticks) w1=$(date +%s.%N)
kill "$pid"
wait "$pid" 2>/dev/null || true
awk -v a="$t0" -v b="$t1" -v w0="$w0" -v w1="$w1" -v hz="$(getconf CLK_TCK)" -v r="$rate" -v n="$points" \
    'BEGIN { printf "%s Hz, %s points: %.2f s of CPU over %.1f s = %.2f%% of one core\n", r, n, (b - a) / hz, w1 - w0, 100 * (b - a) / hz / (w1 - w0) }'
