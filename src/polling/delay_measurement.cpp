// Measuring the one-way transfer delay of the line to an IEC-101 transducer (delay acquisition,
// type 106) and passing it to the transducer.

#include <algorithm>
#include <array>

#include "catalogue/number_text.h"
#include "polling/polling_controller.h"

namespace {

constexpr size_t kAssemblyBufferSize = 32;
constexpr uint32_t kConfirmationWaitMs = 500;

// Milliseconds within the minute on the local clock, 0 to 59999.
uint32_t MsOfMinute(Clock& clock) {
    const SystemTime t = clock.LocalTime();
    return t.second * 1000u + t.milliseconds;
}

}  // namespace

void PollingController::OnMeasureDelay() {
    if (DeferDuringTick([this] { OnMeasureDelay(); })) {
        return;
    }
    delayText_ = "0, ms";
    auto showResult = [this] { view_.SetText(ViewText::kDelayResult, delayText_); };
    if (config_.ExchangeMode != ExchangeMode::kIec101) {
        showResult();
        return;
    }
    view_.KillTimer();
    timerArmed_ = false;
    clock_.Sleep(pollPeriod_);
    if (!channel_.IsOpen()) {
        Notify(PortMessage(), kErrorCaption, MessageIcon::kNone);
        return;  // the poll timer stays stopped
    }
    std::vector<uint8_t> scratch;
    channel_.ReceiveAsciiAnswer(scratch);

    const LinkConfig lc = IecLinkConfig(SelectedGroup());
    const uint16_t address = config_.linkAddress;
    iec_.SetPort(channel_);
    if (!iec_.RequestLinkStatus(address, lc)) {
        Notify("Ошибка инициализации канала", kErrorCaption, MessageIcon::kNone);
        showResult();
        return;
    }
    if (!iec_.ResetRemoteLink(address, lc)) {
        Notify("Сбой при определении задержки передачи", kErrorCaption, MessageIcon::kNone);
        showResult();
        return;
    }
    const uint16_t delay = AcquireTransferDelay(address, lc);
    if (delay != 0) {
        delayText_ = FormatInteger(delay) + " ms";
        SendTransferDelay(address, lc, delay);
        OnStart();
        showResult();
        return;
    }
    iec_.RequestClass2Data(address, lc);
    clock_.Sleep(350);
    scratch.clear();
    const uint8_t r = iec_.ReceiveFrame(scratch, lc);
    OnStop();
    Notify(Iec101ResultMessage(r), kErrorCaption, MessageIcon::kNone);
    OnStart();
    showResult();
}

uint16_t PollingController::AcquireTransferDelay(uint16_t linkAddress, const LinkConfig& lc) {
    iec_.SetPort(channel_);
    const auto sendTime = static_cast<uint16_t>(MsOfMinute(clock_));
    iec_.WriteFrame(iec_.BuildDelayActivation(linkAddress, lc, sendTime));
    clock_.Sleep(350);

    // The activation must be acknowledged with a fixed frame 10 00 A CS 16. Anything queued
    // beyond such a frame makes it something else, so at most one byte more is read.
    const size_t ackLength = AddressBytes(lc.addressWidth) == 1 ? 5 : 6;
    std::vector<uint8_t> ack(ackLength + 1);
    ack.resize(channel_.ReadAvailable(ack.data(), ack.size()));
    if (ack.size() != ackLength || ack[0] != 0x10 || ack[1] != 0x00) {
        return 0;
    }
    iec_.RequestClass2Data(linkAddress, lc);
    channel_.WaitTransmitEmpty(150);

    const size_t expected = 11 + 2 * size_t{AddressBytes(lc.addressWidth)} +
                            CauseBytes(lc.causeWidth) + IoaBytes(lc.ioaWidth);
    // The assembly buffer holds 32 bytes; a confirmation that does not fit is wrong anyway.
    std::array<uint8_t, kAssemblyBufferSize> assembly{};
    size_t collected = 0;
    bool overrun = false;
    std::optional<uint32_t> arrival;
    const uint32_t t0 = MsOfMinute(clock_);
    for (;;) {
        if (collected < assembly.size()) {
            collected +=
                channel_.ReadAvailable(assembly.data() + collected, assembly.size() - collected);
        } else {
            uint8_t extra = 0;
            overrun |= channel_.ReadAvailable(&extra, 1) != 0;
        }
        clock_.Yield();
        const uint32_t reading = MsOfMinute(clock_);
        const uint32_t now = reading < t0 ? reading + 60000 : reading;
        const bool timedOut = now - t0 > kConfirmationWaitMs;
        if (collected > 0 && !arrival) {
            arrival = reading;
        }
        clock_.Yield();
        if (collected == expected || collected > expected || overrun || timedOut) {
            break;
        }
    }
    if (collected != expected || overrun || assembly[0] != 0x68 || !arrival) {
        return 0;
    }
    uint32_t sum = 0;
    for (size_t i = 4; i + 2 < expected; ++i) {
        sum += assembly[i];
    }
    if ((sum & 0xFF) != assembly[expected - 2] || assembly[expected - 1] != 0x16) {
        return 0;
    }
    const size_t at = 7 + 2 * size_t{AddressBytes(lc.addressWidth)} + CauseBytes(lc.causeWidth) +
                      IoaBytes(lc.ioaWidth);
    const uint32_t returned = assembly[at] | uint32_t{assembly[at + 1]} << 8;
    // 0 is no time; 60000 and above is no millisecond of a minute, and the difference to the
    // arrival would make a meaningless delay.
    if (returned == 0 || returned >= 60000) {
        return 0;
    }
    const uint32_t a = *arrival < returned ? *arrival + 60000 : *arrival;
    return static_cast<uint16_t>((a - returned) / 2);
}

void PollingController::SendTransferDelay(uint16_t linkAddress, const LinkConfig& lc,
                                          uint16_t delayMs) {
    iec_.WriteFrame(iec_.BuildDelayTransfer(linkAddress, lc, delayMs));
    channel_.WaitTransmitEmpty(150);
    clock_.Sleep(350);
    std::array<uint8_t, 256> drop{};
    while (channel_.ReadAvailable(drop.data(), drop.size()) != 0) {
    }
}
