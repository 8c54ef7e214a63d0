// SPDX-License-Identifier: MIT
// The Windows COM port and the simulator's far end under Wine. The tests "WithSimulator" need
// the Linux transducer-sim behind a test COM port (tests/win32/with_simulator_port.sh names it
// in BRENNO_SIM_PORT); it serves TQ22: Modbus RTU at 19200,E,8,1, address 4. A pseudo-terminal
// shows the far end the baud rate and the stop bits, never the parity.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "channel/modbus_frame.h"
#include "platform/line_settings.h"
#include "platform/win32/comm_port.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_com_far_end.h"
#include "platform/win32/win32_device_names.h"
#include "platform/win32/win32_serial_device.h"
#include "platform/win32/windows_api.h"

namespace {

// A declared test port that leads nowhere (e2e_win32_sim_exe points it at a line, but never
// while this runs: both hold the ctest lock COM8).
constexpr const char* kUnconnectedPort = "COM8";
constexpr uint8_t kSimulatorAddress = 4;
// Long enough for any answer of the simulator to have come back.
constexpr uint32_t kAnswerWindowMs = 1000;

LineSettings Line(uint32_t baud, uint8_t parity, uint8_t stopBits = LineSettings::kOneStopBit) {
    LineSettings s;
    s.baudRate = baud;
    s.parity = parity;
    s.stopBits = stopBits;
    return s;
}

const LineSettings kSimulatorLine = Line(19200, LineSettings::kEvenParity);

std::vector<uint8_t> ReadRegisters(uint16_t first, uint8_t count) {
    const std::vector<uint8_t> data = {0, count};
    return BuildRtuRequest(kSimulatorAddress, 4, first, &data);
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (const uint8_t byte : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%s%02X", text.empty() ? "" : " ", byte);
        text += pair;
    }
    return text;
}

// The line at which the simulator heard these bytes last ("19200,?,?,2" on a pseudo-terminal),
// from its trace; empty when it does not show them within five seconds.
std::string HeardAt(const std::vector<uint8_t>& bytes) {
    const char* trace = std::getenv("BRENNO_SIM_TRACE");
    if (trace == nullptr) {
        return {};
    }
    Win32Clock clock;
    const uint32_t start = clock.TickCount();
    const std::string heard = "] " + Hex(bytes);
    while (clock.TickCount() - start < 5000) {
        std::ifstream in(trace);
        std::string line;
        std::string found;
        while (std::getline(in, line)) {
            const size_t open = line.find("<- [");
            if (open != std::string::npos && line.find(heard) != std::string::npos) {
                found = line.substr(open + 4, line.find(']', open) - open - 4);
            }
        }
        if (!found.empty()) {
            return found;
        }
        clock.Sleep(10);
    }
    return {};
}

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// What arrives within windowMs, read as it comes; stops early once done(bytes) says so.
template <typename Done>
std::vector<uint8_t> Collect(SerialDevice& device, uint32_t windowMs, Done done) {
    Win32Clock clock;
    std::vector<uint8_t> got;
    const uint32_t start = clock.TickCount();
    while (!done(got) && clock.TickCount() - start < windowMs) {
        uint8_t chunk[256];
        const size_t n = device.Read(chunk, sizeof chunk);
        got.insert(got.end(), chunk, chunk + n);
        if (n == 0) {
            clock.Sleep(1);
        }
    }
    return got;
}

bool IsWholeRtuFrame(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> answer;
    return CheckRtuAnswer(bytes, answer) == kModbusValid;
}

// The answer to the request, or what came instead when no valid frame came in time.
std::vector<uint8_t> Exchange(SerialDevice& device, const std::vector<uint8_t>& request) {
    EXPECT_TRUE(device.Write(request.data(), request.size()));
    return Collect(device, 5000, IsWholeRtuFrame);
}

TEST(Win32SerialDevice, PortNamesBecomeDevicePaths) {
    EXPECT_EQ(CommDevicePath("COM5"), L"\\\\.\\COM5");
    EXPECT_EQ(CommDevicePath("COM12"), L"\\\\.\\COM12");
    EXPECT_EQ(CommDevicePath("\\\\.\\COM3"), L"\\\\.\\COM3");
    EXPECT_EQ(CommDevicePath("\xFF"), std::nullopt);
}

TEST(Win32SerialDevice, MissingPortsDoNotOpen) {
    for (const char* name : {kUnconnectedPort, "COM42", "", "НЕТ", "\xFF"}) {
        Win32SerialDevice device;
        EXPECT_FALSE(device.Open(name)) << name;
        EXPECT_FALSE(device.IsOpen()) << name;
        EXPECT_NE(device.LastOpenError(), 0u) << name;
    }
    Win32ComFarEnd farEnd;
    EXPECT_NE(farEnd.Open(kUnconnectedPort), 0u);
}

TEST(Win32SerialDevice, OpenFailuresSayWhyToTheUser) {
    for (const char* name : {"COM42", "", "НЕТ", "\xFF"}) {
        Win32SerialDevice device;
        EXPECT_FALSE(device.Open(name)) << name;
        EXPECT_EQ(device.LastOpenFailure().kind, OpenFailure::Kind::kNoSuchPort)
            << name << ": error " << device.LastOpenError();
    }
    // A declared port that leads nowhere fails somehow; whatever the reason, it has a text.
    Win32SerialDevice device;
    EXPECT_FALSE(device.Open(kUnconnectedPort));
    const OpenFailure failure = device.LastOpenFailure();
    EXPECT_NE(failure.kind, OpenFailure::Kind::kNone);
    if (failure.kind == OpenFailure::Kind::kOther) {
        EXPECT_FALSE(failure.detail.empty());
        EXPECT_EQ(failure.detail.find('\n'), std::string::npos) << failure.detail;
    }
}

// Wine's device manager has no Ports class devices behind its COM links: the descriptions are
// empty there, and the look-up must not fail on the way. On Windows a described port has
// lines of text.
TEST(Win32DeviceNames, PortsAreDescribedFromThePortsClass) {
    Win32DeviceNames devices;
    for (const char* name : {"COM1", "COM5", "COM8", "COM42", "", "\xFF"}) {
        const std::string text = devices.DescribePort(name);
        if (UnderWine()) {
            EXPECT_EQ(text, "") << name;
        }
        EXPECT_EQ(text.find("\n\n"), std::string::npos) << name;
    }
}

TEST(Win32SerialDevice, ClosedDeviceRefusesEverything) {
    Win32SerialDevice device;
    LineSettings settings;
    uint8_t byte = 0;
    EXPECT_FALSE(device.GetLine(settings));
    EXPECT_FALSE(device.SetLine(kSimulatorLine));
    EXPECT_EQ(device.QueuedCount(), 0u);
    EXPECT_EQ(device.Read(&byte, 1), 0u);
    EXPECT_FALSE(device.Write(&byte, 1));
    EXPECT_FALSE(device.WaitTransmitEmpty(10));
}

// The program's port on the simulator's pseudo-terminal.
class WithSimulator : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* port = std::getenv("BRENNO_SIM_PORT");
        if (port == nullptr) {
            GTEST_SKIP() << "no simulator (tests/win32/with_simulator_port.sh sets one up)";
        }
        port_ = port;
        ASSERT_TRUE(device_.Open(port_)) << port_ << ": error " << device_.LastOpenError();
    }

    std::string port_;
    Win32SerialDevice device_;
};

