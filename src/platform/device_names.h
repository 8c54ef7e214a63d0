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

// The devices present, as the program finds them at start: terminal devices and published
// ports where the system has them, the MS-DOS device names where it has those.
class DeviceNames {
  public:
    virtual ~DeviceNames() = default;
    virtual std::vector<TtyDevice> TtyDevices() = 0;
    // Published ports whose target exists.
    virtual std::vector<PublishedPort> PublishedPorts() = 0;
    // Every MS-DOS device name the system has ("COM1", "LPT1", "NUL", ...), in the system's
    // order; none on a system without them.
    virtual std::vector<std::string> DosDeviceNames() { return {}; }
    // What the port is, for the user: the adapter's product, maker and serial number, the
    // system's own name for it; several lines at most, empty when nothing is known.
    virtual std::string DescribePort(const std::string& /*name*/) { return {}; }
    // The port taken before the user has chosen one: the first serial port such a machine has.
    virtual std::string DefaultPortName() = 0;
};
