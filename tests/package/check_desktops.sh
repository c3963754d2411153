#!/usr/bin/env bash
# Starts the built program where users run it and checks what they would see: natively on
# Wayland (Weston's headless backend) small, without the OpenGL driver stack, with nothing
# printed beyond what X11 prints and with its window on screen; on an X11 screen at 144 and
# 192 DPI scaled to 1.5 and 2 times its 96-DPI size; and, through AT-SPI, each setting box
# labelled by the label beside it.
#
#   check_desktops.sh PROGRAM QT_MAJOR SCRATCH_DIR
set -uo pipefail

bin=$1 qt=$2 work=$3
skipped=77
wait_limit=60 # seconds; only keeps a hung start from blocking the run, never a pass condition
rss_limit_kb=$((40 * 1024))
# Mapped by the OpenGL driver stack and the Wayland plugin's EGL integration, never by the
# program on X11 (the dispatch libraries libEGL.so.1, libGL.so.1 and libOpenGL.so.0 that Qt's
# own libraries link are mapped there as well).
gl_stack='libEGL_|_dri\.so|libLLVM|libgbm|libwayland-egl|libQt[56]OpenGL|wayland-graphics-integration-client'

source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
ran=0
skip() { echo "SKIP: $*"; }
have() { command -v "$1" >/dev/null; }

rm -rf "$work"
mkdir -p "$work"


# Runs COMMAND every 0.2 s until it succeeds or PID exits or the wait limit passes.
wait_for()
{
    local pid=$1 what=$2
    shift 2
    local deadline=$((SECONDS + wait_limit))
    while ((SECONDS < deadline)); do
        if ! kill -0 "$pid" 2>/dev/null; then
            fail "$what: the process ended first"
            return 1
        fi
        "$@" && return 0
        sleep 0.2
    done
    fail "no $what within ${wait_limit}s"
    return 1
}

stop()
{
    kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}

# Starts an Xvfb at DPI with Xft.dpi set as desktops set it; prints its display number.
start_xvfb()
{
    local dpi=$1 fd_file=$work/display-$1
    rm -f "$fd_file"
    Xvfb -displayfd 3 -screen 0 2400x1600x24 -dpi "$dpi" -nolisten tcp -noreset \
        3>"$fd_file" 2>"$work/xvfb-$dpi.log" &
    xvfb=$!
    pids+=("$xvfb")
    local deadline=$((SECONDS + wait_limit))
    while [ ! -s "$fd_file" ] && kill -0 "$xvfb" 2>/dev/null && ((SECONDS < deadline)); do
        sleep 0.1
    done
    [ -s "$fd_file" ] || return 1
    display=:$(head -n 1 "$fd_file")
    echo "Xft.dpi: $dpi" | DISPLAY=$display xrdb -nocpp -merge
}

window_size()
{
    DISPLAY=$display xdotool search --onlyvisible --name '^串口工具$' getwindowgeometry 2>/dev/null |
        sed -n 's/^ *Geometry: //p' | head -n 1
}
has_window() { [ -n "$(window_size)" ]; }

