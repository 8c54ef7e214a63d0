// SPDX-License-Identifier: MIT
// The program's port (PosixSerialDevice under SerialChannel) against libmodbus serving as an
// RTU slave, over a real pseudo-terminal in real time.
//
// Arrangement: the program opens the pty's slave path (/dev/pts/N) by absolute path, exactly
// as it opens a serial port. libmodbus works on the pty's master descriptor, handed to it with
// modbus_set_socket instead of modbus_connect (which would want a device path to open; the
// master side has none). libmodbus then only reads, selects on and writes that descriptor; its
// own line settings are never applied, which a pty would not need anyway. The server runs in a
// thread of the test and wakes every 20 ms to see whether it should stop.
#include <errno.h>
#include <gtest/gtest.h>
#include <modbus.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "channel/modbus_frame.h"
#include "channel/serial_channel.h"
#include "platform/posix/posix_serial_device.h"
#include "platform/posix/pseudo_terminal.h"
#include "platform/posix/system_clock.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kSlave = 1;
constexpr int kRegisters = 16;

uint16_t InputRegisterValue(int index) {
    return static_cast<uint16_t>(0x1100 + index * 0x0101);
}

// Modbus CRC-16 (polynomial 0xA001 reflected, initial 0xFFFF), written independently of the
// channel's own.
uint16_t Crc16(const Bytes& bytes) {
    uint16_t crc = 0xFFFF;
    for (uint8_t b : bytes) {
        crc = static_cast<uint16_t>(crc ^ b);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                                 : static_cast<uint16_t>(crc >> 1);
        }
    }
    return crc;
}

