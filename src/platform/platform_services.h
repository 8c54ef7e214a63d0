// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include "platform/clock.h"
#include "platform/device_names.h"
#include "platform/file_sink.h"
#include "platform/serial_device.h"
#include "platform/settings_store.h"

// The system's own objects a program runs on: the serial port, the clock, the files, the
// settings both programs share and the devices present. Each system the programs are built
// for implements it once (platform/posix, platform/win32); the build picks the implementation,
// so that a program names none of a system's classes. It lives as long as the program runs,
// and anything a system needs set up while the program runs belongs to it as well.
class PlatformServices {
  public:
    virtual ~PlatformServices() = default;

    virtual SerialDevice& device() = 0;
    virtual Clock& clock() = 0;
    virtual FileSystem& files() = 0;
    virtual SettingsStore& settings() = 0;
    virtual DeviceNames& devices() = 0;
};

// The real objects of the system this program was built for.
std::unique_ptr<PlatformServices> MakePlatformServices();
