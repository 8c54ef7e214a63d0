#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The layering of the sources, checked: every #include in src/ against the layers its folder
# may use, and every <header> against the folders that may include a toolkit's or an operating
# system's headers. Each violation is printed as file:line: the include: the rule broken; the
# exit status is 1 when there is any, 0 when there is none.
#   scripts/check_layering.sh [src-folder]      (the project's src/ by default)
set -uo pipefail

src=${1:-$(dirname "$0")/../src}
src=${src%/}
if [ ! -d "$src" ]; then
    echo "check_layering: no folder $src" >&2
    exit 2
fi

# The layers each folder of src/ may include besides its own headers.
declare -A may_use=(
    [platform]=""
    [channel]="platform"
    [catalogue]="platform"
    [log]="platform"
    [iec101]="platform channel"
    [monitor]="platform channel catalogue iec101"
    [polling]="platform channel catalogue log iec101"
    [sim]="platform channel catalogue log iec101"
)
# The front ends may include every layer.
front_ends=" app "
# The systems' own parts of the platform layer (platform/<system>/) are included from within
# themselves only: the front ends reach them through the composition root,
# platform/platform_services.h, which the build gives them for the system it is for.
systems=" posix win32 "
# The folders that may include toolkit and operating-system headers.
system_header_folders=" app platform "
# Inside them each toolkit and system has its own place: two front ends over one shared layout
# (app/ itself holds no toolkit), and the system parts of the platform layer.
qt_places=" app/qt/ "
windows_places=" app/win32/ platform/win32/ "
front_end_parts=" qt win32 "
# The Windows SDK's headers that only a Windows part includes.
windows_headers=" windows.h windowsx.h winbase.h winuser.h wingdi.h winreg.h winnls.h commctrl.h
    commdlg.h shellapi.h shlobj.h objbase.h mmsystem.h timeapi.h setupapi.h devguid.h "
windows_headers=$(echo $windows_headers)
# Narrow exceptions, as "file include-prefix". The simulator program serves a pseudo-terminal
# or a real port on POSIX, a COM port on Windows.
exceptions=(
    "sim/transducer_sim_main.cpp platform/posix/"
    "sim/transducer_sim_main.cpp platform/win32/"
)
# The C++ standard library's headers (the C library's in their <c...> form). Any other <header>
# is a toolkit's, an operating system's or another library's.
standard_headers=" algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv
    cfloat charconv chrono cinttypes climits clocale cmath codecvt compare complex concepts
    condition_variable coroutine csetjmp csignal cstdarg cstddef cstdint cstdio cstdlib cstring
    ctime cuchar cwchar cwctype deque exception execution expected filesystem flat_map flat_set
    format forward_list fstream functional future generator initializer_list iomanip ios iosfwd
    iostream istream iterator latch limits list locale map mdspan memory memory_resource mutex
    new numbers numeric optional ostream print queue random ranges ratio regex scoped_allocator
    semaphore set shared_mutex source_location span spanstream sstream stack stacktrace
    stdexcept stdfloat stop_token streambuf string string_view syncstream system_error thread
    tuple type_traits typeindex typeinfo unordered_map unordered_set utility valarray variant
    vector version "
standard_headers=$(echo $standard_headers)  # one line, one space between the names

violations=0
includes=0
system_header_places=$(echo $system_header_folders)
system_header_places="${system_header_places// //, }/"

report() {  # where what rule
    echo "$src/$1: $2: $3"
    violations=$((violations + 1))
}

contains() {  # list word: whether the space-separated list holds the word
    [[ " $1 " == *" $2 "* ]]
}

in_places() {  # places file: whether the file lies in one of the space-separated folders
    local place
    for place in $1; do
        [[ "$2" == "$place"* ]] && return 0
    done
    return 1
}

# A path with its "." and ".." parts taken out (a leading ".." is kept: it leaves src/).
normalize() {
    local part
    local -a pieces parts=()
    IFS=/ read -ra pieces <<<"$1"
    for part in "${pieces[@]}"; do
        case "$part" in
        "" | .) ;;
        ..)
            if [ ${#parts[@]} -gt 0 ] && [ "${parts[-1]}" != .. ]; then
                unset 'parts[-1]'
            else
                parts+=(..)
            fi
            ;;
        *) parts+=("$part") ;;
        esac
    done
    local IFS=/
    echo "${parts[*]}"
}

