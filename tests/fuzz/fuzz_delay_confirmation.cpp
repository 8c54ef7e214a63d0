// SPDX-License-Identifier: MIT
// The delay measurement's frames over arbitrary bytes and field widths: the acknowledgement and
// the confirmation are judged without reading outside the bytes; a returned time is a
// millisecond of the minute, 1 to 59999, found only in a frame of the confirmation's length
// with its start, checksum and end; the one-way delay is below half a minute.
//
// Input: byte 0 the widths (bits 0-1 address, 2-3 IOA, 4-5 cause, raw 0 to 3), bytes 1-2 an
// arrival time, the rest the frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "iec101/delay_confirmation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    LinkConfig lc;
    lc.addressWidth = data[0] & 0x03;
    lc.ioaWidth = (data[0] >> 2) & 0x03;
    lc.causeWidth = (data[0] >> 4) & 0x03;
    const uint32_t arrival = (data[1] | uint32_t{data[2]} << 8) % 60000;
    const std::span<const uint8_t> frame(data + 3, size - 3);

    if (IsDelayAcknowledgement(frame, lc) &&
        (frame.size() != DelayAcknowledgementLength(lc) || frame[0] != kFixedStart)) {
        std::abort();
    }
    if (const std::optional<uint16_t> returned = ReturnedDelayTime(frame, lc)) {
        const size_t n = frame.size();
        if (*returned == 0 || *returned >= 60000 || n != DelayConfirmationLength(lc) ||
            frame[0] != kVariableStart || frame[n - 1] != kFrameEnd ||
            FrameChecksum(frame.subspan(4, n - 6)) != frame[n - 2]) {
            std::abort();
        }
        if (OneWayDelayMs(arrival, *returned) >= 30000) {
            std::abort();
        }
    }
    return 0;
}
