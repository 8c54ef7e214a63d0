// SPDX-License-Identifier: MIT
// The kernel state that WriteTermios2Line leaves on a pseudo-terminal's slave side, read back
// with TCGETS2. Only the kernel's terminal headers may be used here (see termios2_line.h).
#include "platform/posix/termios2_line.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/pseudo_terminal.h"

namespace {

class Termios2LineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Create());
        fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override {
        if (fd >= 0) {
            close(fd);
        }
    }
    termios2 Kernel() const {
        termios2 t{};
        EXPECT_EQ(ioctl(fd, TCGETS2, &t), 0);
        return t;
    }

    PseudoTerminal pty;
    int fd = -1;
};

LineSettings Line(uint32_t baud, uint8_t parity, uint8_t stopBits) {
    LineSettings s;
    s.baudRate = baud;
    s.parity = parity;
    s.stopBits = stopBits;
    return s;
}

}  // namespace

TEST_F(Termios2LineTest, LineBecomesRawWithoutFlowControl) {
    // A fresh slave side edits lines, echoes and translates CR/LF.
    ASSERT_NE(Kernel().c_lflag & ICANON, 0u);
    ASSERT_EQ(WriteTermios2Line(fd, Line(9600, LineSettings::kNoParity, LineSettings::kOneStopBit)),
              0);
    const termios2 t = Kernel();
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | INPCK | PARMRK),
              0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST_F(Termios2LineTest, RatesInTheTableUseTheirCodesOthersACustomRate) {
    struct Case {
        uint32_t rate;
        tcflag_t code;
    };
    const Case cases[] = {{1200, B1200},   {9600, B9600},   {19200, B19200}, {57600, B57600},
                          {76800, BOTHER}, {64000, BOTHER}, {14400, BOTHER}, {56000, BOTHER}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        ASSERT_EQ(
            WriteTermios2Line(fd, Line(c.rate, LineSettings::kNoParity, LineSettings::kOneStopBit)),
            0);
        const termios2 t = Kernel();
        EXPECT_EQ(t.c_cflag & CBAUD, c.code);
        EXPECT_EQ(t.c_cflag & CIBAUD, 0u);  // input speed follows the output speed
        EXPECT_EQ(t.c_ospeed, c.rate);
        EXPECT_EQ(t.c_ispeed, c.rate);
        LineSettings back;
        ASSERT_EQ(ReadTermios2Line(fd, back), 0);
        EXPECT_EQ(back.baudRate, c.rate);
    }
}

// A pty clears the parity-enable flag and the character size, but keeps the odd, mark/space
// and stop-bit flags: those show whether each parity was asked for right.
TEST_F(Termios2LineTest, ParityAndStopBitFlags) {
    struct Case {
        uint8_t parity;
        uint8_t stopBits;
        bool odd;
        bool stick;
        bool twoStop;
    };
    const Case cases[] = {
        {LineSettings::kNoParity, LineSettings::kOneStopBit, false, false, false},
        {LineSettings::kOddParity, LineSettings::kTwoStopBits, true, false, true},
        {LineSettings::kEvenParity, LineSettings::kOneStopBit, false, false, false},
        {LineSettings::kMarkParity, LineSettings::kOneStopBit, true, true, false},
        {LineSettings::kSpaceParity, LineSettings::kTwoStopBits, false, true, true},
    };
    // Start from the opposite flags each time, so that a flag left over is caught.
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.parity});
        ASSERT_EQ(WriteTermios2Line(
                      fd, Line(9600, LineSettings::kMarkParity,
                               c.twoStop ? LineSettings::kOneStopBit : LineSettings::kTwoStopBits)),
                  0);
        ASSERT_EQ(WriteTermios2Line(fd, Line(9600, c.parity, c.stopBits)), 0);
        const termios2 t = Kernel();
        EXPECT_EQ((t.c_cflag & PARODD) != 0, c.odd);
        EXPECT_EQ((t.c_cflag & CMSPAR) != 0, c.stick);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStop);
    }
}

TEST_F(Termios2LineTest, RefusedSettingsLeaveTheKernelUntouched) {
    ASSERT_EQ(
        WriteTermios2Line(fd, Line(4800, LineSettings::kOddParity, LineSettings::kTwoStopBits)), 0);
    const termios2 before = Kernel();
    EXPECT_EQ(
        WriteTermios2Line(fd, Line(9600, LineSettings::kNoParity, LineSettings::kOne5StopBits)),
        EINVAL);
    EXPECT_EQ(WriteTermios2Line(fd, Line(0, LineSettings::kNoParity, LineSettings::kOneStopBit)),
              EINVAL);
    const termios2 after = Kernel();
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_ospeed, before.c_ospeed);
    EXPECT_EQ(WriteTermios2Line(-1, Line(9600, LineSettings::kNoParity, LineSettings::kOneStopBit)),
              EBADF);
    LineSettings back;
    EXPECT_EQ(ReadTermios2Line(-1, back), EBADF);
}
