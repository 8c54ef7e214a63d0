#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows build's tests under Wine: scripts/windows_tests.sh [ctest options]
# (for example -R gui_win32, -L e2e). One virtual display, and inside it one Wine prefix
# (build/windows/wineprefix) whose server runs for all the tests. The server and its desktop
# must start on the display: a desktop started without one has no windows to give the programs.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

if [ -z "${BRENNO_WINDOWS_TESTS_DISPLAY:-}" ]; then
    export BRENNO_WINDOWS_TESTS_DISPLAY=yes
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
# shellcheck source=scripts/wine_env.sh
source "$top/scripts/wine_env.sh"
wine_start "$top/build/windows/wineprefix"
result=0
(cd "$top" && ctest --preset windows "$@") || result=$?
wine_stop
exit $result
