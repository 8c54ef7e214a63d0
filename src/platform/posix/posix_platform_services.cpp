// SPDX-License-Identifier: MIT
// The composition root of the POSIX (Linux) programs.
#include <memory>

#include "platform/platform_services.h"
#include "platform/posix/file_settings_store.h"
#include "platform/posix/posix_device_names.h"
#include "platform/posix/posix_serial_device.h"
#include "platform/posix/system_clock.h"
#include "platform/posix/user_dirs.h"

namespace {

// A tty device, the monotonic and realtime clocks, the standard library's files, the settings
// file after the XDG rules, and the devices from sysfs and the simulator's published folder.
class PosixPlatformServices : public PlatformServices {
  public:
    PosixPlatformServices() : settings_(UserSettingsPath()) {}

    SerialDevice& device() override { return device_; }
    Clock& clock() override { return clock_; }
    FileSystem& files() override { return files_; }
    SettingsStore& settings() override { return settings_; }
    DeviceNames& devices() override { return devices_; }

  private:
    PosixSerialDevice device_;
    SystemClock clock_;
    StdFileSystem files_;
    FileSettingsStore settings_;
    PosixDeviceNames devices_;
};

}  // namespace

std::unique_ptr<PlatformServices> MakePlatformServices() {
    return std::make_unique<PosixPlatformServices>();
}
