// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/device_names.h"
#include "platform/settings_store.h"

// The devices a machine has, as a test makes them up: a Linux machine's (tty devices,
// published ports) or a Windows machine's (MS-DOS device names, "COM1" by default).
class StandInDevices : public DeviceNames {
  public:
    std::vector<TtyDevice> ttys;
    std::vector<PublishedPort> published;
    std::vector<std::string> dosNames;
    std::string defaultPort = "ttyS0";
    std::map<std::string, std::string> descriptions;  // what DescribePort says of a name

    std::vector<TtyDevice> TtyDevices() override { return ttys; }
    std::vector<PublishedPort> PublishedPorts() override { return published; }
    std::vector<std::string> DosDeviceNames() override { return dosNames; }
    std::string DefaultPortName() override { return defaultPort; }
    std::string DescribePort(const std::string& name) override {
        const auto found = descriptions.find(name);
        return found == descriptions.end() ? std::string() : found->second;
    }

    // A Windows machine with these MS-DOS device names.
    static StandInDevices Windows(std::vector<std::string> names) {
        StandInDevices devices;
        devices.dosNames = std::move(names);
        devices.defaultPort = "COM1";
        return devices;
    }

    static TtyDevice Uart(const std::string& name, int portType = 4) {
        return {name, true, "serial8250", portType};
    }
    static TtyDevice Usb(const std::string& name) { return {name, true, "ftdi_sio", std::nullopt}; }
};

// Remembered settings in memory; a store can refuse every write.
class MemorySettingsStore : public SettingsStore {
  public:
    std::map<std::string, std::string> values;
    bool writable = true;
    int writes = 0;

    std::optional<std::string> Read(const std::string& key) override {
        const auto found = values.find(key);
        if (found == values.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    bool Write(const std::string& key, const std::string& value) override {
        ++writes;
        if (!writable) {
            return false;
        }
        values[key] = value;
        return true;
    }
};
