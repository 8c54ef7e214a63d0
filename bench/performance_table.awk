# SPDX-License-Identifier: MIT
# The table of docs/performance.md from the RESULT, COMMAND and MBPOLL lines that
# scripts/bench.sh collects. Variables: date, cpu.
function has(k) { return (k in r) }
function v(k) { return has(k) ? r[k] : 0 }
function cmd(l) { return "`" c[l] "`" }
function ratio(a, b,    q) {
    if (b <= 0) return "n/a"
    q = a / b
    return q >= 0.01 ? sprintf("%.2f", q) : sprintf("%.1e", q)
}
function row(figure, ours, ref, rat, command) {
    printf "| %s | %s | %s | %s | %s |\n", figure, ours, ref, rat, command
}
# CPU per minute of polling from a run, and mbpoll beside it.
function per_poll(cpu_ms, polls) { return polls > 0 ? sprintf("%.0f us/poll", 1000 * cpu_ms / polls) : "no polls" }
function cpu_row(l, what,    w, ours, theirs) {
    if (!has(l ".cpu_ms")) return
    w = v(l ".window_s")
    ours = v(l ".cpu_ms") * 60 / w
    if (has(l ".mbpoll_cpu_ms")) {
        theirs = v(l ".mbpoll_cpu_ms") * 60 / w
        row(what sprintf(" (%.0f s window, scaled to a minute)", w),
            sprintf("%.1f ms/min (%.3f%% of a core; %d polls, %s)", ours, ours / 600,
                    v(l ".good_ticks"), per_poll(v(l ".cpu_ms"), v(l ".good_ticks"))),
            sprintf("mbpoll: %.1f ms/min (%d polls, %s)", theirs, v(l ".mbpoll_requests"),
                    per_poll(v(l ".mbpoll_cpu_ms"), v(l ".mbpoll_requests"))),
            ratio(ours, theirs), cmd(l) "; `" m[l] "`")
    } else {
        row(what, sprintf("%.1f ms/min (%.3f%% of a core)", ours, ours / 600), "mbpoll not installed",
            "n/a", cmd(l))
    }
}
# From the port's opening (right after the save-file dialog) to the first value field that
# shows a value. The floor: the scan as measured (opening to the configuration request, less the
# 0.1 s after opening) plus 6.6 s; the full floor adds Start's four receives of fixed length
# (0.2 s) and the first tick, one period and a 25 ms gap after the end of Start.
function first_value_row(l, what, period,    floor, full) {
    if (!has(l ".open_to_first_value_ms")) return
    floor = v(l ".open_to_config_request_ms") + 6500
    full = floor + 200 + period + 25
    row(what, sprintf("%.0f ms (the first tick %.0f ms after the end of Start)",
                      v(l ".open_to_first_value_ms"), v(l ".start_end_to_first_value_ms")),
        sprintf("floor %.0f ms (scan as measured, %.0f ms, + 6.6 s); with the receive waits and the first tick %.0f ms (ratio %s)",
                floor, v(l ".open_to_config_request_ms") - 100, full,
                ratio(v(l ".open_to_first_value_ms"), full)),
        ratio(v(l ".open_to_first_value_ms"), floor), cmd(l))
}
function rate_row(l, what,    rate) {
    if (!has(l ".good_ticks")) return
    rate = v(l ".good_ticks") / v(l ".window_s")
    row(what sprintf(" (%.0f s window)", v(l ".window_s")),
        sprintf("%.2f polls/s (%d good, %d failed)", rate, v(l ".good_ticks"), v(l ".failed_ticks")),
        "20 polls/s", ratio(rate, 20), cmd(l))
}
# A micro benchmark: its CPU time (against ref_us) and its instructions (against ref_ins).
function micro_row(b, what, ref_us, ref_text, ref_ins, ins_text,    k) {
    k = "micro." b
    if (has(k ".cpu_ns"))
        row(what ": CPU per call", sprintf("%.3g us", v(k ".cpu_ns") / 1000), ref_text,
            ratio(v(k ".cpu_ns") / 1000, ref_us), cmd("micro"))
    if (has(k ".instructions"))
        row(what ": instructions per call", sprintf("%.0f", v(k ".instructions")), ins_text,
            ratio(v(k ".instructions"), ref_ins), cmd("callgrind." b))
}
$1 == "RESULT" { r[$2] = $3 }
$1 == "COMMAND" { l = $2; $1 = ""; $2 = ""; sub(/^  /, ""); c[l] = $0 }
$1 == "MBPOLL" { l = $2; $1 = ""; $2 = ""; sub(/^  /, ""); sub(/ >\/dev\/null.*/, ""); sub(/^exec /, "");
                 gsub(/\/tmp\/[^ ]*\/bench-b/, "PTY", $0); m[l] = $0 }
