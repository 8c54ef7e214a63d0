// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>

// The two-byte access values that a transducer checks before it answers the configuration
// request (function 100) and the RTC test request (function 118). Both the programs and the
// simulated transducer take them from here.
inline constexpr std::array<uint8_t, 2> kConfigAccessValue = {0x4B, 0x31};
inline constexpr std::array<uint8_t, 2> kRtcTestAccessValue = {0x52, 0x54};

// The standard Modbus functions the programs use: polling and setting the clock.
inline constexpr uint8_t kFunctionReadInputRegisters = 4;
inline constexpr uint8_t kFunctionWriteRegisters = 16;

// Modbus function codes of the transducer's own services.
inline constexpr uint8_t kFunctionReadConfiguration = 100;
inline constexpr uint8_t kFunctionEndConfiguration = 127;
inline constexpr uint8_t kFunctionRtcTest = 118;

// The line on which a woken transducer listens during its configuration phase.
inline constexpr uint8_t kConfigurationLinkSettingsByte = 0xC7;  // 19200, even parity, 8, 1
