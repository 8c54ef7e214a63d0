// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_names.h"
#include "platform/settings_store.h"

// The devices a machine has, as a test makes them up.
class StandInDevices : public DeviceNames {
  public:
    std::vector<TtyDevice> ttys;
    std::vector<PublishedPort> published;

    std::vector<TtyDevice> TtyDevices() override { return ttys; }
    std::vector<PublishedPort> PublishedPorts() override { return published; }

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
