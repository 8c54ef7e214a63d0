// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <vector>

// What the operating system says about one terminal device, enough to tell a serial port from
// a virtual console or a pseudo-terminal.
struct TtyDevice {
    std::string name;             // the device's name in /dev ("ttyUSB0")
    bool hasDevice = false;       // a hardware (or bus) device stands behind it
    std::string driver;           // the driver's name, empty when unknown
    std::optional<int> portType;  // the serial core's port type; 0 means no UART found
};

// A port that a local program (the transducer simulator) publishes under a name of its own.
struct PublishedPort {
    std::string name;  // shown in the port list
    std::string path;  // what to open
};

// The terminal devices present and the published ports, as the program finds them at start.
class DeviceNames {
  public:
    virtual ~DeviceNames() = default;
    virtual std::vector<TtyDevice> TtyDevices() = 0;
    // Published ports whose target exists.
    virtual std::vector<PublishedPort> PublishedPorts() = 0;
};
