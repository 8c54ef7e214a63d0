// SPDX-License-Identifier: MIT
#include "channel/serial_channel.h"

#include "channel/line_mode.h"
#include "channel/port_list.h"

#include <utility>

SerialChannel::SerialChannel(SerialDevice& device, Clock& clock)
    : device_(device), clock_(clock), traffic_(clock) {}

SerialChannel::~SerialChannel() {
    ClosePort();
}

bool SerialChannel::OpenPort(const std::string& name) {
    const auto found = portPaths_.find(name);
    return device_.Open(found != portPaths_.end() ? found->second : name);
}

void SerialChannel::LoadPortSettings(SettingsStore& store, DeviceNames& devices) {
    portName = LoadPortName(store, devices.DefaultPortName());
    PortListing listing = EnumeratePorts(devices);
    portList = std::move(listing.names);
    portPaths_ = std::move(listing.paths);
}

DescribedPortList SerialChannel::RefreshPortList(DeviceNames& devices) {
    PortListing listing = EnumeratePorts(devices);
    portList = std::move(listing.names);
    for (auto& [name, path] : listing.paths) {
        portPaths_.insert_or_assign(name, std::move(path));
    }
    return RefreshedPortList(portList, portName, devices);
}

void SerialChannel::SavePortSetting(SettingsStore& store) {
    SavePortName(store, portName);
}

void SerialChannel::ClosePort() {
    device_.Close();
}

bool SerialChannel::ApplyMode(const std::string& modeString) {
    if (!device_.GetLine(lineSettings_)) {
        return false;
    }
    lineSettings_ = ParseModeString(modeString, lineSettings_);
    const bool set = device_.SetLine(lineSettings_);
    if (set) {
        traffic_.SetLine(lineSettings_);
    }
    return set;
}

bool SerialChannel::ApplyLinkSettingsByte(uint8_t linkSettingsByte) {
    return ApplyMode(ModeStringFromLinkSettingsByte(linkSettingsByte));
}

size_t SerialChannel::ReadAvailable(uint8_t* buffer, size_t capacity) {
    const size_t queued = device_.QueuedCount();
    if (queued == 0 || capacity == 0) {
        return 0;
    }
    const size_t count = device_.Read(buffer, queued < capacity ? queued : capacity);
    traffic_.RecordRead(std::span<const uint8_t>(buffer, count));
    return count;
}

bool SerialChannel::WriteBytes(const uint8_t* data, size_t count) {
    traffic_.RecordWrite(std::span<const uint8_t>(data, count));
    return device_.Write(data, count);
}
