#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a Windows test program under Wine with a simulated transducer behind one of the prefix's
# test COM ports (see scripts/wine_env.sh):
#   with_simulator_port.sh SIMULATOR PORT SHIM 'SIMULATOR-ARGS' COMMAND...
# SIMULATOR is the Linux transducer-sim (the test is skipped, exit 77, when it is missing); it
# serves a new pseudo-terminal, the link of PORT (COMn) is pointed at it, and COMMAND runs with
# BRENNO_SIM_PORT=PORT, BRENNO_SIM_TRACE=the simulator's standard error as a Windows path (its
# --trace shows the line each burst was heard at) and the parity shim SHIM preloaded (empty:
# none). Afterwards the port leads nowhere again and the simulator is ended. Needs the server of
# wine_start running (WINEPREFIX set).
set -uo pipefail

simulator=$1 port=$2 shim=$3 simulator_args=$4
shift 4
if [ ! -x "$simulator" ]; then
    echo "SKIP: no Linux transducer-sim at $simulator (build the native preset first)"
    exit 77
fi
if [ -z "${WINEPREFIX:-}" ]; then
    echo "SKIP: no WINEPREFIX; run the tests after wine_start (scripts/wine_env.sh)"
    exit 77
fi
# shellcheck source=scripts/wine_env.sh
source "$(dirname "$0")/../../scripts/wine_env.sh"
number=${port#COM}

work=$(mktemp -d)
simulator_pid=
finish() {
    # Wine lets go of the pseudo-terminal first: a far end that vanishes under a running server
    # floods it with hang-ups.
    wine_port_unlink "$number"
    if [ -n "$simulator_pid" ]; then
        kill "$simulator_pid" 2>/dev/null
        wait "$simulator_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap finish EXIT

# The simulator publishes its pseudo-terminal in a folder of its own and prints the link.
mkdir -m 700 "$work/run"
# shellcheck disable=SC2086  # the arguments are words
XDG_RUNTIME_DIR="$work/run" "$simulator" $simulator_args --name wine-test \
    >"$work/out" 2>"$work/err" </dev/null &
simulator_pid=$!
for _ in $(seq 200); do
    [ -s "$work/out" ] && break
    kill -0 "$simulator_pid" 2>/dev/null || break
    sleep 0.05
done
published=$(head -n 1 "$work/out")
if [ -z "$published" ]; then
    echo "the simulator did not start:" >&2
    cat "$work/err" >&2
    exit 1
fi
wine_port_link "$number" "$(readlink -f "$published")"

if [ -n "$shim" ]; then
    export LD_PRELOAD="$shim${LD_PRELOAD:+:$LD_PRELOAD}"
fi
BRENNO_SIM_PORT=$port BRENNO_SIM_TRACE="Z:$work/err" "$@" </dev/null
status=$?
unset LD_PRELOAD
exit $status
