#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows installer and zip as a user meets them, under Wine: packed by CPack from a Windows
# build; the zip holds both programs, the simulator and the licence; the installer,
# run silently (/S), puts the programs and their Start-menu entries in place and registers its
# uninstaller; each program starts and shows its window; the simulator answers --help; the
# uninstaller, run silently, leaves none of the installed files, entries or keys behind.
#   tests/package/windows_installer_test.sh SOURCE_DIR VERSION BUILD_DIR
# BUILD_DIR is a configured and built Windows build (the windows preset's, or windows-package's).
# Needs an X display (run it under xvfb-run). Exit status 77 (skipped) without wine or makensis.
set -euo pipefail
top=$(cd "$1" && pwd)
version=$2
build=$(cd "$3" && pwd)
cd "$top"

say() { printf '== %s\n' "$*"; }
fail() {
    printf 'windows installer test: %s\n' "$*" >&2
    exit 1
}
for tool in wine wineserver makensis cpack xdotool unzip; do
    command -v "$tool" >/dev/null || {
        echo "SKIPPED: $tool is missing (./run test installs it)"
        exit 77
    }
done
[ -n "${DISPLAY:-}" ] || fail "no X display: run the test under xvfb-run"

work=$(mktemp -d)
say "packing the installer and the zip (cpack in $build)"
cpack --config "$build/CPackConfig.cmake" -B "$work/packages" >"$work/cpack.txt" 2>&1 ||
    fail "cpack failed: $(tail -n 20 "$work/cpack.txt")"
name=transducer-tools-$version-windows-x64
installer=$work/packages/$name.exe
zip=$work/packages/$name.zip
[ -s "$installer" ] || fail "no installer $installer"
[ -s "$zip" ] || fail "no zip $zip"

# shellcheck source=scripts/wine_env.sh
source "$top/scripts/wine_env.sh"
cleanup() {
    wine_stop
    rm -rf "$work"
}
trap cleanup EXIT

say "the zip"
unzip -q "$zip" -d "$work/zip"
for file in bin/polmira.exe bin/calvena.exe bin/transducer-sim.exe LICENSE.txt README.txt; do
    [ -s "$work/zip/$name/$file" ] || fail "the zip lacks $file"
done

say "installing silently into a new Wine prefix"
wine_start "$work/prefix"
wine "$installer" /S </dev/null >"$work/install.txt" 2>&1 || fail "the installer failed: $(cat "$work/install.txt")"
dir="$WINEPREFIX/drive_c/Program Files/Corvanta/Transducer tools"
for file in bin/polmira.exe bin/calvena.exe bin/transducer-sim.exe LICENSE.txt Uninstall.exe; do
    [ -s "$dir/$file" ] || fail "not installed: $file"
done
menu=$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name '*.lnk' | sort)
grep -q '/Polmira.lnk$' <<<"$menu" || fail "no Start-menu entry for Polmira: $menu"
grep -q '/Calvena.lnk$' <<<"$menu" || fail "no Start-menu entry for Calvena: $menu"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\transducer-tools'
wine reg query "$uninstall_key" </dev/null >"$work/key.txt" 2>&1 || fail "no uninstall entry"

say "starting the installed programs"
for program in polmira calvena; do
    caption=${program^}
    wine "$dir/bin/$program.exe" </dev/null >"$work/$program.txt" 2>&1 &
    pid=$!
    window=
    for _ in $(seq 300); do
        window=$(xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null | head -n 1 || true)
        [ -n "$window" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -n "$window" ] || fail "$caption showed no window: $(cat "$work/$program.txt")"
    echo "   $caption: window $window"
    # Asked to close as Windows asks (taskkill without /F sends WM_CLOSE), the program ends.
    wine taskkill /IM "$program.exe" </dev/null >"$work/taskkill.txt" 2>&1 || true
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        fail "$caption did not end when asked to close: $(cat "$work/taskkill.txt")"
    fi
    wait "$pid" 2>/dev/null || true
done
wine "$dir/bin/transducer-sim.exe" --help </dev/null >"$work/sim-help.txt" 2>&1 || true
grep -q -- '--device' "$work/sim-help.txt" || fail "transducer-sim.exe --help: $(cat "$work/sim-help.txt")"

say "uninstalling silently"
wine "$dir/Uninstall.exe" /S </dev/null >"$work/uninstall.txt" 2>&1 || fail "the uninstaller failed"
# The uninstaller runs on from a copy of itself in the temporary folder.
for _ in $(seq 300); do
    [ -e "$dir" ] || break
    sleep 0.1
done
[ ! -e "$dir" ] || fail "left behind: $(find "$dir" | head)"
left=$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' \( -name 'Polmira.lnk' -o -name 'Calvena.lnk' \))
[ -z "$left" ] || fail "Start-menu entries left behind: $left"
if wine reg query "$uninstall_key" </dev/null >"$work/key.txt" 2>&1; then
    fail "the uninstall entry is left behind"
fi
say "the Windows installer installs, starts and uninstalls cleanly"