Bytes WithCrc(Bytes frame) {
    const uint16_t crc = Crc16(frame);
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

// libmodbus as the transducer: slave 1 with known input registers and room for writes.
class ModbusServer {
  public:
    explicit ModbusServer(int fd) {
        ctx_ = modbus_new_rtu("/dev/null", 19200, 'E', 8, 1);  // the name is never opened
        mapping_ = modbus_mapping_new(0, 0, kRegisters, kRegisters);
        if (ctx_ == nullptr || mapping_ == nullptr) {
            return;
        }
        for (int i = 0; i < kRegisters; ++i) {
            mapping_->tab_input_registers[i] = InputRegisterValue(i);
        }
        modbus_set_slave(ctx_, kSlave);
        modbus_set_socket(ctx_, fd);
        modbus_set_indication_timeout(ctx_, 0, 20'000);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ModbusServer() {
        Stop();
        if (mapping_ != nullptr) {
            modbus_mapping_free(mapping_);
        }
        if (ctx_ != nullptr) {
            modbus_free(ctx_);  // not modbus_close: the descriptor belongs to the pty
        }
    }
    bool Running() const { return thread_.joinable(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    int Replies() const { return replies_; }
    // Only after Stop.
    uint16_t HoldingRegister(int index) const { return mapping_->tab_registers[index]; }

  private:
    void Serve() {
        uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stop_) {
            const int length = modbus_receive(ctx_, query);
            if (length > 0) {
                if (modbus_reply(ctx_, query, length, mapping_) > 0) {
                    ++replies_;
                }
            } else if (length < 0 && errno != ETIMEDOUT) {
                // The program has its port closed (the master reads EIO): look again shortly.
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }

    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* mapping_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> replies_{0};
};

class ModbusInteropTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Create());
        server = std::make_unique<ModbusServer>(pty.MasterFd());
        ASSERT_TRUE(server->Running());
        ASSERT_TRUE(channel.OpenPort(pty.SlavePath()));
        ASSERT_TRUE(channel.ApplyMode("19200,E,8,1"));
    }
    void TearDown() override {
        channel.ClosePort();
        server.reset();
    }

    // Collects an answer of the expected length from the line, in real time, within waitMs.
    Bytes Exchange(const Bytes& request, size_t expectedLength, int waitMs = 1000) {
        EXPECT_TRUE(channel.WriteBytes(request.data(), request.size()));
        Bytes answer;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        while (answer.size() < expectedLength && std::chrono::steady_clock::now() < deadline) {
            uint8_t chunk[256];
            const size_t n = channel.ReadAvailable(chunk, sizeof chunk);
            answer.insert(answer.end(), chunk, chunk + n);
            if (n == 0) {
                clock.Sleep(1);
            }
        }
        return answer;
    }

    // A request through the channel's own framing, and its answer after a wait long enough for
    // libmodbus to have answered completely.
    uint8_t RtuExchange(uint8_t function, uint16_t startRegister, const Bytes& data,
                        Bytes& answer) {
        channel.SendRtuRequest(kSlave, function, startRegister, &data);
        clock.Sleep(100);
        answer.clear();
        return channel.ReceiveRtuAnswer(answer);
    }

    PseudoTerminal pty;
    std::unique_ptr<ModbusServer> server;
    PosixSerialDevice device;
    SystemClock clock;
    SerialChannel channel{device, clock};
};

}  // namespace

TEST_F(ModbusInteropTest, ReadInputRegistersIsAnswered) {
    const Bytes request = WithCrc({0x01, 0x04, 0x00, 0x02, 0x00, 0x03});
    const Bytes expected = WithCrc({0x01, 0x04, 0x06, 0x13, 0x02, 0x14, 0x03, 0x15, 0x04});
    ASSERT_EQ(InputRegisterValue(2), 0x1302);
    EXPECT_EQ(Exchange(request, expected.size()), expected);
}

TEST_F(ModbusInteropTest, WriteMultipleRegistersIsEchoedAndStored) {
    const Bytes request =
        WithCrc({0x01, 0x10, 0x00, 0x04, 0x00, 0x02, 0x04, 0xAB, 0xCD, 0x00, 0x7F});
    const Bytes expected = WithCrc({0x01, 0x10, 0x00, 0x04, 0x00, 0x02});
    EXPECT_EQ(Exchange(request, expected.size()), expected);
    server->Stop();
    EXPECT_EQ(server->HoldingRegister(4), 0xABCD);
    EXPECT_EQ(server->HoldingRegister(5), 0x007F);
}

TEST_F(ModbusInteropTest, IllegalAddressGivesAnExceptionAnswer) {
    const Bytes request = WithCrc({0x01, 0x04, 0x00, 0x40, 0x00, 0x01});
    const Bytes expected = WithCrc({0x01, 0x84, 0x02});
    EXPECT_EQ(Exchange(request, expected.size()), expected);
}

TEST_F(ModbusInteropTest, DamagedRequestGetsNoAnswer) {
    Bytes damaged = WithCrc({0x01, 0x04, 0x00, 0x00, 0x00, 0x01});
    damaged.back() ^= 0x01;
    EXPECT_TRUE(Exchange(damaged, 1, 150).empty());
    // The line is clean afterwards.
    const Bytes expected = WithCrc({0x01, 0x04, 0x02, 0x11, 0x00});
    EXPECT_EQ(Exchange(WithCrc({0x01, 0x04, 0x00, 0x00, 0x00, 0x01}), expected.size()), expected);
}

TEST_F(ModbusInteropTest, PortIsExclusiveAndReopensAcrossTheServersLife) {
    PosixSerialDevice intruder;
    EXPECT_FALSE(intruder.Open(pty.SlavePath()));
    EXPECT_EQ(intruder.LastOpenError(), EBUSY);

    // Close and reopen, as Start does around the change-over; the server keeps serving.
    channel.ClosePort();
    clock.Sleep(30);
    ASSERT_TRUE(channel.OpenPort(pty.SlavePath()));
    ASSERT_TRUE(channel.ApplyMode("9600,N,8,2"));
    const Bytes expected = WithCrc({0x01, 0x04, 0x02, 0x1F, 0x0E});
    const Bytes request = WithCrc({0x01, 0x04, 0x00, 0x0E, 0x00, 0x01});
    Bytes answer = Exchange(request, expected.size());
    if (answer.empty()) {
        // libmodbus may still be recovering from the hang-up of the close when the first
        // request arrives and drop it; a master would ask again.
        answer = Exchange(request, expected.size());
    }
    EXPECT_EQ(answer, expected);
    EXPECT_GE(server->Replies(), 1);
}

TEST_F(ModbusInteropTest, ChannelReadsInputRegisters) {
    Bytes answer;
    ASSERT_EQ(RtuExchange(4, 3, {0x00, 0x05}, answer), kModbusValid);
    ASSERT_EQ(answer.size(), 3u + 2 * 5);
    EXPECT_EQ(answer[0], kSlave);
    EXPECT_EQ(answer[1], 4);
    EXPECT_EQ(answer[2], 10);
    for (int i = 0; i < 5; ++i) {
        const int value = answer[3 + 2 * i] << 8 | answer[4 + 2 * i];
        EXPECT_EQ(value, InputRegisterValue(3 + i)) << i;
    }
}

TEST_F(ModbusInteropTest, ChannelWriteOfFourRegistersIsEchoed) {
    // The shape of the clock write: four registers, eight bytes.
    const Bytes data = {0x00, 0x04, 0x08, 0x07, 0xE8, 0x03, 0x0E, 0x0C, 0x1E, 0x2D, 0x00};
    Bytes answer;
    ASSERT_EQ(RtuExchange(16, 0x0008, data, answer), kModbusValid);
    EXPECT_EQ(answer, (Bytes{0x01, 0x10, 0x00, 0x08, 0x00, 0x04}));
    server->Stop();
    EXPECT_EQ(server->HoldingRegister(8), 0x07E8);
    EXPECT_EQ(server->HoldingRegister(9), 0x030E);
    EXPECT_EQ(server->HoldingRegister(10), 0x0C1E);
    EXPECT_EQ(server->HoldingRegister(11), 0x2D00);
}

TEST_F(ModbusInteropTest, ChannelPassesAnExceptionAnswerAsValid) {
    // An RTU exception answer passes its checksum check; the caller sees function 0x84.
    Bytes answer;
    ASSERT_EQ(RtuExchange(4, 0x0040, {0x00, 0x01}, answer), kModbusValid);
    EXPECT_EQ(answer, (Bytes{0x01, 0x84, 0x02}));
}

TEST_F(ModbusInteropTest, ChannelSeesNoAnswerFromAnotherSlave) {
    const Bytes data = {0x00, 0x01};
    channel.SendRtuRequest(7, 4, 0, &data);
    clock.Sleep(100);
    Bytes answer;
    EXPECT_EQ(channel.ReceiveRtuAnswer(answer), kModbusNoAnswer);
    EXPECT_TRUE(answer.empty());
}
