// SPDX-License-Identifier: MIT
// Measuring the one-way transfer delay of the line to an IEC-101 transducer (delay acquisition,
// type 106) and passing it to the transducer.

#include "catalogue/number_text.h"
#include "polling/polling_controller.h"
#include "polling/transfer_delay.h"

void PollingController::OnMeasureDelay() {
    if (guard_.DeferDuringTick([this] { OnMeasureDelay(); })) {
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
    channel_.Traffic().SetPhase(TrafficPhase::kDelayMeasurement);
    clock_.Sleep(pollPeriod_);
    if (!channel_.IsOpen()) {
        Notify(PortMessage(), kErrorCaption, MessageIcon::kNone);
        return;  // the poll timer stays stopped
    }
    channel_.DiscardAnswer();

    const LinkConfig lc = LinkConfigOf(config_, SelectedGroup());
    const uint16_t address = config_.linkAddress;
    iec_.Master().SetPort(channel_);
    if (!iec_.Master().RequestLinkStatus(address, lc)) {
        Notify("Ошибка инициализации канала", kErrorCaption, MessageIcon::kNone);
        showResult();
        return;
    }
    if (!iec_.Master().ResetRemoteLink(address, lc)) {
        Notify("Сбой при определении задержки передачи", kErrorCaption, MessageIcon::kNone);
        showResult();
        return;
    }
    TransferDelayExchange exchange(channel_, clock_, iec_.Master());
    const uint16_t delay = exchange.Acquire(address, lc);
    if (delay != 0) {
        delayText_ = FormatInteger(delay) + " ms";
        exchange.Transfer(address, lc, delay);
        OnStart();
        showResult();
        return;
    }
    iec_.Master().RequestClass2Data(address, lc);
    clock_.Sleep(350);
    std::vector<uint8_t> scratch;
    const uint8_t r = iec_.Master().ReceiveFrame(scratch, lc);
    OnStop();
    Notify(Iec101ResultMessage(r), kErrorCaption, MessageIcon::kNone);
    OnStart();
    showResult();
}
