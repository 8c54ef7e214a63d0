// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

#include "platform/device_names.h"

// The terminal devices from sysfs (/sys/class/tty), the ports published in the simulator's
// folder, and what a port is (its USB device in sysfs, its /dev/serial/by-id link). Every place
// can be given, for tests on a made-up tree.
class PosixDeviceNames : public DeviceNames {
  public:
    PosixDeviceNames();
    PosixDeviceNames(std::string sysClassTty, std::string publishedDirectory,
                     std::string serialById = "/dev/serial/by-id");

    // Every entry of the tty class, sorted by name.
    std::vector<TtyDevice> TtyDevices() override;
    // Every entry of the published folder that leads to an existing file: a symbolic link to
    // the port, or a small file whose first line is the port's absolute path. Sorted by name;
    // hidden entries (a leading ".") are skipped, and so is everything when the folder is not
    // private to this user.
    std::vector<PublishedPort> PublishedPorts() override;
    std::string DefaultPortName() override { return "ttyS0"; }
    // For a tty on a USB adapter, the USB device's product, maker, serial number and ids (from
    // the first folder above the tty's device that has idVendor), each on its own line where
    // the device has it; then the by-id link that points at the tty. Empty for anything else.
    std::string DescribePort(const std::string& name) override;

  private:
    std::string sysClassTty_;
    std::string publishedDirectory_;
    std::string serialById_;
};
