#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Wine for the Windows build's tests and demo, sourced by ./run and the tests' scripts:
#   wine_start PREFIX   make the prefix when it is missing, start its server and keep it running
#   wine_stop           stop the server of the prefix
# The prefix gets the monospaced face for "Courier New" (as the window template names it) and
# no Mono or Gecko prompts. A running server makes a program start in a tenth of a second
# instead of three; its output goes nowhere, since a server holding a pipe hangs whoever reads it.

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

wine_start() {
    export WINEPREFIX=$1
    local fresh=no
    [ -f "$WINEPREFIX/system.reg" ] || fresh=yes
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >/dev/null 2>&1
    wine wineboot </dev/null >/dev/null 2>&1
    if [ "$fresh" = yes ]; then
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' /d 'Liberation Mono' /f \
            </dev/null >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS Shell Dlg' /d 'Liberation Sans' /f \
            </dev/null >/dev/null 2>&1
    fi
}

wine_stop() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k </dev/null >/dev/null 2>&1 || true
}