# The sources of src/ are all in the folders of the table.
for entry in "$src"/*; do
    name=$(basename "$entry")
    if [ -d "$entry" ]; then
        if [ -z "${may_use[$name]+known}" ] && ! contains "$front_ends" "$name"; then
            report "$name/" "a folder" "neither a layer of the table nor a front end"
        fi
    elif [[ "$name" =~ \.(h|hpp|cpp|cc)$ ]]; then
        report "$name" "a source" "outside the layers' folders"
    fi
done

check_project_include() {  # file line include target
    local file=$1 line=$2 text=$3 target=$4
    local folder=${file%%/*} layer=${target%%/*}
    local rest=${target#*/}
    local part=${rest%%/*}
    if [ "$layer" = .. ]; then
        report "$file:$line" "$text" "leads out of src/"
        return
    fi
    if [ "$layer" = platform ] && [ "$rest" != "$part" ] && contains "$systems" "$part"; then
        local exception
        for exception in "${exceptions[@]}"; do
            if [ "$file" = "${exception%% *}" ] && [[ "$target" == "${exception#* }"* ]]; then
                return
            fi
        done
        if [[ "$file" != "platform/$part/"* ]]; then
            report "$file:$line" "$text" "platform/$part/ is included from platform/$part/ only; a program gets the system's objects through platform/platform_services.h"
        fi
        return
    fi
    if [ -z "${may_use[$layer]+known}" ] && ! contains "$front_ends" "$layer"; then
        report "$file:$line" "$text" "not a header of a layer of src/"
        return
    fi
    if [ "$folder" = app ] && [ "$layer" = app ]; then
        local mine=${file#app/}
        mine=${mine%%/*}
        if [ "$rest" != "$part" ] && contains "$front_end_parts" "$part" && [ "$part" != "$mine" ]; then
            report "$file:$line" "$text" "app/$part/ is one front end; the other and app/ do not include it"
        fi
        return
    fi
    if [ "$layer" = "$folder" ] || contains "$front_ends" "$folder"; then
        return
    fi
    if [ -n "${may_use[$folder]+known}" ] && ! contains "${may_use[$folder]}" "$layer"; then
        local allowed=${may_use[$folder]// /, }
        report "$file:$line" "$text" "$folder may use ${allowed:-nothing of the project} (not $layer)"
    fi
}

include_pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*([<"])([^">]+)[">]'
while IFS= read -r hit; do
    path=${hit%%:*}
    hit=${hit#*:}
    line=${hit%%:*}
    directive=${hit#*:}
    file=${path#"$src"/}
    folder=${file%%/*}
    [[ "$directive" =~ $include_pattern ]] || continue
    includes=$((includes + 1))
    [ "$folder" != "$file" ] || continue  # reported above
    name=${BASH_REMATCH[2]}
    if [ "${BASH_REMATCH[1]}" = '"' ]; then
        text="#include \"$name\""
        # Found next to the including file first, as the compiler looks for it.
        beside=$(normalize "$(dirname "$file")/$name")
        if [[ "$name" != */* || "$name" == .* ]] || [ -e "$src/$beside" ]; then
            target=$beside
        else
            target=$(normalize "$name")
        fi
        check_project_include "$file" "$line" "$text" "$target"
        continue
    fi
    text="#include <$name>"
    first=${name%%/*}
    if [ "$first" != "$name" ] && { [ -n "${may_use[$first]+known}" ] ||
        contains "$front_ends" "$first"; }; then
        check_project_include "$file" "$line" "$text" "$(normalize "$name")"
    elif ! contains "$standard_headers" "$name" && ! contains "$system_header_folders" "$folder"; then
        report "$file:$line" "$text" "a toolkit's or system's header; outside $system_header_places only the C++ standard library's headers are included"
    elif [[ "$name" =~ ^Q[A-Za-z0-9_]*$ || "$name" == Qt*/* ]] && ! in_places "$qt_places" "$file"; then
        report "$file:$line" "$text" "Qt is included in $(echo $qt_places) only"
    elif contains "$windows_headers" "${name,,}" && ! in_places "$windows_places" "$file"; then
        report "$file:$line" "$text" "Windows' headers are included in $(echo $windows_places) only"
    fi
done < <(grep -rnE --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.cc' \
    '^[[:space:]]*#[[:space:]]*include' "$src" | sort -t: -k1,1 -k2,2n)

if [ "$violations" -gt 0 ]; then
    echo "layering: $violations violation(s) in $includes includes. The layers may use:"
    for layer in platform channel catalogue log iec101 polling sim; do
        echo "  $layer: ${may_use[$layer]:-nothing of the project}"
    done
    echo "  front ends ($(echo $front_ends)): every layer, but platform's system parts" \
        "($(echo $systems)) only through platform/platform_services.h"
    exit 1
fi
echo "layering: $includes includes, no violation"
