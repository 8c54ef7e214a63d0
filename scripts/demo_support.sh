#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What the two demos (scripts/demo.sh on Linux, scripts/demo_windows.sh under Wine) do alike,
# sourced by both: a virtual display, the window found by its caption, the buttons' places in
# dialog units, and the wait for the log's rows.

# demo_start_xvfb LOG_FILE: Xvfb on the first free display number from 90; sets DISPLAY and
# xvfb_pid and waits until the display answers.
demo_start_xvfb() {
    local n display_number=
    for n in $(seq 90 140); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            display_number=$n
            break
        fi
    done
    [ -n "$display_number" ] || { echo "no free X display number" >&2; return 1; }
    Xvfb ":$display_number" -screen 0 1024x768x24 -nolisten tcp >"$1" 2>&1 &
    xvfb_pid=$!
    export DISPLAY=:$display_number
    for _ in $(seq 100); do
        xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
        sleep 0.05
    done
}

# demo_find_window REGEX [PID]: prints the first visible window whose name matches; fails after
# 15 s, or as soon as the process PID (when given) has ended.
demo_find_window() {
    local id
    for _ in $(seq 300); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        if [ -n "${2:-}" ] && ! kill -0 "$2" 2>/dev/null; then
            return 1
        fi
        sleep 0.05
    done
    return 1
}

# demo_button_places PROGRAM: the window's size in dialog units and the middles of "Старт",
# "Стоп" and the box of "Записать в файл" (du_width, du_height, start_du, stop_du, log_box_du).
demo_button_places() {
    if [ "$1" = polmira ]; then
        du_width=344 du_height=216
        start_du=(135 162)  # "Старт" at 120,156,30,12: its middle
        stop_du=(171 162)   # "Стоп" at 156,156,30,12
        log_box_du=(10 164) # "Записать в файл" at 5,160,78,8: its box
    else
        du_width=250 du_height=197
        start_du=(189 30)   # "Старт" at 174,24,30,12
        stop_du=(225 30)    # "Стоп" at 210,24,30,12
        log_box_du=(179 49) # "Записать в файл" at 174,45,72,8
    fi
}

# demo_wait_for_rows LOG_FILE [PID]: waits up to 40 s for three rows under the log's header;
# fails sooner when the process PID (when given) has ended.
demo_wait_for_rows() {
    local rows=0
    for _ in $(seq 400); do
        if [ -f "$1" ]; then
            rows=$(($(wc -l <"$1") - 3))
            [ "$rows" -ge 3 ] && return 0
        fi
        if [ -n "${2:-}" ] && ! kill -0 "$2" 2>/dev/null; then
            echo "the program ended" >&2
            return 1
        fi
        sleep 0.1
    done
    echo "no values within 40 s" >&2
    return 1
}
