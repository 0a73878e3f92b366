#!/usr/bin/env bash
# End to end under a real X server: simquorvex starts with the standard Vo16
# system, loads the checkerboard example and runs it from the keyboard (F5,
# then Enter on the caution question); a screenshot of the screen must show
# the code pane's green program-counter line. Ctrl+F2 then stops the run, and
# a second screenshot must show register values that changed in the
# register pane.
#   checkerboard.sh APP SOURCE_DIR
set -euo pipefail
app=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ -z "${SIMQ_E2E_INNER:-}" ]; then
    for tool in xvfb-run xdotool import convert; do
        command -v "$tool" >/dev/null || { echo "e2e: $tool is missing (make deps installs it)" >&2; exit 1; }
    done
    SIMQ_E2E_INNER=1 exec xvfb-run -a -s "-screen 0 1400x900x24" "$0" "$@"
fi

export HOME=$work  # fresh settings
export XDG_RUNTIME_DIR=$work
"$app" --load "$source_dir/examples/vo16/checkerboard.s19" --panes rbc >"$work/app.log" 2>&1 &
pid=$!
cleanup() { kill "$pid" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

window=$(timeout 20 xdotool search --sync --name 'simQuorvex' | head -1)
sleep 1
# No window manager gives the window the focus: a click in the code pane does.
xdotool mousemove --window "$window" 700 300 click 1
sleep 0.5

# Counts the pixels of one colour in a screenshot.
count() { convert "$1" -alpha off -fill black +opaque "$2" -fill white -opaque "$2" -format '%[fx:round(mean*w*h)]' info:; }

xdotool key F5
sleep 1
xdotool key Return   # Yes to the caution question: nothing would stop the run
sleep 1.5
import -window root "$work/running.png"
green=$(count "$work/running.png" 'rgb(0,255,0)')
echo "e2e: $green pixels of the program counter's line while running"
[ "$green" -gt 2000 ] || { echo "e2e: the running listing is not shown" >&2; cat "$work/app.log" >&2; exit 1; }

# The question's window took the focus with it.
xdotool mousemove --window "$window" 700 300 click 1
sleep 0.3
xdotool key ctrl+F2
sleep 1
import -window root "$work/stopped.png"
changed=$(count "$work/stopped.png" 'rgb(200,0,0)')
echo "e2e: $changed pixels of changed register values after the stop"
[ "${SIMQ_E2E_KEEP:-}" ] && cp "$work"/*.png "$SIMQ_E2E_KEEP"/
[ "$changed" -gt 20 ] || { echo "e2e: the register pane shows no changed values" >&2; exit 1; }
[ "${SIMQ_E2E_KEEP:-}" ] && cp "$work"/*.png "$SIMQ_E2E_KEEP"/
echo "e2e: passed"
