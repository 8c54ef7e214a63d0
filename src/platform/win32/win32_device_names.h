// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

#include "platform/device_names.h"

// The devices of Windows: the MS-DOS device names (QueryDosDeviceW), where the COM ports are
// found, and what a port is (SetupAPI's Ports class). There are no terminal devices and no
// published ports; the first port is COM1.
class Win32DeviceNames : public DeviceNames {
  public:
    // The names are read into a buffer of this many wide characters.
    static constexpr unsigned long kBufferChars = 65535;

    std::vector<TtyDevice> TtyDevices() override { return {}; }
    std::vector<PublishedPort> PublishedPorts() override { return {}; }
    // None when the query fails (or its names do not fit the buffer).
    std::vector<std::string> DosDeviceNames() override;
    std::string DefaultPortName() override { return "COM1"; }
    // The friendly name ("USB-SERIAL CH340 (COM5)"), the maker and the instance id of the
    // present device of the Ports class whose "PortName" is the name; empty when none is.
    std::string DescribePort(const std::string& name) override;
};
