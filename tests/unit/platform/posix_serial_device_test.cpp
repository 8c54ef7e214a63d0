// SPDX-License-Identifier: MIT
// PosixSerialDevice against a real pseudo-terminal. The program's side opens the slave path
// (/dev/pts/N) by absolute path, as it would open /dev/ttyUSB0; the test plays the far end of
// the line on the master side through PseudoTerminal.
#include "platform/posix/posix_serial_device.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/posix/pseudo_terminal.h"
#include "platform/posix/system_clock.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

LineSettings Line(uint32_t baud, uint8_t parity = LineSettings::kNoParity,
                  uint8_t stopBits = LineSettings::kOneStopBit, uint8_t dataBits = 8) {
    LineSettings s;
    s.baudRate = baud;
    s.parity = parity;
    s.stopBits = stopBits;
    s.dataBits = dataBits;
    return s;
}

std::vector<uint8_t> AllByteValues() {
    std::vector<uint8_t> bytes(256);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i);
    }
    return bytes;
}

// Waits (really, this is the real line) until count bytes are queued at the program's side.
bool WaitQueued(PosixSerialDevice& device, size_t count) {
    SystemClock clock;
    const auto deadline = steady_clock::now() + milliseconds(2000);
    while (device.QueuedCount() < count) {
        if (steady_clock::now() > deadline) {
            return false;
        }
        clock.Sleep(1);
    }
    return true;
}

// Collects count bytes from the program at the peer's side.
std::vector<uint8_t> PeerReceive(PseudoTerminal& pty, size_t count) {
    std::vector<uint8_t> got;
    const auto deadline = steady_clock::now() + milliseconds(2000);
    while (got.size() < count && steady_clock::now() < deadline) {
        if (!pty.WaitReadable(50)) {
            continue;
        }
        uint8_t chunk[4096];
        const size_t n = pty.Read(chunk, sizeof chunk);
        got.insert(got.end(), chunk, chunk + n);
    }
    return got;
}

// Runs body in a forked child and returns its exit code (or -1 when it did not exit normally).
template <typename Body>
int InChild(Body body) {
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(body());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// Runs body in a forked child as the user nobody (dropping root; as it is when not root) and
// returns what it reported; "no-drop" when root could not be given up.
std::string AsNobody(const std::function<std::string()>& body) {
    int fds[2];
    if (pipe(fds) != 0) {
        return "no-pipe";
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string report = "no-drop";
        if (geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0)) {
            report = body();
        }
        const ssize_t written = write(fds[1], report.data(), report.size());
        _exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
    }
    close(fds[1]);
    std::string report;
    char buffer[256];
    ssize_t n = 0;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) {
        report.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return report;
}

// An open failure as one line: its kind's number, detail, group and user.
std::string FailureLine(const OpenFailure& failure) {
    return std::to_string(static_cast<int>(failure.kind)) + "|" + failure.detail + "|" +
           failure.group + "|" + failure.user;
}

class PosixSerialDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(pty.Create()) << "no pseudo-terminal available"; }

    PseudoTerminal pty;
    PosixSerialDevice device;
};

}  // namespace

