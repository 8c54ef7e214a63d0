// SPDX-License-Identifier: MIT
// Micro benchmarks of the work the programs do per poll, on stand-ins without system calls:
//   BM_ModbusTick12          one poll tick of a 12-register Modbus RTU group: collect the
//                            answer, check it, decode and format the values, refresh the
//                            window, write the log row, send the next request
//   BM_IecReceiveParse16Floats  Iec101Master::ReceiveFrame (with ParseAsdu) of a user-data frame
//                            completing a set of 16 short floats
//   BM_BuildPollGroups32     BuildPollGroups for 32 parameters
//   BM_TrafficRecordModbusPoll  what the line's recorder does for one such poll (the request
//                            written, the 12-register answer read in two pieces, its result),
//                            with the store full, so that old frames are being dropped
// --traffic-memory prints the heap the recorder holds after 150,000 such polls (RESULT lines).
// --fixed-iterations=N runs every benchmark exactly N times (for instruction counts under
// callgrind, where the difference of two counts gives the cost of one iteration).
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "catalogue/poll_groups.h"
#include "channel/modbus_frame.h"
#include "channel/serial_channel.h"
#include "channel/traffic_recorder.h"
#include "iec101/ft12_frame.h"
#include "iec101/iec101_master.h"
#include "platform/virtual/virtual_line.h"
#include "polling/polling_controller.h"
#include "polling/polmira_variant.h"
#include "sim/simulated_transducer.h"
#include "sim/transducer_profiles.h"

namespace {

// The TQ21 profile with an eighth value, so that its one poll group holds 12 registers
// (8 values and the 4 clock registers).
SimProfile TwelveRegisterProfile() {
    SimProfile profile = *FindProfile("TQ21");
    profile.parameters.push_back({"Uam2", 0x0107, 5000, 8 | 3, 20, 229, 2, 53});
    profile.clockAddress = 0x0108;
    RebuildProfileConfig(profile);
    return profile;
}

// Polmira's controller, started in virtual time against a simulated transducer; after the
// Start the port replays the transducer's real answer to the poll request, and the clock no
// longer drives the simulated line.
class ModbusTickRig {
  public:
    ModbusTickRig()
        : line_(simClock_, "ttyV0"),
          lineDevice_(line_),
          device_(&lineDevice_),
          clock_(simClock_),
          channel_(device_, clock_),
          view_(clock_),
          sim_(TwelveRegisterProfile(), simClock_),
          peer_(sim_, line_),
          controller_(PolmiraVariant(), view_, channel_, clock_, files_) {
        channel_.portName = "ttyV0";
        view_.logFileChoice = "bench-log";
        view_.keepStatusHistory = false;
        controller_.OnInitDialog();
        view_.checked[ViewControl::kWriteToFile] = true;
        view_.checked[ViewControl::kDataFormat] = true;  // physical units
        controller_.OnStart();
        if (!controller_.IsPolling()) {
            error_ = "the Start did not reach polling";
            return;
        }
        // The answer to the first request, as the transducer sent it.
        simClock_.Sleep(500);
        std::vector<uint8_t> answer(lineDevice_.QueuedCount());
        answer.resize(lineDevice_.Read(answer.data(), answer.size()));
        device_.Replay(answer);
        clock_.SwitchTo(quietClock_);

        const PollPlan& plan = controller_.pollPlan();
        if (plan.groupCount != 1 || plan.pollGroups[0].registerCount != 12) {
            error_ = "the plan is not one group of 12 registers";
            return;
        }
        // Two ticks: the log file is created by the first row.
        controller_.OnTimer(1);
        controller_.OnTimer(1);
        const std::string status = view_.Text(ViewText::kStatusLine);
        if (status.find("ошибка") != std::string::npos || files_.bytes == 0 ||
            view_.values[0] == "-----") {
            error_ = "a tick failed: " + status;
        }
    }

    void Tick() { controller_.OnTimer(1); }
    const std::string& Error() const { return error_; }
    uint64_t LogBytes() const { return files_.bytes; }

