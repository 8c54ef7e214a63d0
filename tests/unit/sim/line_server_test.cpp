// SPDX-License-Identifier: MIT
#include "sim/line_server.h"

#include <gtest/gtest.h>

#include <deque>

#include "channel/line_mode.h"
#include "channel/modbus_frame.h"
#include "channel/transducer_access.h"
#include "platform/virtual/virtual_clock.h"
#include "sim/transducer_profiles.h"

namespace {

LineSettings Mode(const char* text) {
    return ParseModeString(text, LineSettings{});
}

// The far end of a line in virtual time: bytes arrive when the test says, waits move the
// clock, and what the server writes or listens at is recorded with its time.
class FakeFarEnd : public FarEndPort {
  public:
    struct Arrival {
        uint64_t atUs;
        std::vector<uint8_t> bytes;
        LineSettings sentAt;
    };
    struct Written {
        uint64_t atUs;
        std::vector<uint8_t> bytes;
        LineSettings listening;
    };

    explicit FakeFarEnd(bool knowsFraming) : knowsFraming_(knowsFraming) {}

    void Arrive(uint64_t atUs, std::vector<uint8_t> bytes, const LineSettings& sentAt) {
        arrivals.push_back({atUs, std::move(bytes), sentAt});
    }

    uint64_t NowUs() override { return now; }
    bool WaitReadable(uint32_t timeoutMs) override {
        const uint64_t deadline = now + uint64_t{timeoutMs} * 1000;
        if (!readable_.empty()) {
            return true;
        }
        if (!arrivals.empty() && arrivals.front().atUs <= deadline) {
            now = std::max(now, arrivals.front().atUs);
            readable_ = arrivals.front().bytes;
            sender_ = arrivals.front().sentAt;
            arrivals.pop_front();
            return true;
        }
        now = deadline;
        return false;
    }
    size_t Read(uint8_t* buffer, size_t maxCount) override {
        const size_t n = std::min(maxCount, readable_.size());
        std::copy(readable_.begin(), readable_.begin() + static_cast<std::ptrdiff_t>(n), buffer);
        readable_.erase(readable_.begin(), readable_.begin() + static_cast<std::ptrdiff_t>(n));
        return n;
    }
    bool Write(const uint8_t* data, size_t count) override {
        writes.push_back({now, std::vector<uint8_t>(data, data + count), listening});
        return true;
    }
    LineSettings SenderLine() override {
        LineSettings s = sender_;
        if (!knowsFraming_) {  // as a pty shows it
            s.parity = LineSettings::kNoParity;
            s.dataBits = 8;
        }
        return s;
    }
    bool KnowsFraming() const override { return knowsFraming_; }
    bool Listen(const LineSettings& settings) override {
        listening = settings;
        listens.push_back(settings);
        return true;
    }
    bool Broken() const override { return false; }

    uint64_t now = 5'000'000;
    std::deque<Arrival> arrivals;
    std::vector<Written> writes;
    std::vector<LineSettings> listens;
    LineSettings listening;

  private:
    bool knowsFraming_;
    std::vector<uint8_t> readable_;
    LineSettings sender_;
};

struct ServerFixture : ::testing::Test {
    VirtualClock clock;
    std::unique_ptr<FakeFarEnd> port;
    std::unique_ptr<SimulatedTransducer> device;
    std::unique_ptr<LineServer> server;
    std::vector<std::string> trace;

