// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device_names.h"
#include "platform/settings_store.h"

// The ports a user can choose from and the choice remembered between runs, shared by both
// programs: the serial devices the system has (tty devices, or the COM devices among the
// MS-DOS device names), the ports the simulator publishes, and "НЕТ". The name taken before
// anything is remembered is the system's (DeviceNames::DefaultPortName).

// The list entry for no port.
inline constexpr const char* kNoPortName = "НЕТ";
// The settings key of the remembered port.
inline constexpr const char* kPortSettingKey = "COM port";
// A remembered name longer than this many characters is not taken.
inline constexpr size_t kMaxPortNameLength = 31;

// Whether the terminal device is a serial port a transducer can hang on: USB adapters
// (ttyUSB, ttyACM), on-chip and add-on UARTs (ttyAMA, ttyS, ttyXR...), Bluetooth (rfcomm).
// A ttyS device counts only when a UART stands behind it, since the kernel creates
// placeholder ttyS entries for ports that do not exist.
bool IsSerialPort(const TtyDevice& device);

// The number a port name ends with ("ttyUSB10" gives 10), nothing when it ends otherwise.
std::optional<unsigned long> PortNumberOf(std::string_view name);

// Sorts by number, ascending, keeping the order of names with equal numbers (and names with
// no number, which count as 0): the neighbour exchange from the end of the list to its front.
void SortPortsByNumber(std::vector<std::string>& names);

// The number of a COM device name: the decimal integer after the leading run of the letters
// 'C', 'O' and 'M' (upper case only), read as far as its digits go; 0 when no digit follows
// ("COMx", "com3"). Numbers too large for 32 bits count as the largest one.
uint32_t ComPortNumber(std::string_view name);

// The COM ports among the MS-DOS device names: every name of at least four characters whose
// first three are "COM" in any case, in the system's order, then sorted by ComPortNumber with
// the neighbour exchange of SortPortsByNumber; a name that an exchange moves is spelled again
// as "COM" and its number ("com3" moved becomes "COM0", "COM007" becomes "COM7").
std::vector<std::string> ComPortNames(const std::vector<std::string>& dosNames);

// What was found at start: the names in list order, and for every name the path to open.
struct PortListing {
    std::vector<std::string> names;
    std::map<std::string, std::string> paths;
};

// The serial ports, sorted by number: the tty devices (opened under /dev) and the COM ports (a
// COM name is its own path), then the published ports in their own order (a published name
// that a device already has is left out).
PortListing EnumeratePorts(DeviceNames& devices);

// The remembered name: defaultName when nothing acceptable is stored, in which case defaultName
// is stored (when the store takes it).
std::string LoadPortName(SettingsStore& store, const std::string& defaultName);
// Stores the name; failures are ignored, as they cannot be helped while polling.
void SavePortName(SettingsStore& store, const std::string& name);

// The port list of the window: the found names and "НЕТ", and the entry to select (the
// remembered name when it was found, otherwise "НЕТ"). The list control sorts its items.
struct PortChoice {
    std::vector<std::string> items;
    std::string selected;
};
PortChoice FillPortList(const std::vector<std::string>& portList, const std::string& portName);

// The tooltip of a chosen port that is no longer present.
inline constexpr const char* kAbsentPortText = "Порт отсутствует в системе";

// The port list as the window shows it, with what each entry is: the items (bare port names,
// which the list control sorts and the settings store), their tooltips (same order; empty for
// "НЕТ" and where the system says nothing) and the entry to select.
struct DescribedPortList {
    std::vector<std::string> items;
    std::vector<std::string> tooltips;
    std::string selected;
};

// The list filled at start (FillPortList), each port described by the system.
DescribedPortList DescribePortList(const std::vector<std::string>& portList,
                                   const std::string& portName, DeviceNames& devices);
// The list read again: the ports found now and "НЕТ"; the chosen port stays selected, and when
// it is gone it stays listed, marked absent.
DescribedPortList RefreshedPortList(const std::vector<std::string>& portList,
                                    const std::string& chosen, DeviceNames& devices);
