#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# ./run demo [polmira|calvena] [simulator options]
#
# Runs one of the programs against the simulated transducer: builds, starts transducer-sim on a
# new pseudo-terminal, makes its port the remembered one and starts the program. On a desktop
# the window is yours: press "Старт"; closing the window stops the simulator. Without a display
# the same runs under Xvfb: the script ticks "Записать в файл", presses "Старт", gives the log
# file's name, waits for the values, takes a screenshot, presses "Стоп" and prints the paths of
# the screenshot and the log.
#
# Simulator options after the program's name go to transducer-sim (for example --model TQ20);
# BRENNO_BUILD_DIR names an already configured build directory instead of build/default.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

program=polmira
case "${1:-}" in
polmira | calvena)
    program=$1
    shift
    ;;
-* | "") ;;
*)
    echo "usage: ./run demo [polmira|calvena] [transducer-sim options]" >&2
    exit 2
    ;;
esac
sim_args=("$@")
caption=Polmira
[ "$program" = calvena ] && caption=Calvena

say() { printf '== %s\n' "$*"; }

# --- build ---------------------------------------------------------------------------------
if [ -n "${BRENNO_BUILD_DIR:-}" ]; then
    build=$BRENNO_BUILD_DIR
else
    build=$top/build/default
    say "building (preset default)"
    (cd "$top" && cmake --preset default >/dev/null)
fi
cmake --build "$build" --target transducer-sim "$program" | tail -n 1
sim_bin=$build/src/sim/transducer-sim
app_bin=$build/src/app/qt/$program
for f in "$sim_bin" "$app_bin"; do
    [ -x "$f" ] || { echo "not built: $f" >&2; exit 1; }
done

# --- where the demo keeps its files --------------------------------------------------------
demo_dir=$top/build/demo/$program
rm -rf "$demo_dir"
mkdir -p "$demo_dir"
# The programs remember the chosen port in $XDG_CONFIG_HOME/corvanta/settings.ini. The demo
# gives them a configuration folder of its own, so that the user's remembered port is kept.
export XDG_CONFIG_HOME=$demo_dir/config
mkdir -p "$XDG_CONFIG_HOME/corvanta"
chmod 700 "$XDG_CONFIG_HOME"

pids=()
cleanup() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[$i]}" 2>/dev/null || true
        wait "${pids[$i]}" 2>/dev/null || true
    done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- the simulator -------------------------------------------------------------------------
sim_name=demo-$program
sim_out=$demo_dir/sim-port.txt
"$sim_bin" --name "$sim_name" "${sim_args[@]}" >"$sim_out" 2>"$demo_dir/sim.txt" &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$sim_out" ] && break
    kill -0 "${pids[0]}" 2>/dev/null || { cat "$demo_dir/sim.txt" >&2; exit 1; }
    sleep 0.05
done
port_path=$(head -n 1 "$sim_out")
[ -n "$port_path" ] || { echo "the simulator did not start" >&2; cat "$demo_dir/sim.txt" >&2; exit 1; }
sed 's/^/   /' "$demo_dir/sim.txt"

# The port list shows a published port by its name; that name is what is remembered.
printf '[Corvanta]\nCOM port=%s\n' "$sim_name" >"$XDG_CONFIG_HOME/corvanta/settings.ini"

# --- with a display: the user drives the window --------------------------------------------
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    say "$caption on $sim_name ($port_path); press Старт. Closing the window ends the demo."
    "$app_bin" || true
    exit 0
fi

# --- without a display: Xvfb, and xdotool as the user -------------------------------------
display_number=
for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
        display_number=$n
        break
    fi
done
[ -n "$display_number" ] || { echo "no free X display number" >&2; exit 1; }
Xvfb ":$display_number" -screen 0 1024x768x24 -nolisten tcp >"$demo_dir/xvfb.txt" 2>&1 &
pids+=($!)
export DISPLAY=:$display_number
for _ in $(seq 100); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.05
done
say "no display: running under Xvfb $DISPLAY"

"$app_bin" >"$demo_dir/$program-output.txt" 2>&1 &
app_pid=$!
pids+=($app_pid)

find_window() { # name regex; prints the first visible window's id
    local id
    for _ in $(seq 200); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        kill -0 "$app_pid" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}
window=$(find_window "^$caption\$") || { echo "the window did not appear" >&2; cat "$demo_dir/$program-output.txt" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$window")"
# The window is laid out in dialog units: 344 x 216 (Polmira), 250 x 197 (Calvena).
if [ "$program" = polmira ]; then
    du_width=344 du_height=216
    start_du=(135 162)     # "Старт" at 120,156,30,12: its middle
    stop_du=(171 162)      # "Стоп" at 156,156,30,12
    log_box_du=(10 164)    # "Записать в файл" at 5,160,78,8: its box
else
    du_width=250 du_height=197
    start_du=(189 30)      # "Старт" at 174,24,30,12
    stop_du=(225 30)       # "Стоп" at 210,24,30,12
    log_box_du=(179 49)    # "Записать в файл" at 174,45,72,8
fi
click_du() { # x y in dialog units
    local x=$(($1 * WIDTH / du_width)) y=$(($2 * HEIGHT / du_height))
    xdotool mousemove --window "$window" "$x" "$y" click 1
}

log_file=$demo_dir/measurements.txt
click_du "${log_box_du[@]}"
sleep 0.3
click_du "${start_du[@]}"
say "pressed Старт; choosing the log file $log_file"
dialog=
for _ in $(seq 200); do
    dialog=$(xdotool search --onlyvisible --name '.' 2>/dev/null | grep -vx "$window" | head -n 1 || true)
    [ -n "$dialog" ] && break
    sleep 0.05
done
[ -n "$dialog" ] || { echo "the save-file dialog did not appear" >&2; exit 1; }
sleep 0.5
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
xdotool type --delay 20 "$log_file"
xdotool key Return

say "waiting for the values (scan, configuration, change-over, first polls)"
rows=0
for _ in $(seq 400); do
    if [ -f "$log_file" ]; then
        rows=$(($(wc -l <"$log_file") - 3))
        [ "$rows" -ge 3 ] && break
    fi
    kill -0 "$app_pid" 2>/dev/null || { echo "the program ended" >&2; exit 1; }
    sleep 0.1
done
[ "$rows" -ge 3 ] || { echo "no values within 40 s" >&2; exit 1; }
sleep 0.3
screenshot=$demo_dir/$program.png
import -window "$window" "$screenshot"
click_du "${stop_du[@]}"
sleep 0.5
say "screenshot: $screenshot"
say "log file:   $log_file"
head -n 6 "$log_file" | sed 's/^/   /'