    void Serve(const char* key, bool realPort) {
        port = std::make_unique<FakeFarEnd>(realPort);
        device = std::make_unique<SimulatedTransducer>(*FindProfile(key), clock);
        device->SetJudgeFraming(realPort);
        server = std::make_unique<LineServer>(*device, *port);
        server->SetTrace([this](const std::string& line) { trace.push_back(line); });
    }
    void RunUntil(uint64_t us) {
        while (port->now < us) {
            server->ServeOnce(2);
        }
    }
    // Three zero bytes 75 and 200 ms apart at the given settings, from startUs on.
    void WakeUpAt(uint64_t startUs, const LineSettings& at) {
        port->Arrive(startUs, {0}, at);
        port->Arrive(startUs + 75'000, {0}, at);
        port->Arrive(startUs + 275'000, {0}, at);
    }
};

}  // namespace

TEST_F(ServerFixture, WakeUpAnswerGoesOutAtItsStartTimeNeverBefore) {
    Serve("TQ21", false);  // own line 38400,E,8,1
    const uint64_t t0 = port->now + 10'000;
    WakeUpAt(t0, Mode("4800,N,8,1"));
    RunUntil(t0 + 275'000 + 7'000);
    EXPECT_TRUE(port->writes.empty());  // due 10 ms after the third zero
    RunUntil(t0 + 400'000);
    ASSERT_EQ(port->writes.size(), 1u);
    EXPECT_EQ(std::string(port->writes[0].bytes.begin(), port->writes[0].bytes.end()), "TQ21-1--");
    EXPECT_GE(port->writes[0].atUs, t0 + 275'000 + 10'000);
    EXPECT_LE(port->writes[0].atUs, t0 + 275'000 + 10'000 + 2'000);
    EXPECT_EQ(server->answersWritten, 1u);
    EXPECT_EQ(server->PendingAnswers(), 0u);
}

TEST_F(ServerFixture, OnAPtyOnlyTheRateDecidesWhatIsHeard) {
    Serve("TQ21", false);
    const uint64_t t0 = port->now + 10'000;
    // Zeros faster than its own 38400: not heard, no wake-up.
    WakeUpAt(t0, Mode("76800,N,8,1"));
    RunUntil(t0 + 400'000);
    EXPECT_EQ(device->wakeUps, 0);
    // Woken at 38400 without parity: a pty cannot show the parity, so that counts.
    WakeUpAt(t0 + 500'000, Mode("38400,N,8,1"));
    RunUntil(t0 + 900'000);
    EXPECT_EQ(device->wakeUps, 1);

    // The configuration request at 19200 (parity unseen) gets the record 3 ms after the frame.
    const std::vector<uint8_t> access(kConfigAccessValue.begin(), kConfigAccessValue.end());
    const uint64_t t1 = port->now + 50'000;
    port->Arrive(t1, BuildRtuRequest(1, kFunctionReadConfiguration, 0, &access),
                 Mode("19200,E,8,1"));
    RunUntil(t1 + 100'000);
    ASSERT_EQ(port->writes.size(), 2u);
    std::vector<uint8_t> record;
    EXPECT_EQ(CheckRtuAnswer(port->writes[1].bytes, record), kModbusValid);
    EXPECT_EQ(record.at(1), kFunctionReadConfiguration);
    EXPECT_GE(port->writes[1].atUs, t1 + 3'000);
    // A pty's far end has no line of its own; what it is told stays the device's settings.
    EXPECT_EQ(port->listens.back(), Mode("19200,E,8,1"));
}

TEST_F(ServerFixture, RealPortFollowsTheSettingsTheDeviceListensAt) {
    Serve("TQ21", true);
    ASSERT_EQ(port->listens.size(), 1u);
    EXPECT_EQ(port->listens[0], Mode("38400,E,8,1"));  // its own line from the start
    // A real UART at 38400 reads zeros sent at 4800 as breaks: zero bytes at its own settings.
    const uint64_t t0 = port->now + 10'000;
    WakeUpAt(t0, Mode("38400,E,8,1"));
    RunUntil(t0 + 400'000);
    ASSERT_EQ(device->wakeUps, 1);
    EXPECT_EQ(port->listens.back(), Mode("19200,E,8,1"));
    ASSERT_EQ(port->writes.size(), 1u);
    EXPECT_EQ(port->writes[0].listening, Mode("19200,E,8,1"));  // the answer at the new line

    // Function 127: the answer at 19200,E, then its own line a second later.
    const std::vector<uint8_t> zero = {0};
    const uint64_t t1 = port->now + 10'000;
    port->Arrive(t1, BuildRtuRequest(1, kFunctionEndConfiguration, 0, &zero), Mode("19200,E,8,1"));
    RunUntil(t1 + 500'000);
    ASSERT_EQ(port->writes.size(), 2u);
    EXPECT_EQ(port->writes[1].listening, Mode("19200,E,8,1"));
    EXPECT_EQ(port->listens.back(), Mode("19200,E,8,1"));
    RunUntil(t1 + 1'100'000);
    EXPECT_EQ(port->listens.back(), Mode("38400,E,8,1"));

    // A poll at its own line is answered; the same poll at another parity is garbage to it.
    const std::vector<uint8_t> count = {0x00, 0x01};
    const uint64_t t2 = port->now + 10'000;
    port->Arrive(t2, BuildRtuRequest(3, 4, 0x0100, &count), Mode("38400,N,8,1"));
    port->Arrive(t2 + 100'000, BuildRtuRequest(3, 4, 0x0100, &count), Mode("38400,E,8,1"));
    RunUntil(t2 + 200'000);
    ASSERT_EQ(port->writes.size(), 3u);
    EXPECT_GE(port->writes[2].atUs, t2 + 100'000);
    EXPECT_EQ(device->pollsAnswered, 1);
}

TEST_F(ServerFixture, EchoOfItsOwnAnswerIsDroppedButTheNextRequestIsHeard) {
    Serve("TQ21", true);
    server->SetEchoSuppression(true);
    const uint64_t t0 = port->now + 10'000;
    WakeUpAt(t0, Mode("38400,E,8,1"));
    RunUntil(t0 + 300'000);
    ASSERT_EQ(port->writes.size(), 1u);
    // A two-wire adapter hands back what it sent...
    port->Arrive(port->now + 1'000, port->writes[0].bytes, Mode("19200,E,8,1"));
    // ...then the program's request follows.
    const std::vector<uint8_t> access(kConfigAccessValue.begin(), kConfigAccessValue.end());
    port->Arrive(port->now + 30'000, BuildRtuRequest(1, kFunctionReadConfiguration, 0, &access),
                 Mode("19200,E,8,1"));
    RunUntil(port->now + 200'000);
    EXPECT_EQ(server->echoBytesDropped, 8u);
    EXPECT_EQ(device->configurationReads, 1);
    EXPECT_EQ(port->writes.size(), 2u);
}

// A line that does not echo: the program's next request, sent right after the answer, starts
// with the same address and function as the answer and is heard whole.
TEST_F(ServerFixture, ARequestRightAfterTheAnswerIsNotTakenForItsEcho) {
    Serve("TQ21", true);
    server->SetEchoSuppression(true);
    const uint64_t t0 = port->now + 10'000;
    WakeUpAt(t0, Mode("38400,E,8,1"));
    RunUntil(t0 + 300'000);
    ASSERT_EQ(port->writes.size(), 1u);
    const std::vector<uint8_t> access(kConfigAccessValue.begin(), kConfigAccessValue.end());
    const std::vector<uint8_t> request = BuildRtuRequest(1, kFunctionReadConfiguration, 0, &access);
    port->Arrive(port->now + 5'000, request, Mode("19200,E,8,1"));
    RunUntil(port->now + 200'000);
    ASSERT_EQ(port->writes.size(), 2u);
    // Its answer begins as the request does; a second request follows within the echo's time,
    // in two reads.
    ASSERT_EQ(port->writes[1].bytes[0], request[0]);
    port->Arrive(port->now + 2'000, {request.begin(), request.begin() + 2}, Mode("19200,E,8,1"));
    port->Arrive(port->now + 2'500, {request.begin() + 2, request.end()}, Mode("19200,E,8,1"));
    RunUntil(port->now + 200'000);
    EXPECT_EQ(server->echoBytesDropped, 0u);
    EXPECT_EQ(device->configurationReads, 2);
    EXPECT_EQ(port->writes.size(), 3u);
}

TEST_F(ServerFixture, TraceShowsBurstsAnswersAndListeningChanges) {
    Serve("TQ21", false);
    const uint64_t t0 = port->now + 10'000;
    WakeUpAt(t0, Mode("4800,N,8,2"));
    // One request delivered in two reads is one burst in the trace.
    const std::vector<uint8_t> access(kConfigAccessValue.begin(), kConfigAccessValue.end());
    const std::vector<uint8_t> request = BuildRtuRequest(1, kFunctionReadConfiguration, 0, &access);
    const uint64_t t1 = t0 + 400'000;
    port->Arrive(t1, {request.begin(), request.begin() + 3}, Mode("19200,N,8,1"));
    port->Arrive(t1 + 500, {request.begin() + 3, request.end()}, Mode("19200,N,8,1"));
    RunUntil(t1 + 100'000);

    ASSERT_GE(trace.size(), 7u);
    EXPECT_EQ(trace[0], "     0.000000 == own settings, listening at 38400,E,8,1");
    EXPECT_EQ(trace[1], "     0.010000 <- [4800,?,?,2] 00");
    EXPECT_EQ(trace[2], "     0.085000 <- [4800,?,?,2] 00");
    EXPECT_EQ(trace[3], "     0.285000 <- [4800,?,?,2] 00");
    EXPECT_EQ(trace[4].substr(13), " == configuration phase, listening at 19200,E,8,1");
    EXPECT_EQ(trace[5], "     0.295000 -> [19200,E,8,1] 54 51 32 31 2D 31 2D 2D");
    // Both reads of the request in one line: six bytes.
    const std::string requestLine = "     0.410000 <- [19200,?,?,1] 01 64 4B 31 ";
    EXPECT_EQ(trace[6].substr(0, requestLine.size()), requestLine);
    EXPECT_EQ(trace[6].size(), requestLine.size() + 5);
    EXPECT_EQ(trace.at(7).substr(0, 9), "     0.41");
    EXPECT_EQ(trace.at(7).substr(13, 24), " -> [19200,E,8,1] 01 64 ");
}