TEST_F(WithSimulator, RequestAtItsLineIsAnswered) {
    // Parity kept by a real UART, by the shim on a pseudo-terminal: the same settings again.
    ASSERT_TRUE(device_.SetLine(kSimulatorLine));
    ASSERT_TRUE(device_.SetLine(kSimulatorLine));
    LineSettings read;
    ASSERT_TRUE(device_.GetLine(read));
    EXPECT_EQ(read.baudRate, 19200u);
    EXPECT_EQ(read.stopBits, LineSettings::kOneStopBit);
    if (!UnderWine()) {  // Wine shows both modem lines on where the port cannot tell (a pty)
        EXPECT_FALSE(read.dtrOn);
        EXPECT_TRUE(read.rtsOn);
    }

    // Nothing has arrived: a read gives nothing and returns.
    uint8_t buffer[4096];
    EXPECT_EQ(device_.QueuedCount(), 0u);
    EXPECT_EQ(device_.Read(buffer, sizeof buffer), 0u);

    const std::vector<uint8_t> request = ReadRegisters(0x0200, 4);
    ASSERT_TRUE(device_.Write(request.data(), request.size()));
    EXPECT_TRUE(device_.WaitTransmitEmpty(1000));
    // A read takes at most what it is asked for; the rest stays queued.
    const std::vector<uint8_t> first =
        Collect(device_, 5000, [](const std::vector<uint8_t>& got) { return !got.empty(); });
    ASSERT_FALSE(first.empty());
    std::vector<uint8_t> answer(first);
    const size_t one = device_.Read(buffer, 1);
    answer.insert(answer.end(), buffer, buffer + one);
    const std::vector<uint8_t> rest = Collect(device_, 5000, [&](const std::vector<uint8_t>& got) {
        std::vector<uint8_t> all(answer);
        all.insert(all.end(), got.begin(), got.end());
        return IsWholeRtuFrame(all);
    });
    answer.insert(answer.end(), rest.begin(), rest.end());

    std::vector<uint8_t> frame;
    ASSERT_EQ(CheckRtuAnswer(answer, frame), kModbusValid);
    ASSERT_GE(frame.size(), 3u);
    EXPECT_EQ(frame[0], kSimulatorAddress);
    EXPECT_EQ(frame[1], 4);
    EXPECT_EQ(frame[2], 8);  // four registers
}

