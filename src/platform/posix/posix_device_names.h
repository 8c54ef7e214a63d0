// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

#include "platform/device_names.h"

// The terminal devices from sysfs (/sys/class/tty) and the ports published in the simulator's
// folder. Both places can be given, for tests on a made-up tree.
class PosixDeviceNames : public DeviceNames {
  public:
    PosixDeviceNames();
    PosixDeviceNames(std::string sysClassTty, std::string publishedDirectory);

    // Every entry of the tty class, sorted by name.
    std::vector<TtyDevice> TtyDevices() override;
    // Every entry of the published folder that leads to an existing file: a symbolic link to
    // the port, or a small file whose first line is the port's absolute path. Sorted by name;
    // hidden entries (a leading ".") are skipped, and so is everything when the folder is not
    // private to this user.
    std::vector<PublishedPort> PublishedPorts() override;
    std::string DefaultPortName() override { return "ttyS0"; }

  private:
    std::string sysClassTty_;
    std::string publishedDirectory_;
};
