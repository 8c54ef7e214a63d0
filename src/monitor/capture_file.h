// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "channel/traffic_recorder.h"
#include "platform/file_sink.h"

// The recorded frames as a pcapng capture that Wireshark and tshark read: one packet per frame
// with its time stamp (microseconds), its direction (the packet's inbound/outbound flag) and a
// comment holding the line settings and the frame's decoded line. Each kind of frame has an
// interface of its own, so that every packet is handed to the right dissector:
//   0 "modbus-rtu"  link type USER0 (147), Modbus RTU as it is on the line;
//   1 "iec-101"     link type RTAC_SERIAL (250): a 12-byte serial header (time, TX or RX event,
//                   control lines) before the FT1.2 frame;
//   2 "serial"      link type USER1 (148): wake-up bytes, Modbus ASCII and bytes read only to
//                   empty the line, as they are.
// tshark decodes it with
//   tshark -r FILE -o 'uat:user_dlts:"User 0 (DLT=147)","mbrtu","0","","0",""'
//          -o 'uat:user_dlts:"User 1 (DLT=148)","data","0","","0",""'
//          -o mbrtu.crc_verification:TRUE -d rtacser.data,iec60870_101
//          -o 'iec60870_101.linkaddr_len:1 octet' ...
// (the IEC-101 field widths as CaptureCommandLine gives them).
namespace capture {
inline constexpr uint16_t kLinkTypeModbusRtu = 147;
inline constexpr uint16_t kLinkTypeSerial = 148;
inline constexpr uint16_t kLinkTypeRtacSerial = 250;
inline constexpr uint32_t kInterfaceModbusRtu = 0;
inline constexpr uint32_t kInterfaceIec101 = 1;
inline constexpr uint32_t kInterfaceSerial = 2;
}  // namespace capture

// The capture of the frames from first up to end (sequences of the recorder), complete ones
// only. application names the program in the section header.
std::vector<uint8_t> BuildCapture(const TrafficRecorder& recorder, uint64_t first, uint64_t end,
                                  const std::string& application);
// Writes the capture of every complete stored frame to a new file; false when it cannot be
// created or written.
bool SaveCapture(FileSystem& files, const std::string& path, const TrafficRecorder& recorder,
                 const std::string& application);

// The interface a frame goes to.
uint32_t CaptureInterface(FrameKind kind);
// The tshark command line (for a POSIX shell) that decodes a capture made with these IEC-101
// field widths.
std::string CaptureCommandLine(const std::string& file, const FrameWidths& widths);