TEST(PosixSerialDevicePath, PortNamesMapToDevicePaths) {
    EXPECT_EQ(PosixSerialDevice::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(PosixSerialDevice::DevicePath("ttyS1"), "/dev/ttyS1");
    EXPECT_EQ(PosixSerialDevice::DevicePath("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(PosixSerialDevice::DevicePath("/tmp/port"), "/tmp/port");
}

TEST(PosixSerialDevicePath, OpenFailuresTellWhy) {
    struct Case {
        const char* name;
        int error;
    };
    const Case cases[] = {
        {"/dev/no-such-port", ENOENT}, {"ttyNoSuchPort99", ENOENT}, {"", ENOENT}, {"НЕТ", ENOENT},
        {"/dev/null", ENOTTY},  // exists, but is no terminal
    };
    for (const Case& c : cases) {
        PosixSerialDevice device;
        EXPECT_FALSE(device.Open(c.name)) << c.name;
        EXPECT_FALSE(device.IsOpen()) << c.name;
        EXPECT_EQ(device.LastOpenError(), c.error) << c.name;
    }
}

TEST(PosixSerialDevicePath, ClosedDeviceRefusesEverything) {
    PosixSerialDevice device;
    LineSettings settings = Line(4800);
    const LineSettings before = settings;
    uint8_t buffer[4] = {1, 2, 3, 4};
    EXPECT_FALSE(device.GetLine(settings));
    EXPECT_EQ(settings, before);
    EXPECT_FALSE(device.SetLine(settings));
    EXPECT_EQ(device.QueuedCount(), 0u);
    EXPECT_EQ(device.Read(buffer, sizeof buffer), 0u);
    EXPECT_FALSE(device.Write(buffer, sizeof buffer));
    EXPECT_FALSE(device.WaitTransmitEmpty(10));
    device.Close();  // harmless
}

TEST_F(PosixSerialDeviceTest, SecondOpenerInTheSameProcessIsRefused) {
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    EXPECT_EQ(device.LastOpenError(), 0);

    PosixSerialDevice second;
    EXPECT_FALSE(second.Open(pty.SlavePath()));
    EXPECT_EQ(second.LastOpenError(), EBUSY);
    EXPECT_FALSE(second.IsOpen());

    // Opening again on the same device does not give up the port it holds.
    EXPECT_FALSE(device.Open(pty.SlavePath()));
    EXPECT_EQ(device.LastOpenError(), EBUSY);
    EXPECT_TRUE(device.IsOpen());
    EXPECT_TRUE(device.SetLine(Line(9600)));

    device.Close();
    EXPECT_TRUE(second.Open(pty.SlavePath()));
}

TEST_F(PosixSerialDeviceTest, SecondOpenerInAnotherProcessIsRefusedUntilClose) {
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    const std::string path = pty.SlavePath();
    const auto tryOpen = [&path] {
        PosixSerialDevice other;
        if (other.Open(path)) {
            return 1;
        }
        return other.LastOpenError() == EBUSY ? 0 : 2;
    };
    EXPECT_EQ(InChild(tryOpen), 0);
    device.Close();
    EXPECT_EQ(InChild(tryOpen), 1);
}

// TIOCEXCL stops other openers only when they are not root, and it stays on the tty after the
// close while the peer keeps the master side: the device must lift it, or its own next open
// would be refused. Run as an ordinary user (dropping root in a child where needed).
TEST_F(PosixSerialDeviceTest, ReopenAfterCloseWorksForAnOrdinaryUser) {
    const std::string path = pty.SlavePath();
    if (geteuid() == 0) {
        ASSERT_EQ(chmod(path.c_str(), 0666), 0);
    }
    const int result = InChild([&path] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            return 10;
        }
        PosixSerialDevice first;
        PosixSerialDevice second;
        if (!first.Open(path)) {
            return 11;
        }
        if (second.Open(path) || second.LastOpenError() != EBUSY) {
            return 12;
        }
        first.Close();
        if (!first.Open(path)) {
            return 13;
        }
        first.Close();
        return second.Open(path) ? 0 : 14;
    });
    EXPECT_EQ(result, 0);
}

TEST_F(PosixSerialDeviceTest, BaudRateAndStopBitsAreSetAndReadBack) {
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    // A pty keeps the baud rate and the stop bits; it always shows 8 data bits and no parity.
    const LineSettings cases[] = {
        Line(9600),
        Line(19200, LineSettings::kEvenParity),
        Line(76800, LineSettings::kNoParity, LineSettings::kTwoStopBits),  // custom rate
        Line(64000, LineSettings::kOddParity),                             // custom rate
        Line(1200, LineSettings::kMarkParity, LineSettings::kTwoStopBits, 7),
        Line(115200, LineSettings::kSpaceParity),
        Line(300, LineSettings::kNoParity, LineSettings::kOneStopBit, 5),
    };
    for (const LineSettings& wanted : cases) {
        SCOPED_TRACE(wanted.baudRate);
        ASSERT_TRUE(device.SetLine(wanted));
        LineSettings got = Line(1, LineSettings::kSpaceParity, LineSettings::kOne5StopBits, 5);
        ASSERT_TRUE(device.GetLine(got));
        EXPECT_EQ(got.baudRate, wanted.baudRate);
        EXPECT_EQ(got.stopBits, wanted.stopBits);
        EXPECT_EQ(got.dataBits, 8);
        EXPECT_EQ(got.parity, LineSettings::kNoParity);
        EXPECT_FALSE(got.dtrOn);
        EXPECT_TRUE(got.rtsOn);
    }
}

TEST_F(PosixSerialDeviceTest, PeerHoldingTheSlaveSeesTheProgramsLine) {
    PseudoTerminal held;
    ASSERT_TRUE(held.Create(true));
    LineSettings seen;
    EXPECT_FALSE(pty.SlaveLine(seen));  // not held

    ASSERT_TRUE(device.Open(held.SlavePath()));
    ASSERT_TRUE(device.SetLine(Line(76800, LineSettings::kEvenParity, LineSettings::kTwoStopBits)));
    ASSERT_TRUE(held.SlaveLine(seen));
    EXPECT_EQ(seen.baudRate, 76800u);
    EXPECT_EQ(seen.stopBits, LineSettings::kTwoStopBits);

    // The setting stays on the tty when the program closes its port.
    device.Close();
    seen = LineSettings{};
    ASSERT_TRUE(held.SlaveLine(seen));
    EXPECT_EQ(seen.baudRate, 76800u);
}

TEST_F(PosixSerialDeviceTest, ModemLinesAreRememberedWhereThePortHasNone) {
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    LineSettings wanted = Line(9600);
    wanted.dtrOn = true;
    wanted.rtsOn = false;
    ASSERT_TRUE(device.SetLine(wanted));  // a pty refuses the modem-line calls: not a failure
    LineSettings got;
    ASSERT_TRUE(device.GetLine(got));
    EXPECT_TRUE(got.dtrOn);
    EXPECT_FALSE(got.rtsOn);
}

TEST_F(PosixSerialDeviceTest, SettingsThatCannotBeSetAreRefusedAndTheLineKept) {
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    ASSERT_TRUE(device.SetLine(Line(19200, LineSettings::kNoParity, LineSettings::kTwoStopBits)));
    const LineSettings refused[] = {
        Line(9600, LineSettings::kNoParity, LineSettings::kOne5StopBits),
        Line(9600, LineSettings::kNoParity, LineSettings::kOne5StopBits, 5),
        Line(0),
        Line(9600, LineSettings::kNoParity, LineSettings::kOneStopBit, 4),
        Line(9600, LineSettings::kNoParity, LineSettings::kOneStopBit, 9),
        Line(9600, 5),
        Line(9600, LineSettings::kInvalidCode),
        Line(9600, LineSettings::kNoParity, LineSettings::kInvalidCode),
        Line(9600, LineSettings::kNoParity, 3),
    };
    for (const LineSettings& settings : refused) {
        SCOPED_TRACE(testing::Message()
                     << settings.baudRate << " p" << int{settings.parity} << " s"
                     << int{settings.stopBits} << " d" << int{settings.dataBits});
        EXPECT_FALSE(device.SetLine(settings));
        LineSettings got;
        ASSERT_TRUE(device.GetLine(got));
        EXPECT_EQ(got.baudRate, 19200u);
        EXPECT_EQ(got.stopBits, LineSettings::kTwoStopBits);
    }
}

TEST_F(PosixSerialDeviceTest, ReadsNeverWait) {
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    uint8_t buffer[16];
    const auto start = steady_clock::now();
    // Before any settings (the pty starts in line-editing mode) and after.
    EXPECT_EQ(device.QueuedCount(), 0u);
    EXPECT_EQ(device.Read(buffer, sizeof buffer), 0u);
    ASSERT_TRUE(device.SetLine(Line(9600)));
    EXPECT_EQ(device.QueuedCount(), 0u);
    EXPECT_EQ(device.Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(device.Read(buffer, 0), 0u);
    EXPECT_LT(steady_clock::now() - start, milliseconds(500));
}

TEST_F(PosixSerialDeviceTest, EveryByteValueTravelsUnchangedBothWays) {
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    ASSERT_TRUE(device.SetLine(Line(19200, LineSettings::kEvenParity)));
    const std::vector<uint8_t> bytes = AllByteValues();

    // Program to peer: no CR/LF translation, no flow-control characters taken out.
    ASSERT_TRUE(device.Write(bytes.data(), bytes.size()));
    EXPECT_TRUE(device.WaitTransmitEmpty(100));
    EXPECT_EQ(PeerReceive(pty, bytes.size()), bytes);

    // Peer to program, read in two parts: a read takes no more than asked for.
    ASSERT_TRUE(pty.Write(bytes.data(), bytes.size()));
    ASSERT_TRUE(WaitQueued(device, bytes.size()));
    EXPECT_EQ(device.QueuedCount(), bytes.size());
    std::vector<uint8_t> got(300, 0xEE);
    EXPECT_EQ(device.Read(got.data(), 100), 100u);
    EXPECT_EQ(got[100], 0xEE);
    EXPECT_EQ(device.QueuedCount(), 156u);
    EXPECT_EQ(device.Read(got.data() + 100, 200), 156u);
    got.resize(256);
    EXPECT_EQ(got, bytes);

    // Nothing was echoed back to the peer.
    uint8_t echo[16];
    EXPECT_EQ(pty.Read(echo, sizeof echo), 0u);
}

TEST_F(PosixSerialDeviceTest, LargeBlockIsWrittenWhole) {
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    ASSERT_TRUE(device.SetLine(Line(115200)));
    std::vector<uint8_t> block(5000);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(i * 7 + i / 256);
    }
    ASSERT_TRUE(device.Write(block.data(), block.size()));
    EXPECT_EQ(PeerReceive(pty, block.size()), block);
}

TEST_F(PosixSerialDeviceTest, StalledWriteGivesUpAfterItsTimeout) {
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    ASSERT_TRUE(device.SetLine(Line(9600)));
    device.SetWriteTimeout(50);
    // The peer reads nothing, so the pty's buffers fill up and stay full.
    const std::vector<uint8_t> block(1 << 20, 0x41);
    const auto start = steady_clock::now();
    EXPECT_FALSE(device.Write(block.data(), block.size()));
    EXPECT_LT(steady_clock::now() - start, milliseconds(1500));
}

// Bytes unread at the close and bytes sent while the port was closed are not there after the
// next open, whether or not the peer holds the slave side.
TEST(PosixSerialDeviceReopen, StartsWithAnEmptyReceiveQueue) {
    for (const bool holdSlave : {false, true}) {
        SCOPED_TRACE(holdSlave);
        PseudoTerminal pty;
        ASSERT_TRUE(pty.Create(holdSlave));
        PosixSerialDevice device;
        ASSERT_TRUE(device.Open(pty.SlavePath()));
        ASSERT_TRUE(device.SetLine(Line(9600)));
        const uint8_t unread[] = {1, 2, 3};
        ASSERT_TRUE(pty.Write(unread, sizeof unread));
        ASSERT_TRUE(WaitQueued(device, sizeof unread));
        device.Close();
        const uint8_t whileClosed[] = {4, 5};
        ASSERT_TRUE(pty.Write(whileClosed, sizeof whileClosed));

        ASSERT_TRUE(device.Open(pty.SlavePath()));
        EXPECT_EQ(device.QueuedCount(), 0u);
        const uint8_t fresh[] = {6, 7, 8, 9};
        ASSERT_TRUE(pty.Write(fresh, sizeof fresh));
        ASSERT_TRUE(WaitQueued(device, sizeof fresh));
        uint8_t got[8] = {};
        ASSERT_EQ(device.Read(got, sizeof got), sizeof fresh);
        EXPECT_EQ(std::vector<uint8_t>(got, got + 4), std::vector<uint8_t>(fresh, fresh + 4));
    }
}

TEST_F(PosixSerialDeviceTest, HungUpFarSideGivesNothingAndFailsWrites) {
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    ASSERT_TRUE(device.SetLine(Line(9600)));
    const uint8_t pending[] = {9, 8, 7};
    ASSERT_TRUE(pty.Write(pending, sizeof pending));
    ASSERT_TRUE(WaitQueued(device, sizeof pending));
    const std::string path = pty.SlavePath();
    pty.CloseMaster();

    const auto start = steady_clock::now();
    uint8_t buffer[16];
    EXPECT_EQ(device.QueuedCount(), 0u);
    EXPECT_EQ(device.Read(buffer, sizeof buffer), 0u);
    EXPECT_FALSE(device.Write(pending, sizeof pending));
    EXPECT_FALSE(device.WaitTransmitEmpty(1000));
    LineSettings settings;
    EXPECT_FALSE(device.GetLine(settings));
    EXPECT_FALSE(device.SetLine(Line(9600)));
    EXPECT_LT(steady_clock::now() - start, milliseconds(500));
    EXPECT_TRUE(device.IsOpen());

    device.Close();
    EXPECT_FALSE(device.Open(path));  // the pty is gone with its master side
}

TEST_F(PosixSerialDeviceTest, OpenFailuresSayWhyToTheUser) {
    using Kind = OpenFailure::Kind;
    PosixSerialDevice holder;
    ASSERT_TRUE(holder.Open(pty.SlavePath()));
    struct Case {
        std::string port;
        OpenFailure failure;
    };
    const Case cases[] = {
        {"/dev/no-such-port", {Kind::kNoSuchPort, "", "", ""}},
        {"ttyNoSuchPort99", {Kind::kNoSuchPort, "", "", ""}},
        {"", {Kind::kNoSuchPort, "", "", ""}},
        {pty.SlavePath(), {Kind::kBusy, "", "", ""}},  // held by another open
        {"/dev/null", {Kind::kOther, strerror(ENOTTY), "", ""}},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(device.Open(c.port)) << c.port;
        EXPECT_EQ(FailureLine(device.LastOpenFailure()), FailureLine(c.failure)) << c.port;
    }
    holder.Close();
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    EXPECT_EQ(device.LastOpenFailure().kind, Kind::kNone);
}

// A device the user may not open: the group that may read and write it is named, with the
// user to add to it; a group that may not do both is not.
TEST_F(PosixSerialDeviceTest, RefusedPermissionNamesTheGroupThatWouldHelp) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to give the device to another group";
    }
    const std::string path = pty.SlavePath();
    const group* dialout = getgrnam("dialout");
    const gid_t gid = dialout != nullptr ? dialout->gr_gid : 5;
    const group* entry = getgrgid(gid);
    const passwd* nobody = getpwuid(65534);
    ASSERT_NE(entry, nullptr);
    ASSERT_NE(nobody, nullptr);
    const std::string groupName = entry->gr_name;
    const std::string userName = nobody->pw_name;
    const auto kind = std::to_string(static_cast<int>(OpenFailure::Kind::kNoPermission));
    struct Case {
        mode_t mode;
        std::string failure;
    };
    const Case cases[] = {
        {0660, kind + "||" + groupName + "|" + userName},
        {0620, kind + "|||"},  // the group may write, not read
        {0600, kind + "|||"},
    };
    ASSERT_EQ(chown(path.c_str(), 0, gid), 0);
    for (const Case& c : cases) {
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        const std::string report = AsNobody([&path] {
            PosixSerialDevice other;
            return other.Open(path) ? std::string("opened") : FailureLine(other.LastOpenFailure());
        });
        if (report == "no-drop") {
            GTEST_SKIP() << "cannot drop root privileges";
        }
        EXPECT_EQ(report, c.failure) << std::oct << c.mode;
    }
    chmod(path.c_str(), 0620);
}
