#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The layering check on made-up source trees: a tree that keeps every rule passes, and one bad
# include added to it fails, naming the file, the line and the rule.
#   check_layering_test.sh path/to/check_layering.sh
set -uo pipefail

checker=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# put tree file lines...: writes a source file of the tree, one argument a line.
put() {
    local tree=$1 file=$2
    shift 2
    mkdir -p "$(dirname "$tree/src/$file")"
    printf '%s\n' "$@" >"$tree/src/$file"
}

# Every layer using what it may, the system parts with their own headers, the front end with
# its toolkit, and the simulator program with its allowed POSIX far end.
clean=$work/clean
put "$clean" platform/clock.h '#pragma once' '#include <cstdint>'
put "$clean" platform/platform_services.h '#include "platform/clock.h"' '#include <memory>'
put "$clean" platform/virtual/virtual_line.h '#include "platform/clock.h"'
put "$clean" platform/posix/system_clock.h '#include "platform/clock.h"'
put "$clean" platform/posix/system_clock.cpp '#include "platform/posix/system_clock.h"' \
    '#include <time.h>' '#include <termios.h>' '#include <sys/ioctl.h>'
put "$clean" platform/posix/services.cpp '#include "platform/platform_services.h"' \
    '#include "system_clock.h"'
put "$clean" channel/serial_channel.h '#include "platform/clock.h"' '#include <vector>'
put "$clean" channel/serial_channel.cpp '#include "serial_channel.h"' '#include "./serial_channel.h"'
put "$clean" catalogue/model.h '#include <string_view>' '#include <cstdio>'
put "$clean" log/measurement_log.h '#include "platform/clock.h"'
put "$clean" iec101/master.h '#include "channel/serial_channel.h"' '#include "platform/clock.h"'
put "$clean" polling/controller.h '#include "catalogue/model.h"' '#include "channel/serial_channel.h"' \
    '#include "iec101/master.h"' '#include "log/measurement_log.h"' '#include "platform/clock.h"' \
    '// #include "sim/device.h" is not an include'
put "$clean" sim/device.h '#include "catalogue/model.h"' '#include "iec101/master.h"' \
    '#include "log/measurement_log.h"' '#include "platform/virtual/virtual_line.h"'
put "$clean" sim/transducer_sim_main.cpp '#include "platform/posix/system_clock.h"' \
    '#include "sim/device.h"'
put "$clean" app/layout.h '#include "polling/controller.h"' '#include <string>'
put "$clean" app/qt/window.cpp '#include <QWidget>' '#include <QtCore/QTimer>' '#include <unistd.h>' \
    '#include "polling/controller.h"' '#include "sim/device.h"' '#include "app/layout.h"' \
    '#include "platform/platform_services.h"' '#include "moc_window.cpp"'
put "$clean" app/win32/dialog.cpp '#include <windows.h>' '#include <commctrl.h>' \
    '#include "app/layout.h"' '#include "app/win32/dialog.h"' '#include "polling/controller.h"'
put "$clean" platform/win32/registry.cpp '#include <windows.h>' '#include "platform/clock.h"'

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

output=$(bash "$checker" "$clean/src")
status=$?
if [ "$status" -ne 0 ]; then
    fail "the clean tree is refused (status $status):"
    echo "$output"
fi

# file|include|what the report must say: each added on line 3 of a new file in the clean tree.
cases=(
    'platform/calendar.cpp|#include "channel/serial_channel.h"|platform may use nothing of the project (not channel)'
    'channel/link_scan.cpp|#include "catalogue/model.h"|channel may use platform (not catalogue)'
    'catalogue/naming.cpp|#include "log/measurement_log.h"|catalogue may use platform (not log)'
    'log/rows.cpp|#include "../channel/serial_channel.h"|log may use platform (not channel)'
    'iec101/asdu.cpp|#include "polling/controller.h"|iec101 may use platform, channel (not polling)'
    'polling/delay.cpp|#include "sim/device.h"|polling may use platform, channel, catalogue, log, iec101 (not sim)'
    'polling/plan.cpp|#include <sim/device.h>|polling may use platform, channel, catalogue, log, iec101 (not sim)'
    'sim/station.cpp|#include "polling/controller.h"|sim may use platform, channel, catalogue, log, iec101 (not polling)'
    'channel/window.h|#include "app/window.h"|channel may use platform (not app)'
    'app/brenno_app.cpp|#include "platform/posix/system_clock.h"|platform/posix/ is included from platform/posix/ only'
    'platform/calendar.cpp|#include "posix/system_clock.h"|platform/posix/ is included from platform/posix/ only'
    'platform/posix/serial.cpp|#include "platform/win32/registry.h"|platform/win32/ is included from platform/win32/ only'
    'sim/line_server.cpp|#include "platform/posix/system_clock.h"|platform/posix/ is included from platform/posix/ only'
    'catalogue/latin1.cpp|#include <QString>|a toolkit'"'"'s or system'"'"'s header'
    'app/layout.cpp|#include <QWidget>|Qt is included in app/qt/ only'
    'app/win32/menu.cpp|#include <QtGui/QIcon>|Qt is included in app/qt/ only'
    'app/qt/port.cpp|#include <Windows.h>|Windows'"'"' headers are included in app/win32/ platform/win32/ only'
    'platform/std_file.cpp|#include <windows.h>|Windows'"'"' headers are included in app/win32/ platform/win32/ only'
    'app/qt/about.cpp|#include "app/win32/dialog.h"|app/win32/ is one front end'
    'app/layout.cpp|#include "app/qt/window.h"|app/qt/ is one front end'
    'sim/line_server.cpp|#include <termios.h>|a toolkit'"'"'s or system'"'"'s header'
    'polling/clock.cpp|  #  include <sys/time.h>|a toolkit'"'"'s or system'"'"'s header'
    'log/file.cpp|#include <stdio.h>|a toolkit'"'"'s or system'"'"'s header'
    'polling/helpers.cpp|#include "support/fake_view.h"|not a header of a layer of src/'
    'channel/up.cpp|#include "../../outside.h"|leads out of src/'
    'tools/convert.cpp|#include <vector>|a folder: neither a layer of the table nor a front end'
    'main.cpp|#include <vector>|a source: outside the layers'"'"' folders'
)
for entry in "${cases[@]}"; do
    IFS='|' read -r file include expected <<<"$entry"
    tree=$work/case
    rm -rf "$tree"
    cp -r "$clean" "$tree"
    put "$tree" "$file" '// A file of the made-up tree.' '#include <string>' "$include" '#include <vector>'
    output=$(bash "$checker" "$tree/src")
    status=$?
    where="$tree/src/$file:3:"
    [[ "$file" == tools/* ]] && where="$tree/src/tools/:"
    [[ "$file" == main.cpp ]] && where="$tree/src/main.cpp:"
    if [ "$status" -ne 1 ]; then
        fail "$file with '$include' gives status $status, not 1"
    elif [ "$(grep -c "^$tree/src/" <<<"$output")" -ne 1 ]; then
        fail "$file with '$include': not exactly one violation:"
        echo "$output"
    elif [[ "$output" != *"$where"*"$expected"* ]]; then
        fail "$file with '$include': the report does not say '$where ... $expected':"
        echo "$output"
    fi
done

bash "$checker" "$work/missing" >/dev/null 2>&1
[ $? -eq 2 ] || fail "a missing source folder is not reported as a usage error"

if [ "$failures" -gt 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "layering check: the clean tree passes, ${#cases[@]} bad includes fail as they should"
