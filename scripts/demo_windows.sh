#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# ./run demo windows [polmira|calvena] [simulator options]
#
# Runs one of the Windows programs under Wine against the Linux transducer-sim: builds the
# program (preset windows), the parity shim and the simulator (preset default), makes a Wine
# prefix under build/demo/windows-<program>/, serves the simulator on a new pseudo-terminal
# behind COM5, makes COM5 the remembered port and starts the program with the shim preloaded.
# On a desktop the window is yours: press "Старт"; closing the window ends the demo. Without a
# display the same runs under Xvfb in a Wine desktop with a title bar: the script ticks
# "Записать в файл", presses "Старт", types the log file's name into the save-file dialog,
# waits for the values and the log's rows, takes a screenshot, presses "Стоп" and prints the
# paths of the screenshot and the log.
#
# BRENNO_WINDOWS_BUILD_DIR and BRENNO_BUILD_DIR name already configured build directories
# instead of build/windows and build/default.
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
    echo "usage: ./run demo windows [polmira|calvena] [transducer-sim options]" >&2
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
native=${BRENNO_BUILD_DIR:-$top/build/default}
windows=${BRENNO_WINDOWS_BUILD_DIR:-$top/build/windows}
if [ -z "${BRENNO_BUILD_DIR:-}" ]; then
    say "building the simulator (preset default)"
    (cd "$top" && cmake --preset default >/dev/null)
fi
cmake --build "$native" --target transducer-sim | tail -n 1
if [ -z "${BRENNO_WINDOWS_BUILD_DIR:-}" ]; then
    say "building $program.exe (preset windows)"
    (cd "$top" && cmake --preset windows -DBRENNO_NATIVE_BUILD_DIR="$native" >/dev/null)
fi
cmake --build "$windows" --target "$program" pty_parity_shim | tail -n 1
sim_bin=$native/src/sim/transducer-sim
app_exe=$windows/src/app/win32/$program.exe
shim=$windows/tests/win32/libpty_parity_shim.so
for f in "$sim_bin" "$app_exe" "$shim"; do
    [ -e "$f" ] || { echo "not built: $f" >&2; exit 1; }
done

# --- the prefix, the simulator and COM5 ------------------------------------------------------
demo_dir=$top/build/demo/windows-$program
mkdir -p "$demo_dir"
rm -f "$demo_dir"/*.txt "$demo_dir"/*.png
# shellcheck source=scripts/wine_env.sh
source "$top/scripts/wine_env.sh"

sim_pid=
xvfb_pid=
cleanup() {
    # Wine first: a far end that vanishes under a running server floods it with hang-ups.
    wine_port_unlink 5 2>/dev/null || true
    wine_stop
    for pid in $sim_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Without a display, Xvfb comes first, so that Wine's desktop lives on it.
if [ -z "${DISPLAY:-}" ]; then
    demo_start_xvfb "$demo_dir/xvfb.txt" || exit 1
    headless=yes
else
    headless=no
fi

say "Wine prefix $demo_dir/wineprefix"
wine_start "$demo_dir/wineprefix"

mkdir -p -m 700 "$demo_dir/run"
XDG_RUNTIME_DIR=$demo_dir/run "$sim_bin" --name "demo-$program" "${sim_args[@]}" \
    >"$demo_dir/sim-port.txt" 2>"$demo_dir/sim.txt" </dev/null &
sim_pid=$!
for _ in $(seq 100); do
    [ -s "$demo_dir/sim-port.txt" ] && break
    kill -0 "$sim_pid" 2>/dev/null || { cat "$demo_dir/sim.txt" >&2; exit 1; }
    sleep 0.05
done
published=$(head -n 1 "$demo_dir/sim-port.txt")
[ -n "$published" ] || { echo "the simulator did not start" >&2; exit 1; }
sed 's/^/   /' "$demo_dir/sim.txt"
wine_port_link 5 "$(readlink -f "$published")"
wine reg add 'HKCU\Software\Corvanta' /v 'COM port' /d COM5 /f </dev/null >/dev/null 2>&1

if [ "$headless" = no ]; then
    say "$caption on COM5 ($(readlink -f "$published")); press Старт. Closing the window ends the demo."
    LD_PRELOAD=$shim wine "$app_exe" </dev/null >"$demo_dir/$program-output.txt" 2>&1 || true
    exit 0
fi

# --- without a display: a Wine desktop on Xvfb, and xdotool as the user --------------------
say "no display: running under Xvfb $DISPLAY in a Wine desktop"
LD_PRELOAD=$shim wine explorer /desktop=demo,1024x768 "$app_exe" \
    </dev/null >"$demo_dir/$program-output.txt" 2>&1 &

window=$(demo_find_window "^$caption\$") || { echo "the window did not appear" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$window")"
# The window is laid out in dialog units: 344 x 216 (Polmira), 250 x 197 (Calvena). Its X
# window holds the frame Wine's desktop draws: 3 pixels of border, 22 down to the client area.
demo_button_places "$program"
click_du() { # x y in dialog units
    local x=$((3 + $1 * (WIDTH - 6) / du_width)) y=$((22 + $2 * (HEIGHT - 25) / du_height))
    xdotool mousemove --window "$window" "$x" "$y" click 1
}

log_file=$demo_dir/measurements.txt
click_du "${log_box_du[@]}"
sleep 0.3
click_du "${start_du[@]}"
say "pressed Старт; naming the log file $log_file in the save-file dialog"
dialog=
for _ in $(seq 200); do
    dialog=$(xdotool search --onlyvisible --name '.' 2>/dev/null | grep -vx "$window" |
        while read -r id; do
            name=$(xdotool getwindowname "$id" 2>/dev/null || true)
            case "$name" in *"Wine desktop"* | "") ;; *) echo "$id" ;; esac
        done | head -n 1 || true)
    [ -n "$dialog" ] && break
    sleep 0.05
done
[ -n "$dialog" ] || { echo "the save-file dialog did not appear" >&2; exit 1; }
sleep 0.5
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
xdotool type --delay 20 "Z:${log_file//\//\\}"
xdotool key Return

say "waiting for the values (scan, configuration, change-over, first polls)"
demo_wait_for_rows "$log_file" || exit 1
sleep 0.5
screenshot=$demo_dir/$program.png
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$screenshot"
click_du "${stop_du[@]}"
sleep 0.5
say "screenshot: $screenshot"
say "log file:   $log_file"
head -n 6 "$log_file" | sed 's/^/   /'
