#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the native test binary PEER with a line from one of the prefix's test COM ports to Linux:
#   with_sim_exe_line.sh PEER SIM_EXE PORT SHIM WINE
# socat links two new pseudo-terminals; PORT (COMn) leads to one end, PEER gets the other and
# starts SIM_EXE (transducer-sim.exe) under WINE on PORT itself, with the parity shim SHIM
# preloaded (see sim_exe_com_port_test.cpp). Skipped (exit 77) without PEER, socat or a running
# Wine server (WINEPREFIX, scripts/wine_env.sh). Afterwards whatever PEER started and left is
# ended first, then the port leads nowhere again, then the pseudo-terminals go: a far end that
# vanishes under Wine's running server floods it with hang-ups.
set -uo pipefail

peer=$1 sim_exe=$2 port=$3 shim=$4 wine=$5
skip() {
    echo "SKIP: $*"
    exit 77
}
[ -x "$peer" ] || skip "no native test binary at $peer (build the native preset, BRENNO_NATIVE_BUILD_DIR)"
command -v socat >/dev/null || skip "no socat (Debian: socat)"
[ -n "${WINEPREFIX:-}" ] || skip "no WINEPREFIX; run the tests after wine_start (scripts/wine_env.sh)"
# shellcheck source=scripts/wine_env.sh
source "$(dirname "$0")/../../scripts/wine_env.sh"
number=${port#COM}

work=$(mktemp -d)
socat_pid=
finish() {
    local pid
    while read -r pid; do
        kill -KILL "$pid" 2>/dev/null
        while kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
    done <"$work/pids"
    wine_port_unlink "$number"
    if [ -n "$socat_pid" ]; then
        kill "$socat_pid" 2>/dev/null
        wait "$socat_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
: >"$work/pids"
trap finish EXIT
trap 'exit 1' INT TERM

socat pty,raw,echo=0,link="$work/wine-end" pty,raw,echo=0,link="$work/linux-end" \
    </dev/null >/dev/null 2>"$work/socat.err" &
socat_pid=$!
for _ in $(seq 200); do
    [ -L "$work/wine-end" ] && [ -L "$work/linux-end" ] && break
    kill -0 "$socat_pid" 2>/dev/null || break
    sleep 0.02
done
if ! [ -L "$work/wine-end" ] || ! [ -L "$work/linux-end" ]; then
    echo "socat did not link the pseudo-terminals:" >&2
    cat "$work/socat.err" >&2
    exit 1
fi
wine_end=$(readlink -f "$work/wine-end")
wine_port_link "$number" "$wine_end"

BRENNO_WINE=$wine BRENNO_SIM_EXE=$sim_exe BRENNO_SIM_PORT=$port BRENNO_PTY_PARITY_SHIM=$shim \
    BRENNO_LINE_LINUX_END="$work/linux-end" BRENNO_LINE_WINE_END="$wine_end" \
    BRENNO_SIM_PIDS="$work/pids" "$peer" </dev/null
