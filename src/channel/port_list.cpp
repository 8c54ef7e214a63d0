// SPDX-License-Identifier: MIT
#include "channel/port_list.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <utility>

#include "platform/settings_text.h"

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

bool IsSerialPort(const TtyDevice& device) {
    const std::string_view name = device.name;
    if (StartsWith(name, "ttyS")) {
        return device.hasDevice && device.portType.value_or(1) != 0;
    }
    static constexpr std::array<std::string_view, 7> kFamilies = {
        "ttyUSB", "ttyACM", "ttyAMA", "ttyXR", "ttyMXU", "ttySC", "rfcomm"};
    return std::any_of(kFamilies.begin(), kFamilies.end(),
                       [&](std::string_view family) { return StartsWith(name, family); });
}

std::optional<unsigned long> PortNumberOf(std::string_view name) {
    size_t begin = name.size();
    while (begin > 0 && name[begin - 1] >= '0' && name[begin - 1] <= '9') {
        --begin;
    }
    if (begin == name.size()) {
        return std::nullopt;
    }
    unsigned long number = 0;
    const auto [end, error] =
        std::from_chars(name.data() + begin, name.data() + name.size(), number);
    if (error != std::errc{} || end != name.data() + name.size()) {
        return std::nullopt;  // too many digits for a number: not a port number
    }
    return number;
}

void SortPortsByNumber(std::vector<std::string>& names) {
    const auto number = [](const std::string& name) { return PortNumberOf(name).value_or(0); };
    for (size_t pass = 0; pass + 1 < names.size(); ++pass) {
        for (size_t i = names.size() - 1; i > pass; --i) {
            if (number(names[i]) < number(names[i - 1])) {
                std::swap(names[i], names[i - 1]);
            }
        }
    }
}

PortListing EnumeratePorts(DeviceNames& devices) {
    PortListing listing;
    for (const TtyDevice& device : devices.TtyDevices()) {
        if (IsSerialPort(device)) {
            listing.names.push_back(device.name);
        }
    }
    SortPortsByNumber(listing.names);
    for (const std::string& name : listing.names) {
        listing.paths[name] = "/dev/" + name;
    }
    for (const PublishedPort& port : devices.PublishedPorts()) {
        if (port.name == kNoPortName || !listing.paths.emplace(port.name, port.path).second) {
            continue;
        }
        listing.names.push_back(port.name);
    }
    return listing;
}

std::string LoadPortName(SettingsStore& store) {
    const auto acceptable = [](const std::optional<std::string>& value) {
        return value && !value->empty() && Utf8Length(*value) <= kMaxPortNameLength;
    };
    std::optional<std::string> value = store.Read(kPortSettingKey);
    if (!acceptable(value)) {
        store.Write(kPortSettingKey, kDefaultPortName);
        value = store.Read(kPortSettingKey);
    }
    return acceptable(value) ? *value : std::string(kDefaultPortName);
}

void SavePortName(SettingsStore& store, const std::string& name) {
    store.Write(kPortSettingKey, name);
}

PortChoice FillPortList(const std::vector<std::string>& portList, const std::string& portName) {
    PortChoice choice;
    choice.items = portList;
    choice.items.emplace_back(kNoPortName);
    const bool found = std::find(portList.begin(), portList.end(), portName) != portList.end();
    choice.selected = found ? portName : std::string(kNoPortName);
    return choice;
}
