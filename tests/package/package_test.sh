#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Debian package as a packager and a user meet it: built from the package preset (no tests),
# passed by lintian --pedantic without an error or a warning and by appstreamcli, installed with
# apt-get (which brings what it depends on), each program asked for its version without a
# display, and removed again, leaving none of its files behind.
#   tests/package/package_test.sh SOURCE_DIR VERSION
# Exit status 77 (skipped) when it cannot install: not root and no sudo without a password.
set -euo pipefail
top=$(cd "$1" && pwd)
version=$2
cd "$top"

say() { printf '== %s\n' "$*"; }
fail() {
    printf 'package test: %s\n' "$*" >&2
    exit 1
}
as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo -n "$@"; fi
}
installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

as_root true 2>/dev/null || {
    echo "SKIPPED: installing the package needs root or sudo without a password"
    exit 77
}
for tool in lintian appstreamcli apt-get dpkg-deb; do
    command -v "$tool" >/dev/null || fail "$tool is missing (./run test installs it)"
done
if installed transducer-tools; then
    fail "transducer-tools is installed on this machine; this test installs and removes it:" \
        "remove it first (apt-get remove transducer-tools)"
fi

work=$(mktemp -d)
cleanup() {
    if installed transducer-tools; then
        as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq transducer-tools \
            >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

say "building (cmake --workflow --preset package)"
deb=$top/build/package/transducer-tools_${version}_$(dpkg --print-architecture).deb
rm -f "$deb"
cmake --workflow --preset package >"$work/build.log" 2>&1 || {
    tail -n 40 "$work/build.log"
    fail "the package build failed"
}
[ -f "$deb" ] || fail "no $deb"

say "lintian --pedantic $(basename "$deb")"
lintian_status=0
lintian --pedantic --info --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1 ||
    lintian_status=$?
grep -v '^running with root' "$work/lintian.txt" | sed 's/^/   /' || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports errors or warnings"

say "appstreamcli validate --no-net"
dpkg-deb -x "$deb" "$work/tree"
metainfo=("$work"/tree/usr/share/metainfo/*.metainfo.xml)
[ ${#metainfo[@]} -eq 2 ] || fail "expected two metainfo files, found ${#metainfo[@]}"
appstreamcli validate --no-net "${metainfo[@]}" || fail "appstreamcli rejects the metainfo"

say "apt-get install $(basename "$deb")"
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" \
    >"$work/install.log" 2>&1 || {
    cat "$work/install.log"
    fail "apt-get install failed"
}
installed transducer-tools || fail "not installed after apt-get install"
for p in qt6-qpa-plugins qt6-translations-l10n; do
    installed "$p" || fail "$p did not come with the package"
done
dpkg-query -L transducer-tools >"$work/files"

for program in polmira calvena transducer-sim; do
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "/usr/bin/$program" --version) ||
        fail "$program --version failed"
    [ "$out" = "$program $version" ] || fail "$program --version printed \"$out\""
    echo "   $out"
    man -w "$program" >/dev/null 2>&1 || fail "no man page for $program"
done

say "apt-get remove transducer-tools"
as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq transducer-tools \
    >"$work/remove.log" 2>&1 || {
    cat "$work/remove.log"
    fail "apt-get remove failed"
}
! installed transducer-tools || fail "still installed after apt-get remove"
left=0
while IFS= read -r path; do
    if [ -f "$path" ] || [ -L "$path" ]; then
        echo "left behind: $path" >&2
        left=1
    fi
done <"$work/files"
[ "$left" -eq 0 ] || fail "files of the package are left after its removal"
say "the package builds, passes lintian and appstreamcli, installs, runs and is removed"