END {
    print "# Performance"
    print ""
    print "Measured by `./run bench` (scripts/bench.sh) on " date " (" cpu ", shared with other work)."
    print "Process figures: the program's real window on the offscreen platform, the real serial"
    print "device and clock, against transducer-sim on a pseudo-terminal, in real time; CPU is the"
    print "on-CPU time of all threads (user and system) from /proc/PID/task/*/schedstat, taken over"
    print "a measuring window that opens 2 s after the first value. mbpoll polls a second simulator"
    print "of the same model for the same input registers at the same period, in the same window."
    print "Micro figures: Google Benchmark medians of 3 repetitions, and instructions per iteration"
    print "from callgrind (user space only), on stand-ins without system calls."
    print ""
    print "| Figure | Ours | Reference | Ratio | Command |"
    print "|---|---|---|---|---|"
    cpu_row("rtu500", "Polmira CPU per minute, Modbus RTU (TQ21), 500 ms")
    cpu_row("rtu50", "Polmira CPU per minute, Modbus RTU (TQ21), 50 ms")
    cpu_row("ascii500", "Polmira CPU per minute, Modbus ASCII (TQ20), 500 ms; mbpoll polls in RTU (it has no ASCII)")
    cpu_row("ascii50", "Polmira CPU per minute, Modbus ASCII (TQ20), 50 ms; mbpoll polls in RTU")
    cpu_row("calvena500", "Calvena CPU per minute, Modbus RTU (TQ41), 500 ms")
    cpu_row("hidden500", "Polmira CPU per minute, RTU (TQ21), 500 ms, window not shown (no painting)")
    if (has("rtu500.cpu_ms"))
        row("Polmira polling at 500 ms (RTU), share of one core",
            sprintf("%.3f%%", v("rtu500.cpu_ms") / v("rtu500.window_s") / 10), "target 0.5%",
            ratio(v("rtu500.cpu_ms") / v("rtu500.window_s") / 10, 0.5), cmd("rtu500"))
    if (has("rtu500.waits_cpu_ms") && has("busy.cpu_ms")) {
        busy = v("busy.cpu_ms") / v("busy.wall_ms")
        row(sprintf("CPU during Start's waits (the pumped 1 s after the configuration request and the 5 s change-over, %.1f s in all)", v("rtu500.waits_wall_ms") / 1000),
            sprintf("%.1f ms (%.2f%% of a core)", v("rtu500.waits_cpu_ms"), 100 * v("rtu500.waits_cpu_ms") / v("rtu500.waits_wall_ms")),
            sprintf("naive busy PumpMessagesFor: %.0f ms (%.0f%% of a core, measured)", busy * v("rtu500.waits_wall_ms"), 100 * busy),
            ratio(v("rtu500.waits_cpu_ms"), busy * v("rtu500.waits_wall_ms")), cmd("rtu500") "; " cmd("pumpref"))
        row(sprintf("PumpMessagesFor on the idle window, %.0f s", v("pump.wall_ms") / 1000),
            sprintf("%.2f ms (%.3f%% of a core)", v("pump.cpu_ms"), 100 * v("pump.cpu_ms") / v("pump.wall_ms")),
            sprintf("busy loop of processEvents, same time: %.0f ms", v("busy.cpu_ms")),
            ratio(v("pump.cpu_ms"), v("busy.cpu_ms")), cmd("pumpref"))
        row(sprintf("CPU of the whole Start, click to polling (%.1f s, scan included)", v("rtu500.start_wall_ms") / 1000),
            sprintf("%.1f ms (%.2f%% of a core; the scan %.1f ms)", v("rtu500.start_cpu_ms"), 100 * v("rtu500.start_cpu_ms") / v("rtu500.start_wall_ms"), v("rtu500.scan_cpu_ms")),
            sprintf("busy for the same time: %.0f ms", busy * v("rtu500.start_wall_ms")),
            ratio(v("rtu500.start_cpu_ms"), busy * v("rtu500.start_wall_ms")), cmd("rtu500"))
    }
    first_value_row("rtu500", "Start to the first value on screen, RTU, period 500 ms", 500)
    first_value_row("rtu50", "Start to the first value on screen, RTU, period 50 ms", 50)
    first_value_row("ascii500", "Start to the first value on screen, ASCII, period 500 ms", 500)
    first_value_row("ascii50", "Start to the first value on screen, ASCII, period 50 ms", 50)
    rate_row("rtu50", "Polls per second at 50 ms, RTU (TQ21)")
    rate_row("ascii50", "Polls per second at 50 ms, ASCII (TQ20)")
    peak = 0
    for (k in r) if (k ~ /^(rtu|ascii)[0-9]+\.peak_rss_kb$/ && r[k] > peak) peak = r[k]
    if (peak > 0)
        row("Peak resident memory of Polmira while polling (largest of its runs)",
            sprintf("%.1f MB", peak / 1024), "target 50 MB", ratio(peak / 1024, 50), cmd("rtu500"))
    if (has("calvena500.peak_rss_kb"))
        row("Peak resident memory of Calvena while polling",
            sprintf("%.1f MB", v("calvena500.peak_rss_kb") / 1024), "target 50 MB",
            ratio(v("calvena500.peak_rss_kb") / 1024, 50), cmd("calvena500"))
    micro_row("BM_ModbusTick12", "One Modbus RTU tick, 12-register group (collect, check, decode, format, refresh, log row, next request)",
              20, "target 20 us", 100000, "target 100000")
    micro_row("BM_IecReceiveParse16Floats", "ReceiveFrame with ParseAsdu, a complete set of 16 short floats (124-byte frame)",
              18000, "the frame on the line at 76800,E,8,1: 18 ms", 100000, "the tick target, 100000")
    # The line recorder is always on: its share of a poll's work, against the tick above.
    if (has("micro.BM_TrafficRecordModbusPoll.cpu_ns") && has("micro.BM_ModbusTick12.cpu_ns"))
        row("Line recorder, one Modbus RTU poll recorded (request, 12-register answer in two reads, result; store full, dropping): CPU per poll",
            sprintf("%.3g us (%.1f%% of the tick above)", v("micro.BM_TrafficRecordModbusPoll.cpu_ns") / 1000,
                    100 * v("micro.BM_TrafficRecordModbusPoll.cpu_ns") / v("micro.BM_ModbusTick12.cpu_ns")),
            sprintf("5%% of the tick: %.3g us", v("micro.BM_ModbusTick12.cpu_ns") / 20000),
            ratio(v("micro.BM_TrafficRecordModbusPoll.cpu_ns"), v("micro.BM_ModbusTick12.cpu_ns") / 20), cmd("micro"))
    if (has("micro.BM_TrafficRecordModbusPoll.instructions") && has("micro.BM_ModbusTick12.instructions"))
        row("Line recorder, one Modbus RTU poll recorded: instructions per poll",
            sprintf("%.0f (%.1f%% of the tick's)", v("micro.BM_TrafficRecordModbusPoll.instructions"),
                    100 * v("micro.BM_TrafficRecordModbusPoll.instructions") / v("micro.BM_ModbusTick12.instructions")),
            sprintf("5%% of the tick's: %.0f", v("micro.BM_ModbusTick12.instructions") / 20),
            ratio(v("micro.BM_TrafficRecordModbusPoll.instructions"), v("micro.BM_ModbusTick12.instructions") / 20),
            cmd("callgrind.BM_TrafficRecordModbusPoll"))
    if (has("traffic.heap_bytes"))
        row(sprintf("Line recorder's heap after %d polls (%d frames kept, %d dropped)", v("traffic.polls"), v("traffic.frames_kept"), v("traffic.frames_dropped")),
            sprintf("%.2f MB (peak %.2f MB; store %.2f MiB)", v("traffic.heap_bytes") / 1e6, v("traffic.peak_heap_bytes") / 1e6, v("traffic.stored_bytes") / 1048576),
            "4 MB", ratio(v("traffic.peak_heap_bytes") / 1e6, 4), cmd("traffic"))
    micro_row("BM_BuildPollGroups32", "BuildPollGroups, 32 parameters in three groups (once per Start)",
              20, "the tick target, 20 us", 100000, "the tick target, 100000")
}