// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "iec101/iec101_commands.h"
#include "iec101/iec101_master.h"
#include "iec101_test_support.h"

namespace {

LinkConfig One() {
    return LinkConfig{};
}

// The control bytes of every frame written, in order.
std::vector<uint8_t> Controls(const MasterBench& bench) {
    std::vector<uint8_t> out;
    for (const auto& f : bench.Written()) {
        out.push_back(f[0] == 0x10 ? f[1] : f[4]);
    }
    return out;
}

}  // namespace

TEST(LinkServices, RequestLinkStatusAnswers) {
    struct Case {
        const char* name;
        std::string answer;
        uint8_t addressWidth;
        bool ok;
    };
    const Case cases[] = {
        {"status frame", "10 0B 01 0C 16", 1, true},
        {"status frame with DFC", "10 1B 01 1C 16", 1, true},
        {"lone E5", "E5", 1, true},
        {"two-byte address", "10 0B 01 00 0C 16", 2, true},
        {"checksum not examined", "10 0B 01 00 16", 1, true},
        {"acknowledge is not status", "10 00 01 01 16", 1, false},
        {"seven bytes", "10 0B 01 00 0C 16 00", 2, false},
        {"lone other byte", "00", 1, false},
        {"silence", "", 1, false},
    };
    for (const auto& c : cases) {
        MasterBench bench;
        ScriptedPeer peer(bench.line);
        bench.line.AttachPeer(&peer);
        peer.answers.push_back(Hex(c.answer));
        LinkConfig config;
        config.addressWidth = c.addressWidth;
        const uint64_t start = bench.clock.NowUs();
        EXPECT_EQ(bench.master.RequestLinkStatus(1, config), c.ok) << c.name;
        EXPECT_EQ(bench.clock.NowUs() - start, 150'000u) << c.name;
        ASSERT_EQ(bench.Written().size(), 1u);
        EXPECT_EQ(bench.Written()[0],
                  c.addressWidth == 1 ? Hex("10 49 01 4A 16") : Hex("10 49 01 00 4A 16"));
    }
}

TEST(LinkServices, ResetRemoteLinkAnswersAndFcb) {
    struct Case {
        const char* name;
        std::string answer;
        bool ok;
    };
    const Case cases[] = {
        {"acknowledge", "10 00 01 01 16", true},
        {"lone E5", "E5", true},
        {"negative acknowledge", "10 01 01 02 16", false},
        {"silence", "", false},
    };
    for (const auto& c : cases) {
        MasterBench bench;
        ScriptedPeer peer(bench.line);
        bench.line.AttachPeer(&peer);
        peer.answers.push_back(Hex(c.answer));
        bench.master.RequestClass2Data(1, One());  // FCB 0 used, next would be 1 ...
        bench.master.RequestClass2Data(1, One());  // ... and now 0 again
        EXPECT_EQ(bench.master.ResetRemoteLink(1, One()), c.ok) << c.name;
        // Whatever the answer, the next frame with FCV carries FCB 1.
        EXPECT_EQ(bench.master.NextFcb(), 1) << c.name;
        bench.master.RequestClass2Data(1, One());
        bench.master.RequestClass2Data(1, One());
        const auto written = bench.Written();
        ASSERT_EQ(written.size(), 5u);
        EXPECT_EQ(written[2], Hex("10 40 01 41 16"));
        EXPECT_EQ(written[3], Hex("10 7B 01 7C 16"));
        EXPECT_EQ(written[4], Hex("10 5B 01 5C 16"));
    }
}

TEST(LinkServices, OneAlternationServesEveryFrameWithFcv) {
    MasterBench bench;
    ScriptedPeer peer(bench.line);
    bench.line.AttachPeer(&peer);
    peer.answers.push_back(Hex("10 0B 01 0C 16"));
    peer.answers.push_back(Hex("10 00 01 01 16"));
    const LinkConfig c = LinkConfig::FromWidths({1, 2, 1}, 0, 6);
    ASSERT_TRUE(bench.master.RequestLinkStatus(1, c));
    ASSERT_TRUE(bench.master.ResetRemoteLink(1, c));
    bench.master.SendAsduCommand(1, kTypeInterrogation, 0, c);  // FCB 1
    bench.master.RequestClass2Data(1, c);                       // 0
    bench.master.RequestClass2Data(1, c);                       // 1
    bench.master.SendAsduCommand(1, kTypeInterrogation, 0, c);  // 0
    bench.master.SendAsduCommand(1, kTypeInterrogation, 0, c);  // 1: no reset in between
    bench.master.SendAsduCommand(1, kTypeRead, 0x10, c);        // 0
    bench.master.RequestClass2Data(1, c, 0);                    // not a new request: 5B
    bench.master.RequestClass2Data(1, c);                       // 1
    bench.master.SendClockSync(1, c, true);                     // 0
    bench.master.WriteFrame(bench.master.BuildDelayActivation(1, c, 1234));  // 1
    bench.master.WriteFrame(bench.master.BuildDelayTransfer(1, c, 12));      // 0
    bench.master.RequestClass2Data(1, c);                                    // 1
    EXPECT_EQ(Controls(bench), Hex("49 40 73 5B 7B 53 73 5B 5B 7B 53 73 53 7B"));
}

TEST(LinkServices, FramesAreWrittenOnlyWithAPort) {
    Iec101Results results;
    Iec101Master master(results);
    EXPECT_FALSE(master.RequestLinkStatus(1, One()));
    EXPECT_FALSE(master.ResetRemoteLink(1, One()));
    std::vector<uint8_t> answer;
    EXPECT_EQ(master.ReceiveFrame(answer, One()), kReceiveNothing);
}

TEST(LinkServices, MessagesForBadResults) {
    EXPECT_EQ(Iec101ResultMessage(44), "Неизвестный идентификатор типа");
    EXPECT_EQ(Iec101ResultMessage(45), "Неизвестная причина передачи");
    EXPECT_EQ(Iec101ResultMessage(47), "Неизвестный адрес объекта информации");
    for (int code : {1, 2, 3, 4, 5, 6, 7, 46, 0xFF}) {
        EXPECT_EQ(Iec101ResultMessage(static_cast<uint8_t>(code)),
                  "Нет подтверждения активации/деактивации опроса")
            << code;
    }
}
