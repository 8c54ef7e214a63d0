// SPDX-License-Identifier: MIT
// Whatever the line brings is decoded for the line monitor and written to a capture: arbitrary
// bytes, recorded as any kind and direction with any field widths (the first byte chooses),
// must decode to a line and a capture packet without reading past the frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "channel/traffic_recorder.h"
#include "monitor/capture_file.h"
#include "monitor/frame_decoding.h"
#include "monitor/monitor_text.h"
#include "platform/virtual/virtual_clock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t choice = data[0];
    const std::span<const uint8_t> bytes(data + 1, size - 1);

    VirtualClock clock;
    TrafficRecorder recorder(clock);
    recorder.SetKind(static_cast<FrameKind>(choice % 5));
    recorder.SetWidths(FrameWidths{static_cast<uint8_t>(1 + (choice >> 3 & 1)),
                                   static_cast<uint8_t>(1 + (choice >> 4 & 1)),
                                   static_cast<uint8_t>(1 + (choice >> 5 & 1)),
                                   static_cast<uint8_t>(1 + (choice >> 6 & 3) % 3)});
    if (choice & 0x80) {
        recorder.RecordRead(bytes);
        recorder.EndAnswer(static_cast<uint8_t>(bytes.empty() ? 0 : bytes[0]));
    } else {
        recorder.RecordWrite(bytes);
    }
    if (recorder.CompleteEnd() == 0) {
        return 0;  // nothing recorded for no bytes
    }
    const TrafficFrame frame = recorder.Frame(0);
    const FrameRow row = MakeFrameRow(frame, recorder.LocalMsAtZero());
    if (row.decoded.empty() || row.hex.size() > 3 * 64 + 4) {
        std::abort();
    }
    const std::vector<uint8_t> capture = BuildCapture(recorder, 0, 1, "fuzz");
    if (capture.size() % 4 != 0 || capture.size() < bytes.size()) {
        std::abort();
    }
    return 0;
}
