// SPDX-License-Identifier: MIT
// The composition root of the Windows programs.
#include <memory>

#include "platform/platform_services.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_device_names.h"
#include "platform/win32/win32_serial_device.h"

namespace {

// A COM port, the system clock, the standard library's files (wide names), the settings under
// HKEY_CURRENT_USER\Software\Corvanta and the MS-DOS device names.
class Win32PlatformServices : public PlatformServices {
  public:
    SerialDevice& device() override { return device_; }
    Clock& clock() override { return clock_; }
    FileSystem& files() override { return files_; }
    SettingsStore& settings() override { return settings_; }
    DeviceNames& devices() override { return devices_; }

  private:
    Win32SerialDevice device_;
    Win32Clock clock_;
    StdFileSystem files_;
    RegistrySettingsStore settings_{RegistrySettingsStore::kProgramsKey};
    Win32DeviceNames devices_;
};

}  // namespace

std::unique_ptr<PlatformServices> MakePlatformServices() {
    return std::make_unique<Win32PlatformServices>();
}
