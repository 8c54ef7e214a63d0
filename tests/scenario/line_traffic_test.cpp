// SPDX-License-Identifier: MIT
// What the line's recording holds after a whole Start and some polling, per exchange mode: the
// scan's first zero byte, the configuration read, the change-over and the polls, each frame in
// its phase, at the line it went at, with the exchange's verdict; and the statistics.
#include <gtest/gtest.h>

#include "channel/line_mode.h"
#include "polling/calvena_variant.h"
#include "polling/polmira_variant.h"
#include "scenario/scenario_bench.h"

namespace {

struct ModeCase {
    const char* name;
    SimProfile profile;
    FrameKind pollKind;
};

// The frames of a phase, in order.
std::vector<TrafficFrame> FramesOf(const TrafficRecorder& traffic, TrafficPhase phase) {
    std::vector<TrafficFrame> frames;
    for (uint64_t s = traffic.FirstSequence(); s < traffic.CompleteEnd(); ++s) {
        if (traffic.Frame(s).phase == phase) {
            frames.push_back(traffic.Frame(s));
        }
    }
    return frames;
}

LineSettings Mode(const char* text) {
    return ParseModeString(text, LineSettings{});
}

TEST(LineTraffic, AStartIsRecordedFromTheFirstWakeUpByteToPolling) {
    const std::vector<ModeCase> cases = {
        {"Modbus RTU", SteadyProfile("TQ21"), FrameKind::kModbusRtu},
        {"Modbus ASCII", SteadyProfile("TQ20"), FrameKind::kModbusAscii},
        {"IEC-101", SteadyIecProfile(), FrameKind::kFt12},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScenarioBench bench(PolmiraVariant(), c.profile);
        bench.Start();
        ASSERT_TRUE(bench.view.timerArmed);
        bench.RunTicks(10);
        const TrafficRecorder& traffic = bench.channel.Traffic();

        // The very first frame is the scan's first zero byte, at the first candidate line.
        const TrafficFrame first = traffic.Frame(0);
        EXPECT_EQ(first.kind, FrameKind::kWakeUp);
        EXPECT_EQ(first.direction, TrafficDirection::kSent);
        EXPECT_EQ(first.phase, TrafficPhase::kConfiguration);
        EXPECT_EQ(first.context.line, Mode("76800,N,8,1"));
        ASSERT_EQ(first.bytes.size(), 1u);
        EXPECT_EQ(first.bytes[0], 0);

        // The configuration is read in Modbus RTU at the listening line; the change-over's
        // function 127 ends that phase.
        bool configurationRead = false;
        bool changedOver = false;
        for (const TrafficFrame& f : FramesOf(traffic, TrafficPhase::kConfiguration)) {
            if (f.kind == FrameKind::kModbusRtu && f.direction == TrafficDirection::kSent) {
                EXPECT_EQ(f.context.line, Mode("19200,E,8,1"));
                configurationRead |= f.bytes[1] == 100;
                changedOver |= f.bytes[1] == 127;
            }
        }
        EXPECT_TRUE(configurationRead);
        EXPECT_TRUE(changedOver);

        // Polling: every frame in the device's own protocol, at its own line, every answer good.
        const std::vector<TrafficFrame> polls = FramesOf(traffic, TrafficPhase::kPolling);
        size_t answers = 0;
        for (const TrafficFrame& f : polls) {
            if (f.kind == FrameKind::kDiscarded) {
                continue;
            }
            EXPECT_EQ(f.kind, c.pollKind);
            EXPECT_EQ(
                f.context.line,
                ParseModeString(ModeStringFromLinkSettingsByte(c.profile.config.linkSettingsByte),
                                LineSettings{}));
            if (f.direction == TrafficDirection::kReceived && f.result != kNoFrameResult) {
                ++answers;
                EXPECT_TRUE(f.result == 0 || f.result == 0xE5) << int(f.result);
            }
        }
        EXPECT_GE(answers, 9u);

        const TrafficStatistics& s = traffic.Statistics();
        EXPECT_GE(s.pollRequests, 10u);
        EXPECT_EQ(s.pollPeriodMs, bench.controller.pollPeriod());
        EXPECT_GT(s.PollsPerSecond(), 0.0);
        EXPECT_EQ(s.noAnswer + s.checksumErrors + s.shortOrGarbled, 0u);
        EXPECT_GT(s.responseMinUs, 0u);
        // The longest is the configuration's answer, first looked at a second after its request.
        EXPECT_EQ(s.responseMaxUs, 1'000'000u);
    }
}

TEST(LineTraffic, ClockSyncAndStopAreTheirOwnPhases) {
    ScenarioBench bench(CalvenaVariant(), SteadyProfile("TQ41"));
    bench.Start();
    ASSERT_TRUE(bench.view.timerArmed);
    bench.RunTicks(2);
    bench.controller.OnSyncClock();
    bench.RunTicks(2);
    const TrafficRecorder& traffic = bench.channel.Traffic();
    const std::vector<TrafficFrame> sync = FramesOf(traffic, TrafficPhase::kClockSync);
    ASSERT_FALSE(sync.empty());
    bool clockWritten = false;
    for (const TrafficFrame& f : sync) {
        clockWritten |=
            f.direction == TrafficDirection::kSent && f.bytes.size() > 1 && f.bytes[1] == 16;
    }
    EXPECT_TRUE(clockWritten) << "the clock is set with function 16";
    bench.controller.OnStop();
    EXPECT_EQ(traffic.Phase(), TrafficPhase::kIdle);
}

}  // namespace