TEST_F(WithSimulator, FarEndSeesTheRateAndStopBitsAndAnswersAtItsRateOnly) {
    // Each request asks for another count of registers, so that the trace tells them apart.
    const std::vector<uint8_t> slow = ReadRegisters(0x0200, 1);
    ASSERT_TRUE(device_.SetLine(Line(9600, LineSettings::kEvenParity)));
    ASSERT_TRUE(device_.Write(slow.data(), slow.size()));
    EXPECT_TRUE(
        Collect(device_, kAnswerWindowMs, [](const auto& got) { return !got.empty(); }).empty());
    EXPECT_EQ(HeardAt(slow), "9600,?,?,1");

    const std::vector<uint8_t> twoStopBits = ReadRegisters(0x0200, 2);
    ASSERT_TRUE(
        device_.SetLine(Line(19200, LineSettings::kEvenParity, LineSettings::kTwoStopBits)));
    Exchange(device_, twoStopBits);
    EXPECT_EQ(HeardAt(twoStopBits), "19200,?,?,2");

    // At its own line it answers this request, and nothing of the first came late.
    ASSERT_TRUE(device_.SetLine(kSimulatorLine));
    const std::vector<uint8_t> request = ReadRegisters(0x0200, 4);
    std::vector<uint8_t> frame;
    EXPECT_EQ(CheckRtuAnswer(Exchange(device_, request), frame), kModbusValid);
    EXPECT_EQ(HeardAt(request), "19200,?,?,1");

    // Rates outside the standard table go to the driver unchanged (a pseudo-terminal under Wine
    // runs them at 38400).
    EXPECT_TRUE(device_.SetLine(Line(64000, LineSettings::kNoParity)));
    EXPECT_TRUE(device_.SetLine(Line(76800, LineSettings::kEvenParity)));
    // Codes no driver takes are refused, and the port keeps its line.
    ASSERT_TRUE(device_.SetLine(kSimulatorLine));
    for (const auto& [parity, stopBits] :
         {std::pair<uint8_t, uint8_t>{LineSettings::kInvalidCode, 0},
          std::pair<uint8_t, uint8_t>{0, 3}}) {
        LineSettings invalid = Line(9600, parity, stopBits);
        EXPECT_FALSE(device_.SetLine(invalid));
    }
    LineSettings read;
    ASSERT_TRUE(device_.GetLine(read));
    EXPECT_EQ(read.baudRate, 19200u);
}

TEST_F(WithSimulator, APortIsOpenedByOneOpenerOnly) {
    EXPECT_FALSE(device_.Open(port_));  // this device has it already
    EXPECT_EQ(device_.LastOpenFailure().kind, OpenFailure::Kind::kBusy);
    if (UnderWine()) {
        GTEST_SKIP() << "Wine does not keep a second opener off a COM port";
    }
    Win32SerialDevice other;
    EXPECT_FALSE(other.Open(port_));
    Win32ComFarEnd farEnd;
    EXPECT_NE(farEnd.Open(port_), 0u);
}

// The simulator's far end of a line over a COM port, tried from the program's side of the
// simulator's pseudo-terminal: what it writes is heard at the line it listens at.
TEST_F(WithSimulator, ComFarEndWritesWaitsAndReads) {
    device_.Close();
    Win32ComFarEnd port;
    ASSERT_TRUE(port.Listen(Line(9600, LineSettings::kNoParity)));
    ASSERT_EQ(port.Open(port_), 0u);
    EXPECT_TRUE(port.KnowsFraming());
    EXPECT_EQ(port.SenderLine().baudRate, 9600u);

    const uint64_t before = port.NowUs();
    const std::vector<uint8_t> request = ReadRegisters(0x0200, 4);
    EXPECT_FALSE(port.WaitReadable(0));
    ASSERT_TRUE(port.Write(request.data(), request.size()));
    EXPECT_FALSE(port.WaitReadable(kAnswerWindowMs));  // not at the simulator's line

    ASSERT_TRUE(port.Listen(kSimulatorLine));
    EXPECT_EQ(port.SenderLine(), kSimulatorLine);
    ASSERT_TRUE(port.Write(request.data(), request.size()));
    std::vector<uint8_t> answer;
    while (!IsWholeRtuFrame(answer) && port.WaitReadable(5000)) {
        uint8_t chunk[64];
        const size_t n = port.Read(chunk, sizeof chunk);
        answer.insert(answer.end(), chunk, chunk + n);
    }
    EXPECT_TRUE(IsWholeRtuFrame(answer));
    EXPECT_GT(port.NowUs(), before);
    EXPECT_FALSE(port.Broken());
}

}  // namespace
