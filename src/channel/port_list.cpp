// SPDX-License-Identifier: MIT
#include "channel/port_list.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <iterator>
#include <string>
#include <utility>

#include "platform/settings_text.h"

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// A bubble sort from the end of the list towards its front that exchanges two neighbours only
// when the later one has the smaller number, so that equal numbers keep their order.
// exchanged(name) is called for each name an exchange has moved.
template <typename NumberOf, typename Exchanged>
void ExchangeSortByNumber(std::vector<std::string>& names, NumberOf number, Exchanged exchanged) {
    for (size_t pass = 0; pass + 1 < names.size(); ++pass) {
        for (size_t i = names.size() - 1; i > pass; --i) {
            if (number(names[i]) < number(names[i - 1])) {
                std::swap(names[i], names[i - 1]);
                exchanged(names[i]);
                exchanged(names[i - 1]);
            }
        }
    }
}

bool IsComDeviceName(std::string_view name) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    return Utf8Length(name) >= 4 && upper(name[0]) == 'C' && upper(name[1]) == 'O' &&
           upper(name[2]) == 'M';
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
    ExchangeSortByNumber(
        names, [](const std::string& name) { return PortNumberOf(name).value_or(0); },
        [](std::string&) {});
}

uint32_t ComPortNumber(std::string_view name) {
    size_t i = 0;
    while (i < name.size() && (name[i] == 'C' || name[i] == 'O' || name[i] == 'M')) {
        ++i;
    }
    uint64_t number = 0;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
        number = std::min<uint64_t>(number * 10 + static_cast<uint64_t>(name[i] - '0'), UINT32_MAX);
    }
    return static_cast<uint32_t>(number);
}

std::vector<std::string> ComPortNames(const std::vector<std::string>& dosNames) {
    std::vector<std::string> names;
    std::copy_if(dosNames.begin(), dosNames.end(), std::back_inserter(names),
                 [](const std::string& name) { return IsComDeviceName(name); });
    ExchangeSortByNumber(names, ComPortNumber, [](std::string& name) {
        name = "COM" + std::to_string(ComPortNumber(name));
    });
    return names;
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
    for (std::string& name : ComPortNames(devices.DosDeviceNames())) {
        if (listing.paths.emplace(name, name).second) {
            listing.names.push_back(std::move(name));
        }
    }
    for (const PublishedPort& port : devices.PublishedPorts()) {
        if (port.name == kNoPortName || !listing.paths.emplace(port.name, port.path).second) {
            continue;
        }
        listing.names.push_back(port.name);
    }
    return listing;
}

std::string LoadPortName(SettingsStore& store, const std::string& defaultName) {
    const auto acceptable = [](const std::optional<std::string>& value) {
        return value && !value->empty() && Utf8Length(*value) <= kMaxPortNameLength;
    };
    std::optional<std::string> value = store.Read(kPortSettingKey);
    if (!acceptable(value)) {
        store.Write(kPortSettingKey, defaultName);
        value = store.Read(kPortSettingKey);
    }
    return acceptable(value) ? *value : defaultName;
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

namespace {

DescribedPortList Described(const PortChoice& choice, const std::vector<std::string>& present,
                            DeviceNames& devices) {
    DescribedPortList list{choice.items, {}, choice.selected};
    for (const std::string& item : list.items) {
        if (item == kNoPortName) {
            list.tooltips.emplace_back();
        } else if (std::find(present.begin(), present.end(), item) == present.end()) {
            list.tooltips.emplace_back(kAbsentPortText);
        } else {
            list.tooltips.push_back(devices.DescribePort(item));
        }
    }
    return list;
}

}  // namespace

DescribedPortList DescribePortList(const std::vector<std::string>& portList,
                                   const std::string& portName, DeviceNames& devices) {
    return Described(FillPortList(portList, portName), portList, devices);
}

DescribedPortList RefreshedPortList(const std::vector<std::string>& portList,
                                    const std::string& chosen, DeviceNames& devices) {
    std::vector<std::string> listed = portList;
    if (!chosen.empty() && chosen != kNoPortName &&
        std::find(listed.begin(), listed.end(), chosen) == listed.end()) {
        listed.push_back(chosen);
    }
    return Described(FillPortList(listed, chosen), portList, devices);
}