# X11 at several DPI: the window's size against its size at 96 DPI, and what the program
# prints there (the Wayland run may print nothing more).
declare -A sizes
if have Xvfb && have xdotool && have xrdb; then
    ran=1
    for dpi in 96 144 192; do
        if ! start_xvfb "$dpi"; then
            cat "$work/xvfb-$dpi.log"
            fail "Xvfb at $dpi DPI did not start"
            continue
        fi
        DISPLAY=$display QT_QPA_PLATFORM=xcb "$bin" >"$work/x11-$dpi.log" 2>&1 &
        app=$!
        pids+=("$app")
        if wait_for "$app" "visible window at $dpi DPI" has_window; then
            sleep 0.5 # a window manager-less X server maps the window before its last resize
            sizes[$dpi]=$(window_size)
            echo "window at $dpi DPI: ${sizes[$dpi]}"
        fi
        stop "$app"
        stop "$xvfb"
    done
    if [ -n "${sizes[96]:-}" ]; then
        for dpi in 144 192; do
            [ -n "${sizes[$dpi]:-}" ] || continue
            want=$(awk -v d="$dpi" 'BEGIN { printf "%.2f", d / 96 }')
            if awk -v a="${sizes[96]}" -v b="${sizes[$dpi]}" -v f="$want" 'BEGIN {
                    split(a, p, "x"); split(b, q, "x")
                    rw = q[1] / p[1]; rh = q[2] / p[2]
                    exit !(rw > f * 0.95 && rw < f * 1.05 && rh > f * 0.95 && rh < f * 1.05) }'; then
                pass "the window at Xft.dpi $dpi is ${want}x its 96-DPI size (${sizes[$dpi]} against ${sizes[96]})"
            else
                fail "the window at Xft.dpi $dpi is ${sizes[$dpi]}, not about ${want}x its 96-DPI ${sizes[96]}: Qt $qt did not scale it"
            fi
        done
    fi
else
    skip "Xvfb, xdotool or xrdb is missing (packages xvfb, xdotool, x11-xserver-utils); high-DPI sizes not checked"
fi

