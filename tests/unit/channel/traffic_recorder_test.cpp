// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "channel/modbus_frame.h"
#include "channel/serial_channel.h"
#include "channel/traffic_recorder.h"
#include "platform/virtual/virtual_clock.h"
#include "platform/virtual/virtual_line.h"
#include "unit/channel/channel_test_util.h"

namespace {

std::vector<uint8_t> Bytes(const TrafficFrame& frame) {
    return {frame.bytes.begin(), frame.bytes.end()};
}

class RecorderTest : public testing::Test {
  protected:
    // A request written now and its answer read in pieces, then checked with the result.
    void Exchange(FrameKind kind, const std::vector<uint8_t>& request,
                  const std::vector<std::vector<uint8_t>>& answerPieces, uint8_t result,
                  uint64_t answerAfterUs = 10'000) {
        recorder.SetKind(kind);
        recorder.RecordWrite(request);
        clock.AdvanceUs(answerAfterUs);
        for (const auto& piece : answerPieces) {
            recorder.RecordRead(piece);
            clock.AdvanceUs(1'000);
        }
        recorder.EndAnswer(result);
    }

    VirtualClock clock;
    TrafficRecorder recorder{clock};
};

TEST_F(RecorderTest, AWriteIsAFrameAndTheReadsOfOneAnswerAreOne) {
    recorder.SetLine(Mode("19200,E,8,1"));
    recorder.SetPhase(TrafficPhase::kPolling);
    const uint64_t t0 = clock.NowUs();
    Exchange(FrameKind::kModbusRtu, Hex("01 04 01 00 00 02 70 37"),
             {Hex("01 04 04"), Hex("00 01 00 02 2A 32")}, 0, 7'000);

    ASSERT_EQ(recorder.EndSequence(), 2u);
    ASSERT_EQ(recorder.CompleteEnd(), 2u);
    const TrafficFrame request = recorder.Frame(0);
    const TrafficFrame answer = recorder.Frame(1);
    EXPECT_EQ(request.direction, TrafficDirection::kSent);
    EXPECT_EQ(answer.direction, TrafficDirection::kReceived);
    EXPECT_EQ(request.timeUs, t0);
    EXPECT_EQ(answer.timeUs, t0 + 7'000) << "the first read's time";
    EXPECT_EQ(Bytes(request), Hex("01 04 01 00 00 02 70 37"));
    EXPECT_EQ(Bytes(answer), Hex("01 04 04 00 01 00 02 2A 32"));
    EXPECT_EQ(request.result, kNoFrameResult);
    EXPECT_EQ(answer.result, 0);
    for (const TrafficFrame& f : {request, answer}) {
        EXPECT_EQ(f.kind, FrameKind::kModbusRtu);
        EXPECT_EQ(f.phase, TrafficPhase::kPolling);
        EXPECT_EQ(f.context.line, Mode("19200,E,8,1"));
    }
}

TEST_F(RecorderTest, AReceivedFrameStaysOpenUntilItsResultANewWriteOrAChangeOfLine) {
    recorder.SetKind(FrameKind::kFt12);
    recorder.RecordRead(Hex("10 0B"));
    EXPECT_EQ(recorder.CompleteEnd(), 0u) << "still collecting";
    recorder.RecordRead(Hex("01 0C 16"));
    EXPECT_EQ(recorder.EndSequence(), 1u);
    recorder.RecordWrite(Hex("10 5B 01 5C 16"));
    EXPECT_EQ(recorder.CompleteEnd(), 2u);
    EXPECT_EQ(Bytes(recorder.Frame(0)), Hex("10 0B 01 0C 16"));

    recorder.RecordRead(Hex("E5"));
    recorder.SetLine(Mode("4800,N,8,1"));  // the line changed under the bytes: a new frame
    recorder.RecordRead(Hex("E5"));
    recorder.EndAnswer(0xE5);
    ASSERT_EQ(recorder.EndSequence(), 4u);
    EXPECT_EQ(recorder.Frame(2).result, kNoFrameResult);
    EXPECT_EQ(recorder.Frame(3).result, 0xE5);
    EXPECT_EQ(recorder.Frame(3).context.line, Mode("4800,N,8,1"));
    EXPECT_EQ(recorder.Frame(2).context.line, LineSettings{});
}

TEST_F(RecorderTest, ResultsAreCountedByTheProtocolOfTheExchange) {
    struct Case {
        FrameKind kind;
        uint8_t result;
        uint64_t TrafficStatistics::*counter;
    };
    const std::vector<Case> cases = {
        {FrameKind::kModbusRtu, 0, &TrafficStatistics::goodAnswers},
        {FrameKind::kModbusAscii, 1, &TrafficStatistics::shortOrGarbled},
        {FrameKind::kModbusAscii, 2, &TrafficStatistics::shortOrGarbled},
        {FrameKind::kModbusRtu, 3, &TrafficStatistics::checksumErrors},
        {FrameKind::kModbusRtu, 4, &TrafficStatistics::noAnswer},
        {FrameKind::kFt12, 0, &TrafficStatistics::goodAnswers},
        {FrameKind::kFt12, 0xE5, &TrafficStatistics::goodAnswers},
        {FrameKind::kFt12, 5, &TrafficStatistics::goodAnswers},
        {FrameKind::kFt12, 1, &TrafficStatistics::shortOrGarbled},
        {FrameKind::kFt12, 7, &TrafficStatistics::shortOrGarbled},
        {FrameKind::kFt12, 3, &TrafficStatistics::checksumErrors},
        {FrameKind::kFt12, 4, &TrafficStatistics::noAnswer},
    };
    for (const Case& c : cases) {
        TrafficRecorder r(clock);
        r.SetKind(c.kind);
        r.RecordWrite(Hex("01 02"));
        r.EndAnswer(c.result);
        const TrafficStatistics& s = r.Statistics();
        EXPECT_EQ(s.*c.counter, 1u) << int(c.kind) << " result " << int(c.result);
        EXPECT_EQ(s.requests, 1u);
        EXPECT_EQ(s.answersChecked, 1u);
        EXPECT_EQ(s.goodAnswers + s.shortOrGarbled + s.checksumErrors + s.noAnswer, 1u)
            << int(c.kind) << " result " << int(c.result) << " counted twice";
    }

    Exchange(FrameKind::kModbusRtu, Hex("01 04"), {Hex("01 84 02 C2 C1")}, 102);
    Exchange(FrameKind::kModbusRtu, Hex("01 04"), {Hex("01 84 02 C2 C1")}, 102);
    Exchange(FrameKind::kFt12, Hex("10 5B 01 5C 16"), {}, 4);
    Exchange(FrameKind::kFt12, Hex("10 5B 01 5C 16"), {Hex("68")}, 47);
    const TrafficStatistics& s = recorder.Statistics();
    EXPECT_EQ(s.modbusExceptions, (std::map<uint8_t, uint64_t>{{2, 2}}));
    EXPECT_EQ(s.iecReceiveCodes, (std::map<uint8_t, uint64_t>{{4, 1}, {47, 1}}));
    EXPECT_EQ(s.goodAnswers, 0u) << "an exception or a refusal is an answer, not a good one";
}

TEST_F(RecorderTest, OnlyAnAwaitedAnswerIsCountedAndTimedFromItsRequest) {
    // Bytes read without a request before them (a line emptied) count nothing.
    recorder.SetKind(FrameKind::kDiscarded);
    recorder.RecordRead(Hex("00 00"));
    recorder.EndAnswer(4);
    EXPECT_EQ(recorder.Statistics().answersChecked, 0u);
    EXPECT_EQ(recorder.Statistics().responses, 0u);
    // The scan's zero bytes are no requests.
    recorder.SetKind(FrameKind::kWakeUp);
    recorder.RecordWrite(Hex("00"));
    EXPECT_EQ(recorder.Statistics().requests, 0u);

    Exchange(FrameKind::kModbusRtu, Hex("01 04"), {Hex("01"), Hex("04")}, 0, 12'000);
    Exchange(FrameKind::kModbusRtu, Hex("01 04"), {Hex("01")}, 0, 30'000);
    Exchange(FrameKind::kModbusRtu, Hex("01 04"), {}, 4, 50'000);
    // A request whose answer was never collected (polling stopped) is not counted as one.
    recorder.RecordWrite(Hex("01 04"));
    recorder.RecordWrite(Hex("01 04"));

    const TrafficStatistics& s = recorder.Statistics();
    EXPECT_EQ(s.requests, 5u);
    EXPECT_EQ(s.answersChecked, 3u);
    EXPECT_EQ(s.noAnswer, 1u);
    EXPECT_EQ(s.responses, 2u);
    EXPECT_EQ(s.responseMinUs, 12'000u);
    EXPECT_EQ(s.responseMaxUs, 30'000u);
    EXPECT_EQ(s.responseTotalUs, 42'000u);
}

TEST_F(RecorderTest, PollRateIsTakenFromTheRequestsSentWhilePolling) {
    recorder.SetPollPeriod(50);
    recorder.SetPhase(TrafficPhase::kConfiguration);
    Exchange(FrameKind::kModbusRtu, Hex("01 64"), {Hex("01 64 00")}, 0);
    recorder.SetPhase(TrafficPhase::kPolling);
    for (int i = 0; i < 21; ++i) {
        recorder.RecordWrite(Hex("01 04 01 00 00 02 70 37"));
        clock.AdvanceUs(52'000);
    }
    const TrafficStatistics& s = recorder.Statistics();
    EXPECT_EQ(s.pollRequests, 21u);
    EXPECT_NEAR(s.PollsPerSecond(), 1e6 / 52'000, 1e-9);
    EXPECT_DOUBLE_EQ(s.TargetPollsPerSecond(), 20.0);
}

TEST_F(RecorderTest, TheStoreHoldsItsBudgetDropsTheOldestAndKeepsNumbering) {
    const std::vector<uint8_t> request = Hex("01 04 01 00 00 0C F0 33");
    const std::vector<uint8_t> answer(29, 0x5A);
    const size_t polls = 120'000;
    for (size_t i = 0; i < polls; ++i) {
        recorder.SetKind(FrameKind::kModbusRtu);
        recorder.RecordWrite(request);
        clock.AdvanceUs(1'000);
        recorder.RecordRead(answer);
        recorder.EndAnswer(0);
        ASSERT_LE(recorder.StoredBytes(), TrafficRecorder::kStoreBudget);
    }
    const TrafficStatistics& s = recorder.Statistics();
    EXPECT_EQ(recorder.EndSequence(), 2 * polls);
    EXPECT_GT(s.droppedFrames, 0u);
    EXPECT_EQ(recorder.FirstSequence(), s.droppedFrames);
    // About 100,000 such frames fit (headers included).
    EXPECT_GT(recorder.EndSequence() - recorder.FirstSequence(), 95'000u);
    EXPECT_GT(recorder.StoredBytes(), TrafficRecorder::kStoreBudget * 9 / 10);
    EXPECT_EQ(s.requests, polls) << "the statistics outlive the frames";
    // The oldest frame kept is whole and in its place.
    const TrafficFrame oldest = recorder.Frame(recorder.FirstSequence());
    EXPECT_EQ(oldest.sequence, recorder.FirstSequence());
    EXPECT_EQ(Bytes(oldest), oldest.direction == TrafficDirection::kSent ? request : answer);
    EXPECT_TRUE(recorder.Frame(recorder.FirstSequence() - 1).bytes.empty());

    const uint64_t end = recorder.EndSequence();
    recorder.Clear();
    EXPECT_EQ(recorder.FirstSequence(), end);
    EXPECT_EQ(recorder.EndSequence(), end);
    EXPECT_EQ(recorder.StoredBytes(), 0u);
    EXPECT_EQ(recorder.Statistics().requests, 0u);
    recorder.RecordWrite(request);
    EXPECT_EQ(recorder.Frame(end).sequence, end);
    EXPECT_EQ(Bytes(recorder.Frame(end)), request);
}

TEST_F(RecorderTest, ALongAnswerGrowsItsBlockAndIsKeptWhole) {
    std::vector<uint8_t> big(100'000);
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<uint8_t>(i * 7);
    }
    recorder.RecordWrite(Hex("01"));
    recorder.RecordRead(std::span(big).first(60'000));
    recorder.RecordRead(std::span(big).subspan(60'000));
    recorder.EndAnswer(3);
    EXPECT_EQ(Bytes(recorder.Frame(1)), big);
    EXPECT_LE(recorder.StoredBytes(), TrafficRecorder::kStoreBudget);

    // A line that never falls silent while nobody ends the answer still keeps the bound.
    for (int i = 0; i < 2'000; ++i) {
        recorder.RecordRead(std::span(big).first(5'000));
        ASSERT_LE(recorder.StoredBytes(), TrafficRecorder::kStoreBudget);
    }
    EXPECT_GT(recorder.Statistics().droppedFrames, 0u);
}

TEST_F(RecorderTest, TheCalendarOfTimeStampZeroFollowsTheClock) {
    // The virtual clock starts at 2024-03-13 12:00:00 UTC, three hours ahead locally.
    EXPECT_EQ(recorder.UnixMsAtZero(), 1'710'331'200'000);
    EXPECT_EQ(recorder.LocalMsAtZero(), 1'710'331'200'000 + 3 * 3'600'000);
}

// Through the channel: what the exchanges themselves record.
class ChannelTrafficTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(channel.OpenPort("ttyV0"));
        ASSERT_TRUE(channel.ApplyMode("19200,E,8,1"));
    }

    VirtualClock clock;
    VirtualLine line{clock, "ttyV0"};
    VirtualSerialDevice device{line};
    SerialChannel channel{device, clock};
    ScriptedPeer peer{line,
                      {Mode("19200,E,8,1")},
                      Mode("19200,E,8,1"),
                      [](const std::vector<uint8_t>& heard, const LineSettings&) {
                          return heard.size() > 2 ? std::optional(Hex("01 04 02 12 34 B4 47"))
                                                  : std::nullopt;
                      }};
};

TEST_F(ChannelTrafficTest, AModbusExchangeIsARequestAndItsCheckedAnswer) {
    channel.SendRtuRequest(1, 4, 0x0100, nullptr);
    std::vector<uint8_t> answer;
    ASSERT_EQ(channel.ReceiveRtuAnswer(answer), 0);

    const TrafficRecorder& traffic = channel.Traffic();
    ASSERT_EQ(traffic.CompleteEnd(), 2u);
    EXPECT_EQ(Bytes(traffic.Frame(0)), BuildRtuRequest(1, 4, 0x0100, nullptr));
    EXPECT_EQ(Bytes(traffic.Frame(1)), Hex("01 04 02 12 34 B4 47"));
    EXPECT_EQ(traffic.Frame(1).result, 0);
    EXPECT_EQ(traffic.Frame(1).context.line, Mode("19200,E,8,1"));
    EXPECT_EQ(traffic.Statistics().goodAnswers, 1u);
    // The answer was read at the receive's first look, after the reply delay had passed.
    EXPECT_GT(traffic.Statistics().responseMinUs, 5'000u);

    // Emptying the line records what it threw away, as such, and counts no answer.
    line.SendToProgram(Hex("FF FE"), Mode("19200,E,8,1"));
    channel.DiscardAnswer();
    ASSERT_EQ(traffic.CompleteEnd(), 3u);
    EXPECT_EQ(traffic.Frame(2).kind, FrameKind::kDiscarded);
    EXPECT_EQ(traffic.Statistics().answersChecked, 1u);
    EXPECT_EQ(traffic.Kind(), FrameKind::kModbusRtu) << "the exchange's kind is restored";
}

TEST_F(ChannelTrafficTest, TheScanRecordsEachWakeUpByteAtItsCandidateSettings) {
    channel.ScanLinkSettings();  // nobody answers zero bytes here
    const TrafficRecorder& traffic = channel.Traffic();
    std::vector<LineSettings> wakeUps;
    for (uint64_t s = traffic.FirstSequence(); s < traffic.CompleteEnd(); ++s) {
        const TrafficFrame f = traffic.Frame(s);
        EXPECT_EQ(f.kind, FrameKind::kWakeUp);
        if (f.direction == TrafficDirection::kSent) {
            EXPECT_EQ(Bytes(f), Hex("00"));
            wakeUps.push_back(f.context.line);
        }
    }
    ASSERT_EQ(wakeUps.size(), 27u) << "three zero bytes at each of nine settings";
    EXPECT_EQ(wakeUps.front(), Mode("76800,N,8,1"));
    EXPECT_EQ(wakeUps[3], Mode("4800,N,8,1"));
    EXPECT_EQ(wakeUps.back(), Mode("9600,N,8,1"));
    EXPECT_EQ(traffic.Statistics().requests, 0u);
}

}  // namespace
