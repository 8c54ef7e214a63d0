#include <gtest/gtest.h>

#include "iec101/ft12_frame.h"
#include "iec101/iec101_commands.h"
#include "iec101/iec101_master.h"
#include "platform/calendar.h"

namespace {

std::vector<uint8_t> Hex(std::initializer_list<int> bytes) {
    std::vector<uint8_t> v;
    for (int b : bytes) {
        v.push_back(static_cast<uint8_t>(b));
    }
    return v;
}

LinkConfig OneByteWidths() {
    LinkConfig lc;
    lc.addressWidth = 1;
    lc.ioaWidth = 1;
    lc.causeWidth = 1;
    return lc;
}

}  // namespace

TEST(Ft12Frames, FixedFramesOfTheLinkServices) {
    const LinkConfig lc = OneByteWidths();
    EXPECT_EQ(BuildFixedFrame(kControlLinkStatus, 1, lc), Hex({0x10, 0x49, 0x01, 0x4A, 0x16}));
    EXPECT_EQ(BuildFixedFrame(kControlResetLink, 1, lc), Hex({0x10, 0x40, 0x01, 0x41, 0x16}));
    LinkConfig wide = lc;
    wide.addressWidth = 2;
    EXPECT_EQ(BuildFixedFrame(kControlClass2 | kControlFcb, 0x0102, wide),
              Hex({0x10, 0x7B, 0x02, 0x01, 0x7E, 0x16}));
}

TEST(Ft12Frames, InterrogationOfGroupThreeWithBothFcbValues) {
    LinkConfig lc;
    lc.addressWidth = 2;
    lc.ioaWidth = 2;
    lc.causeWidth = 1;
    lc.group = 3;
    lc.commandCause = 8;
    EXPECT_EQ(BuildInterrogationFrame(0, 0x0102, 0x0010, lc),
              Hex({0x68, 0x0B, 0x0B, 0x68, 0x53, 0x02, 0x01, 0x64, 0x01, 0x08, 0x02, 0x01, 0x10,
                   0x00, 0x17, 0xED, 0x16}));
    const std::vector<uint8_t> fcb1 = BuildInterrogationFrame(1, 0x0102, 0x0010, lc);
    EXPECT_EQ(fcb1[4], 0x73);
    EXPECT_EQ(fcb1[fcb1.size() - 2], 0x0D);
    // A two-byte cause carries the originator address after it.
    lc.causeWidth = 2;
    const std::vector<uint8_t> originator = BuildInterrogationFrame(0, 0x0102, 0x0010, lc);
    EXPECT_EQ(originator[1], 0x0C);
    EXPECT_EQ(originator[9], 0x08);
    EXPECT_EQ(originator[10], 0x02);
}

TEST(Ft12Frames, ClockSynchronisationOfWednesday13March2024) {
    // 14:05:07.004 local time.
    SystemTime t = CalendarFromUnixMs(UnixMsFromCalendar({2024, 3, 0, 13, 14, 5, 7, 4}));
    EXPECT_EQ(t.dayOfWeek, 3);
    EXPECT_EQ(BuildClockSyncFrame(1, 1, OneByteWidths(), t),
              Hex({0x68, 0x0E, 0x0E, 0x68, 0x73, 0x01, 0x67, 0x01, 0x06, 0x01,
                   0x00, 0x5C, 0x1B, 0x05, 0x0E, 0x6D, 0x03, 0x18, 0xF5, 0x16}));
    // Sunday is day 7.
    t = CalendarFromUnixMs(UnixMsFromCalendar({2024, 3, 0, 17, 0, 0, 0, 0}));
    EXPECT_EQ(EncodeCp56Time2a(t)[4] >> 5, 7);
}

TEST(Ft12Frames, ReceiveCodesOfCollectedAnswers) {
    struct Case {
        std::vector<uint8_t> bytes;
        uint8_t code;
    };
    const std::vector<Case> cases = {
        {{}, kReceiveNothing},
        {Hex({0xE5}), kReceiveSingleAck},
        {Hex({0x00}), kReceiveShort},
        {Hex({0x10, 0x00, 0x01}), kReceiveShort},
        {Hex({0x10, 0x00, 0x01, 0x01, 0x16}), kReceiveOk},
        {Hex({0x10, 0x09, 0x01, 0x0A, 0x16}), kReceiveNoData},
        {Hex({0x10, 0x0B, 0x01, 0x0C, 0x16}), kReceiveOk},
        {Hex({0x10, 0x1B, 0x01, 0x1C, 0x16}), kReceiveRejected},
        {Hex({0x10, 0x01, 0x01, 0x02, 0x16}), kReceiveBadStart},
        {Hex({0x10, 0x00, 0x02, 0x01, 0x16}), kReceiveBadChecksum},
        {Hex({0x10, 0x00, 0x01, 0x01, 0x17}), kReceiveBadEnd},
        {Hex({0x69, 0x00, 0x01, 0x01, 0x16}), kReceiveBadStart},
        // User data with ACD set is not decoded.
        {Hex({0x68, 0x09, 0x09, 0x68, 0x28, 0x01, 0x09, 0x01, 0x03, 0x01, 0x01, 0x00, 0x00, 0x38,
              0x16}),
         kReceiveUnexpected},
    };
    Iec101Results results;
    Iec101Master master(results);
    for (const Case& c : cases) {
        std::vector<uint8_t> answer;
        EXPECT_EQ(master.ClassifyAnswer(c.bytes, answer, OneByteWidths()), c.code)
            << ::testing::PrintToString(c.bytes);
    }
}

TEST(Ft12Frames, InterrogationConfirmationCauses) {
    Iec101Results results;
    Iec101Master master(results);
    master.SetWidths({1, 1, 1});
    auto confirmation = [](uint8_t cause) {
        std::vector<uint8_t> asdu = {0x64, 0x01, cause, 0x01, 0x00, 0x14};
        return BuildVariableFrame(0x08, 1, OneByteWidths(), asdu);
    };
    std::vector<uint8_t> answer;
    EXPECT_EQ(master.ClassifyAnswer(confirmation(7), answer, OneByteWidths()), kReceiveOk);
    EXPECT_EQ(master.ClassifyAnswer(confirmation(6), answer, OneByteWidths()), kReceiveRejected);
    EXPECT_EQ(master.ClassifyAnswer(confirmation(0x47), answer, OneByteWidths()), kReceiveRejected);
    EXPECT_EQ(master.ClassifyAnswer(confirmation(44), answer, OneByteWidths()), 44);
}

TEST(Ft12Frames, ResultMessages) {
    EXPECT_EQ(Iec101ResultMessage(44), "Неизвестный идентификатор типа");
    EXPECT_EQ(Iec101ResultMessage(45), "Неизвестная причина передачи");
    EXPECT_EQ(Iec101ResultMessage(47), "Неизвестный адрес объекта информации");
    EXPECT_EQ(Iec101ResultMessage(4), "Нет подтверждения активации/деактивации опроса");
}
