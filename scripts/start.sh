#!/usr/bin/env bash
# Starts the built program. Without a display it runs on a virtual one, saves a
# screenshot of the window and ends, so a headless machine still shows something.
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/serialterminal
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$program"
fi
shot=${SCREENSHOT:-$PWD/serialterminal-window.png}
xvfb-run -a -s "-screen 0 1024x700x24" bash -c '
    "$0" 2>/dev/null & pid=$!
    for _ in $(seq 100); do
        window=$(xdotool search --name "串口工具" 2>/dev/null | head -n 1) && [ -n "$window" ] && break
        sleep 0.1
    done
    sleep 1 # let it paint
    import -window "${window:-root}" "$1"
    kill "$pid"' "$program" "$shot"
echo "No display here: ran the program under Xvfb and saved its window to $shot"
