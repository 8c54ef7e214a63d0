// SPDX-License-Identifier: MIT
#include "catalogue/exchange_mode.h"

#include <array>

namespace {

constexpr std::array<ExchangeModeEntry, 6> kModes = {{
    {ExchangeMode::kModbusRtu, "Modbus RTU", true},
    {ExchangeMode::kIec101, "IEC 60870-5-101", false},
    {ExchangeMode::kIec101Prepared, "IEC 60870-5-101, no exchange per tick", false},
    {ExchangeMode::kModbusAsciiClock, "Modbus ASCII", true},
    {ExchangeMode::kReceiveOnly, "sends its values unasked", true},
    {ExchangeMode::kModbusAscii, "Modbus ASCII", true},
}};

}  // namespace

std::span<const ExchangeModeEntry> ExchangeModeTable() {
    return kModes;
}

const ExchangeModeEntry* FindExchangeMode(ExchangeMode mode) {
    for (const ExchangeModeEntry& entry : kModes) {
        if (entry.mode == mode) {
            return &entry;
        }
    }
    return nullptr;
}

std::string_view ExchangeModeName(ExchangeMode mode) {
    const ExchangeModeEntry* entry = FindExchangeMode(mode);
    return entry != nullptr ? entry->name : "no exchange";
}
