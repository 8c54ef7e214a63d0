#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Wine for the Windows build's tests and demo, sourced by ./run and the tests' scripts:
#   wine_start PREFIX   make the prefix when it is missing, start its server and keep it running
#   wine_stop           stop the server of the prefix
#   wine_port_link N TARGET   point COMn of the prefix at TARGET (a pseudo-terminal)
#   wine_port_unlink N        COMn leads nowhere again (a missing port)
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
    wine_declare_ports
}

# The COM ports each prefix declares for the tests. COMn is the link ports/comN beside the
# prefix; Wine follows it at every open, so a test points it at its own pseudo-terminal without
# restarting the server. Declared ports are listed by QueryDosDeviceW (a bare link in
# dosdevices is not); the mount manager takes a declaration at the server's next start.
WINE_TEST_PORTS="5 6 7 8"

wine_ports_dir() {
    echo "$(cd "$WINEPREFIX/.." && pwd)/ports"
}

wine_declare_ports() {
    local dir n declared=yes
    dir=$(wine_ports_dir)
    mkdir -p "$dir"
    for n in $WINE_TEST_PORTS; do
        [ -L "$dir/com$n" ] || ln -s no-port "$dir/com$n"
        grep -qF "\"COM$n\"=\"$dir/com$n\"" "$WINEPREFIX/system.reg" 2>/dev/null || declared=no
    done
    [ "$declared" = yes ] && return 0
    for n in $WINE_TEST_PORTS; do
        wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$dir/com$n" /f </dev/null >/dev/null 2>&1
    done
    wineserver -k </dev/null >/dev/null 2>&1
    wineserver -w </dev/null >/dev/null 2>&1
    wineserver -p </dev/null >/dev/null 2>&1
    wine wineboot </dev/null >/dev/null 2>&1
}

wine_port_link() {  # N TARGET
    local link
    link="$(wine_ports_dir)/com$1"
    ln -sfn "$2" "$link.new" && mv -Tf "$link.new" "$link"
}

wine_port_unlink() {  # N
    wine_port_link "$1" no-port
}

wine_stop() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k </dev/null >/dev/null 2>&1 || true
}
