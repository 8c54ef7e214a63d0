#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# ./run bench: builds the release preset with the benchmarks, runs them and writes
# docs/performance.md (the same table is printed).
#
# Process level, in real time: each program's real window (offscreen) against transducer-sim on
# a pseudo-terminal, driven by bench/window_bench.cpp, with mbpoll polling a second simulator
# beside it. Micro level: bench/micro_bench.cpp (Google Benchmark) and its instruction counts
# under callgrind.
#
# BRENNO_BENCH_BUILD overrides the build directory (default build/release); --table-only writes
# the table again from the results of the last run.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
build=${BRENNO_BENCH_BUILD:-$top/build/release}
results=$build/bench-results
out=$top/docs/performance.md

raw=$results/results.txt
mbpoll=$(command -v mbpoll || true)

measure() {
echo "== building (release, BRENNO_BENCH=ON) in $build"
cmake --preset release -B "$build" -DBRENNO_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target micro_bench bench_window_polmira bench_window_calvena \
    transducer-sim
rm -rf "$results"
mkdir -p "$results"
: >"$raw"

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

# window PROGRAM ARGS...: one harness run; its RESULT lines are collected, the command noted.
window() {
    local program=$1
    shift
    local label=$2
    echo "== $program: $*"
    echo "COMMAND $label build/release/bench/bench_window_$program $*" >>"$raw"
    "$build/bench/bench_window_$program" "$@" >"$results/$label.txt" 2>"$results/$label.err" || {
        cat "$results/$label.err"
        echo "bench: bench_window_$program $* failed"
        exit 1
    }
    grep -E '^(RESULT|MBPOLL) ' "$results/$label.txt" | sed "s/^MBPOLL /MBPOLL $label /" >>"$raw"
}

with_mbpoll=()
[ -n "$mbpoll" ] && with_mbpoll=(--mbpoll "$mbpoll")
window polmira --label rtu500 --model TQ21 --period 500 --window 30 "${with_mbpoll[@]}"
window polmira --label rtu50 --model TQ21 --period 50 --window 20 "${with_mbpoll[@]}"
window polmira --label ascii500 --model TQ20 --period 500 --window 30 "${with_mbpoll[@]}"
window polmira --label ascii50 --model TQ20 --period 50 --window 20 "${with_mbpoll[@]}"
window polmira --label hidden500 --model TQ21 --period 500 --window 30 --hidden "${with_mbpoll[@]}"
window calvena --label calvena500 --model TQ41 --period 500 --window 20 "${with_mbpoll[@]}"
window polmira --label pumpref --busy-reference 3

echo "== micro benchmarks"
micro_args=(--benchmark_repetitions=3 --benchmark_report_aggregates_only=true)
echo "COMMAND micro build/release/bench/micro_bench ${micro_args[*]}" >>"$raw"
"$build/bench/micro_bench" "${micro_args[@]}" --benchmark_out="$results/micro.csv" \
    --benchmark_out_format=csv
# Median CPU time per iteration in ns.
awk -F, '/_median"?,/ {
    name=$1; gsub(/"/, "", name); sub(/_median$/, "", name)
    unit=$5; gsub(/"/, "", unit)
    f = unit == "us" ? 1e3 : unit == "ms" ? 1e6 : unit == "s" ? 1e9 : 1
    printf "RESULT micro.%s.cpu_ns %.6g\n", name, $4 * f
}' "$results/micro.csv" >>"$raw"

echo "== instruction counts (callgrind)"
if command -v valgrind >/dev/null; then
    # Two fixed iteration counts; the difference of the totals is the cost of the extra
    # iterations alone (the setup and the library's own work cancel out).
    callgrind() {
        local name=$1 n1=$2 n2=$3 total=()
        for n in "$n1" "$n2"; do
            valgrind --tool=callgrind --callgrind-out-file="$results/callgrind.$name.$n" \
                "$build/bench/micro_bench" --benchmark_filter="^$name(/|\$)" \
                --fixed-iterations="$n" >"$results/callgrind.$name.$n.log" 2>&1
            total+=("$(awk '/^summary:/ {print $2}' "$results/callgrind.$name.$n")")
        done
        echo "COMMAND callgrind.$name valgrind --tool=callgrind build/release/bench/micro_bench --benchmark_filter=^$name --fixed-iterations=$n1 (and $n2)" >>"$raw"
        awk -v a="${total[0]}" -v b="${total[1]}" -v n1="$n1" -v n2="$n2" -v name="$name" \
            'BEGIN { printf "RESULT micro.%s.instructions %.6g\n", name, (b - a) / (n2 - n1) }' >>"$raw"
    }
    callgrind BM_ModbusTick12 1000 11000
    callgrind BM_IecReceiveParse16Floats 10000 110000
    callgrind BM_BuildPollGroups32 1000 11000
    callgrind BM_TrafficRecordModbusPoll 10000 110000
fi

echo "== the line recorder's memory"
echo "COMMAND traffic build/release/bench/micro_bench --traffic-memory" >>"$raw"
"$build/bench/micro_bench" --traffic-memory | grep '^RESULT ' >>"$raw"

}

if [ "${1:-}" != "--table-only" ]; then
    measure
fi

echo "== writing $out"
mkdir -p "$(dirname "$out")"
awk -v date="$(date -u +%Y-%m-%d)" -v cpu="$(nproc) cores, $(uname -m)" \
    -f "$top/bench/performance_table.awk" "$raw" >"$out.table"

{
    cat "$out.table"
    if [ -f "$top/bench/performance-notes.md" ]; then
        echo
        cat "$top/bench/performance-notes.md"
    fi
} >"$out"
rm -f "$out.table"
echo
cat "$out"
