#!/usr/bin/env bash
# Writes the pictures the user guide and the README show (docs/images/),
# each taken by simquorvex itself under a virtual X server with fresh settings.
#   docs/screenshots.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
app="$build/ui/simquorvex"
out="$root/docs/images"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

shot() {
    local name=$1
    shift
    rm -rf "$work/home"
    mkdir -p "$work/home"
    HOME="$work/home" XDG_RUNTIME_DIR="$work/home" xvfb-run -a -s "-screen 0 1400x900x24" \
        "$app" "$@" --screenshot "$out/$name.png" --after 2500 >/dev/null 2>&1
    echo "screenshots: docs/images/$name.png"
}

cd "$root"
# The 6502 sieve stopped at its breakpoint: registers changed since the start in red.
shot debugging-6502 --system blank --add-unit C6502:cpu --add-device CRam:RAM:0:FFFF \
    --load examples/6502/sieve.hex --reset --break 0440 --run --panes rbcs
# The Vo16 checkerboard stopped at its end.
shot vo16-checkerboard --load examples/vo16/checkerboard.s19 --break FF1E --run --panes rcs
# The Corvane picture program running: its register file and counters live.
shot corvane-running --system corvane --load examples/corvane/picture.s19 --run --panes rcs