  private:
    VirtualClock simClock_;
    VirtualClock quietClock_;
    VirtualLine line_;
    VirtualSerialDevice lineDevice_;
    ReplayDevice device_;
    SwitchClock clock_;
    SerialChannel channel_;
    BenchView view_;
    NullFileSystem files_;
    SimulatedTransducer sim_;
    SimulatedTransducerPeer peer_;
    PollingController controller_;
    std::string error_;
};

void BM_ModbusTick12(benchmark::State& state) {
    ModbusTickRig rig;
    if (!rig.Error().empty()) {
        state.SkipWithError(rig.Error().c_str());
        return;
    }
    const uint64_t bytesBefore = rig.LogBytes();
    for (auto _ : state) {
        rig.Tick();
    }
    // (A label, not a counter: the CSV report wants the same counters in every benchmark.)
    state.SetLabel(std::to_string((rig.LogBytes() - bytesBefore) /
                                  static_cast<uint64_t>(std::max<int64_t>(state.iterations(), 1))) +
                   " log bytes per tick");
}

// A four-character name: the prefix and two digits.
std::string Numbered(const char* prefix, int number) {
    std::string name = prefix;
    name += static_cast<char>('0' + number / 10 % 10);
    name += static_cast<char>('0' + number % 10);
    return name;
}

void PutFloatLe(std::vector<uint8_t>& out, float value) {
    uint8_t bytes[4];
    std::memcpy(bytes, &value, 4);
    out.insert(out.end(), bytes, bytes + 4);
}

void BM_IecReceiveParse16Floats(benchmark::State& state) {
    constexpr size_t kCount = 16;
    constexpr uint16_t kLinkAddress = 1;
    const LinkConfig config = LinkConfig::FromWidths({1, 2, 1});
    // Type 13 (short floats with quality), 16 objects each with its address, cause 20.
    std::vector<uint8_t> asdu = {13, kCount, 20, kLinkAddress};
    std::vector<IecParameter> parameters;
    for (size_t i = 0; i < kCount; ++i) {
        const auto ioa = static_cast<uint16_t>(0x0100 + 2 * i);
        parameters.push_back({Numbered("au", static_cast<int>(i)), ioa});
        asdu.push_back(static_cast<uint8_t>(ioa & 0xFF));
        asdu.push_back(static_cast<uint8_t>(ioa >> 8));
        PutFloatLe(asdu, 220.5f + static_cast<float>(i));
        asdu.push_back(0);  // quality
    }
    const std::vector<uint8_t> frame =
        BuildVariableFrame(kUserDataControl, kLinkAddress, config, asdu);

    VirtualClock clock;
    ReplayDevice device;
    SerialChannel channel(device, clock);
    Iec101Results results;
    Iec101Master master(results);
    master.SetPort(channel);
    master.SetWidths({1, 2, 1});
    master.SetParameters(parameters);
    master.PrepareValueSet(std::vector<uint8_t>(kCount, 0), std::vector<uint8_t>(kCount, 0xFF),
                           4 * kCount);
    device.Replay(frame);

    std::vector<uint8_t> answer;
    uint64_t complete = 0;
    for (auto _ : state) {
        device.Queue();
        answer.clear();
        const uint8_t code = master.ReceiveFrame(answer, config);
        benchmark::DoNotOptimize(code);
        complete += results.setComplete ? 1 : 0;
        results.setComplete = false;
    }
    if (complete != static_cast<uint64_t>(state.iterations()) || answer.size() != 2 + 4 * kCount) {
        state.SkipWithError("a frame did not complete the value set");
    }
}

PollGroupInput ThirtyTwoParameters() {
    // 12 codes from 0x100 on and the 4 clock registers after them, 8 codes from 0x140 on, and
    // 8 floats (two registers each) from 0x200 on: three groups.
    PollGroupInput input;
    input.exchangeMode = ExchangeMode::kModbusRtu;
    auto add = [&](std::string name, uint32_t address) {
        input.parameterNames.push_back(std::move(name));
        input.parameterAddresses.push_back(address);
    };
    for (int i = 0; i < 12; ++i) {
        add(Numbered("Ua", i), 0x0100 + static_cast<uint32_t>(i));
    }
    for (int k = 0; k < 4; ++k) {
        add(kSimClockNames[k], 0x010C + static_cast<uint32_t>(k));
    }
    for (int i = 0; i < 8; ++i) {
        add(Numbered("Ub", i), 0x0140 + static_cast<uint32_t>(i));
    }
    for (int i = 0; i < 8; ++i) {
        add(Numbered("ua", i), 0x0200 + 2 * static_cast<uint32_t>(i));
    }
    return input;
}

void BM_BuildPollGroups32(benchmark::State& state) {
    const PollGroupInput input = ThirtyTwoParameters();
    const PollGroupRules& rules = PolmiraVariant().pollGroupRules;
    size_t groups = 0;
    for (auto _ : state) {
        PollPlan plan = BuildPollGroups(input, rules);
        benchmark::DoNotOptimize(plan);
        groups = plan.groupCount;
    }
    state.SetLabel(std::to_string(groups) + " groups");
}

// One poll's recording, as SerialChannel makes it: kind, request, two reads, the check's result.
void RecordModbusPoll(TrafficRecorder& recorder, VirtualClock& clock,
                      const std::vector<uint8_t>& request, const std::vector<uint8_t>& answer) {
    recorder.SetKind(FrameKind::kModbusRtu);
    recorder.RecordWrite(request);
    clock.AdvanceUs(12'000);
    recorder.RecordRead(std::span(answer).first(16));
    recorder.RecordRead(std::span(answer).subspan(16));
    recorder.EndAnswer(0);
    clock.AdvanceUs(38'000);
}

const std::vector<uint8_t> kTickRequest = BuildRtuRequest(3, 4, 0x0100, nullptr);
const std::vector<uint8_t> kTickAnswer = std::vector<uint8_t>(29, 0x42);

void BM_TrafficRecordModbusPoll(benchmark::State& state) {
    VirtualClock clock;
    TrafficRecorder recorder(clock);
    recorder.SetPhase(TrafficPhase::kPolling);
    while (recorder.Statistics().droppedFrames == 0) {
        RecordModbusPoll(recorder, clock, kTickRequest, kTickAnswer);
    }
    for (auto _ : state) {
        RecordModbusPoll(recorder, clock, kTickRequest, kTickAnswer);
    }
    state.SetLabel(std::to_string(recorder.EndSequence() - recorder.FirstSequence()) +
                   " frames kept");
}

// The heap the recorder takes for a long session, from the allocator's own count.
int PrintTrafficMemory() {
    constexpr int kPolls = 150'000;
    const size_t before = mallinfo2().uordblks;
    {
        VirtualClock clock;
        auto recorder = std::make_unique<TrafficRecorder>(clock);
        recorder->SetPhase(TrafficPhase::kPolling);
        size_t peak = 0;
        for (int i = 0; i < kPolls; ++i) {
            RecordModbusPoll(*recorder, clock, kTickRequest, kTickAnswer);
            if (i % 1000 == 0) {
                peak = std::max(peak, mallinfo2().uordblks - before);
            }
        }
        std::printf("RESULT traffic.polls %d\n", kPolls);
        std::printf("RESULT traffic.heap_bytes %zu\n", mallinfo2().uordblks - before);
        std::printf("RESULT traffic.peak_heap_bytes %zu\n", peak);
        std::printf("RESULT traffic.stored_bytes %zu\n", recorder->StoredBytes());
        std::printf(
            "RESULT traffic.frames_kept %llu\n",
            static_cast<unsigned long long>(recorder->EndSequence() - recorder->FirstSequence()));
        std::printf("RESULT traffic.frames_dropped %llu\n",
                    static_cast<unsigned long long>(recorder->Statistics().droppedFrames));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Our own option, taken out before the library reads the rest.
    int64_t fixedIterations = 0;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        constexpr const char* kFixed = "--fixed-iterations=";
        if (std::strcmp(argv[i], "--traffic-memory") == 0) {
            return PrintTrafficMemory();
        }
        if (std::strncmp(argv[i], kFixed, std::strlen(kFixed)) == 0) {
            fixedIterations = std::stoll(argv[i] + std::strlen(kFixed));
        } else {
            rest.push_back(argv[i]);
        }
    }
    int restCount = static_cast<int>(rest.size());

    for (auto* b :
         {benchmark::RegisterBenchmark("BM_ModbusTick12", BM_ModbusTick12),
          benchmark::RegisterBenchmark("BM_IecReceiveParse16Floats", BM_IecReceiveParse16Floats),
          benchmark::RegisterBenchmark("BM_BuildPollGroups32", BM_BuildPollGroups32),
          benchmark::RegisterBenchmark("BM_TrafficRecordModbusPoll", BM_TrafficRecordModbusPoll)}) {
        if (fixedIterations > 0) {
            b->Iterations(fixedIterations);
        }
    }
    benchmark::Initialize(&restCount, rest.data());
    if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
