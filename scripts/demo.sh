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
# shellcheck source=scripts/demo_support.sh
source "$top/scripts/demo_support.sh"

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
xvfb_pid=
demo_start_xvfb "$demo_dir/xvfb.txt" || exit 1
pids+=("$xvfb_pid")
say "no display: running under Xvfb $DISPLAY"

"$app_bin" >"$demo_dir/$program-output.txt" 2>&1 &
app_pid=$!
pids+=($app_pid)

window=$(demo_find_window "^$caption\$" "$app_pid") || { echo "the window did not appear" >&2; cat "$demo_dir/$program-output.txt" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$window")"
demo_button_places "$program"
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
demo_wait_for_rows "$log_file" "$app_pid" || exit 1
sleep 0.3
screenshot=$demo_dir/$program.png
import -window "$window" "$screenshot"
click_du "${stop_du[@]}"
sleep 0.5
say "screenshot: $screenshot"
say "log file:   $log_file"
head -n 6 "$log_file" | sed 's/^/   /'
