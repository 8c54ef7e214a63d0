#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The licence line "SPDX-License-Identifier: MIT" at the top of every tracked source file: C++
# (*.cpp, *.h, *.h.in) as a // comment; CMake (CMakeLists.txt, *.cmake), shell, Python and awk
# scripts (by name, or by a #! first line) as a # comment, after the #! line where there is one.
#   scripts/spdx.sh           adds the line to every tracked source file that lacks it
#   scripts/spdx.sh --check   changes nothing; lists the files without it, status 1 if any
# Outside a git checkout there is no list of tracked files: --check then exits with 77 (skipped).
set -euo pipefail
cd "$(dirname "$0")/.."

readonly line='SPDX-License-Identifier: MIT'
check=no
case "${1:-}" in
--check) check=yes ;;
"") ;;
*)
    echo "usage: scripts/spdx.sh [--check]" >&2
    exit 2
    ;;
esac

if ! files=$(git ls-files 2>/dev/null); then
    echo "not a git checkout: no tracked files to check"
    [ "$check" = yes ] && exit 77
    exit 1
fi

# The comment leader of a source file, or nothing for a file that is not source.
leader() {
    case "$1" in
    *.cpp | *.h | *.h.in) echo '//' ;;
    */CMakeLists.txt | CMakeLists.txt | *.cmake | *.sh | *.py | *.awk) echo '#' ;;
    *)
        if head -n 1 "$1" | grep -q '^#!.*\b\(sh\|bash\|python3\?\)\b'; then
            echo '#'
        fi
        ;;
    esac
}

missing=()
while IFS= read -r file; do
    [ -f "$file" ] || continue
    comment=$(leader "$file")
    [ -n "$comment" ] || continue
    # The line counts at the very top, or right after a #! line.
    at=1
    head -n 1 "$file" | grep -q '^#!' && at=2
    if [ "$(sed -n "${at}p" "$file")" = "$comment $line" ]; then
        continue
    fi
    missing+=("$file")
    [ "$check" = yes ] && continue
    if [ ! -s "$file" ]; then
        echo "$comment $line" >"$file"
    elif [ "$at" -eq 2 ]; then
        sed -i "1a $comment $line" "$file"
    else
        sed -i "1i $comment $line" "$file"
    fi
done <<<"$files"

if [ "$check" = yes ]; then
    if [ ${#missing[@]} -gt 0 ]; then
        printf 'without the line "%s":\n' "$line"
        printf '  %s\n' "${missing[@]}"
        echo "scripts/spdx.sh adds it"
        exit 1
    fi
    echo "every tracked source file carries \"$line\""
else
    echo "added \"$line\" to ${#missing[@]} files"
fi