# Wayland: Weston's headless backend, the Wayland plugin chosen as a desktop session
# chooses it (Qt 6 by itself, Qt 5 as KDE sets it up). --debug lets weston-screenshooter in.
wayland_plugin=qtwayland$qt
[ "$qt" = 6 ] && wayland_plugin=qt6-wayland
if have weston && have weston-screenshooter && have convert &&
    ls /usr/lib/*/qt"$qt"/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1; then
    ran=1
    runtime=$work/runtime
    mkdir -m 700 "$runtime"
    XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --use-pixman --debug \
        --socket=wayland-check --width=1800 --height=1200 --idle-time=0 >"$work/weston.log" 2>&1 &
    weston=$!
    pids+=("$weston")
    deadline=$((SECONDS + wait_limit))
    while [ ! -S "$runtime/wayland-check" ] && kill -0 "$weston" 2>/dev/null && ((SECONDS < deadline)); do
        sleep 0.1
    done
    if [ -S "$runtime/wayland-check" ]; then
        # Prints the size of the window's grey in a fresh screenshot of the whole output.
        shot_dir=$work/shots
        mkdir -p "$shot_dir"
        shown_size()
        {
            rm -f "$shot_dir"/*.png
            (cd "$shot_dir" && XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=wayland-check \
                weston-screenshooter >/dev/null 2>&1)
            local shot
            shot=$(ls "$shot_dir"/*.png 2>/dev/null | head -n 1)
            [ -n "$shot" ] || return 1
            cp "$shot" "$work/$1"
            # Weston's panel is painted over: its clock is drawn in the same grey.
            convert "$shot" -fill black -draw 'rectangle 0,0 9999,31' \
                -fuzz 1% +opaque 'rgb(239,239,239)' -trim info: 2>/dev/null | awk '{ print $3 }'
        }
        # start_wayland LOG [VARIABLE=VALUE...]: the program natively on Weston, as $app.
        start_wayland()
        {
            local log=$1
            shift
            local session=(QT_QPA_PLATFORM=wayland)
            [ "$qt" = 6 ] && session=(XDG_SESSION_TYPE=wayland)
            env -u DISPLAY -u QT_QPA_PLATFORM XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY=wayland-check \
                "${session[@]}" "$@" "$bin" >"$log" 2>&1 &
            app=$!
            pids+=("$app")
        }
        # The window's grey covers at least its size on X11 (with Qt's title bar, more).
        window_shown()
        {
            shown=$(shown_size "$1")
            awk -v a="$shown" -v b="${sizes[96]:-821x516}" \
                'BEGIN { split(a, p, "x"); split(b, q, "x"); exit !(p[1] >= q[1] && p[2] >= q[2]) }'
        }

        start_wayland "$work/wayland.log"
        if wait_for "$app" "window on Weston" window_shown weston.png; then
            pass "the window is on Weston, $shown (screenshot $work/weston.png)"
            sleep 1 # idle
            if grep -q 'platforms/libqwayland' "/proc/$app/maps"; then
                pass "Qt's Wayland plugin drives the window"
                rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$app/status")
                if ((rss <= rss_limit_kb)); then
                    pass "idle on Weston at $((rss / 1024)) MB resident"
                else
                    fail "idle on Weston at $((rss / 1024)) MB resident, more than $((rss_limit_kb / 1024)) MB"
                fi
                gl=$(grep -oE "[^/ ]*($gl_stack)[^/ ]*" "/proc/$app/maps" | sort -u | tr '\n' ' ')
                if [ -z "$gl" ]; then
                    pass "no OpenGL driver library mapped on Weston"
                else
                    fail "the OpenGL driver stack is mapped on Weston: $gl"
                fi
            else
                fail "not on Qt's Wayland plugin: $(grep -o 'platforms/[^ ]*' "/proc/$app/maps" | sort -u)"
            fi
        fi
        stop "$app"
        if [ -f "$work/x11-96.log" ]; then
            extra=$(grep -vxFf "$work/x11-96.log" "$work/wayland.log")
            if [ -z "$extra" ]; then
                pass "nothing printed on Weston beyond what X11 prints"
            else
                fail "printed on Weston, not on X11: $extra"
            fi
        fi

        # A user who wants Qt's own title bar gets it, with the EGL integration it needs.
        start_wayland "$work/wayland-decorated.log" QT_WAYLAND_DISABLE_WINDOWDECORATION=0
        if wait_for "$app" "window on Weston with QT_WAYLAND_DISABLE_WINDOWDECORATION=0" \
            grep -q wayland-graphics-integration-client "/proc/$app/maps"; then
            pass "QT_WAYLAND_DISABLE_WINDOWDECORATION=0 is kept"
        fi
        stop "$app"
    else
        cat "$work/weston.log"
        fail "weston did not start"
    fi
    stop "$weston"
else
    skip "weston, weston-screenshooter, convert or Qt $qt's Wayland plugin is missing (packages weston, imagemagick, $wayland_plugin); Wayland not checked"
fi

# Screen readers: the setting boxes as AT-SPI (the bus Orca listens on) presents them.
atspi_python=""
for python in /usr/bin/python3 python3; do
    if "$python" -c 'import pyatspi' 2>/dev/null; then
        atspi_python=$python
        break
    fi
done
if [ -n "$atspi_python" ] && have dbus-run-session && have Xvfb && [ -x /usr/libexec/at-spi-bus-launcher ]; then
    ran=1
    if start_xvfb 96; then
        if labels=$(DISPLAY=$display QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
            timeout $((wait_limit + 30)) dbus-run-session -- "$atspi_python" \
            "$(dirname "$0")/atspi_labels.py" "$wait_limit" "$bin" 2>"$work/atspi.log" |
            sed -n 's/^labelled by: //p'); [ -n "$labels" ]; then
            want=$'端口\n波特率\n校验位\n数据位\n停止位'
            if [ "$labels" = "$want" ]; then
                pass "each setting box is labelled by its label through AT-SPI"
            else
                fail "the setting boxes' labelled-by relations are '${labels//$'\n'/, }', not '${want//$'\n'/, }'"
            fi
        else
            cat "$work/atspi.log"
            fail "the window did not show up on the AT-SPI bus"
        fi
        stop "$xvfb"
    else
        fail "Xvfb did not start"
    fi
else
    skip "python3-pyatspi, at-spi2-core, dbus or xvfb is missing; labelled-by relations not checked"
fi

if [ $ran = 0 ]; then
    echo "desktop checks: nothing could run here"
    exit $skipped
fi
if [ $failures -ne 0 ]; then
    echo "desktop checks: $failures failed"
    exit 1
fi
echo "desktop checks: all passed"
