// SPDX-License-Identifier: MIT
#include "channel/port_list.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "channel/serial_channel.h"
#include "platform/virtual/virtual_clock.h"
#include "platform/virtual/virtual_line.h"
#include "support/stand_in_platform.h"

namespace {

using Store = MemorySettingsStore;

TtyDevice Uart(const std::string& name, int portType = 4) {
    return StandInDevices::Uart(name, portType);
}
TtyDevice Usb(const std::string& name) {
    return StandInDevices::Usb(name);
}

TEST(PortList, KeepsSerialPortsOnly) {
    EXPECT_TRUE(IsSerialPort(Usb("ttyUSB0")));
    EXPECT_TRUE(IsSerialPort(Usb("ttyACM3")));
    EXPECT_TRUE(IsSerialPort(Usb("ttyAMA0")));
    EXPECT_TRUE(IsSerialPort(Usb("rfcomm1")));
    EXPECT_TRUE(IsSerialPort(Uart("ttyS0")));
    // The kernel's placeholders for UARTs that are not there, and consoles.
    EXPECT_FALSE(IsSerialPort(Uart("ttyS4", 0)));
    EXPECT_FALSE(IsSerialPort({"ttyS5", false, "", std::nullopt}));
    EXPECT_FALSE(IsSerialPort({"tty1", false, "", std::nullopt}));
    EXPECT_FALSE(IsSerialPort({"console", false, "", std::nullopt}));
    EXPECT_FALSE(IsSerialPort({"ptmx", false, "", std::nullopt}));
}

TEST(PortList, NumberIsTheTrailingDecimal) {
    EXPECT_EQ(PortNumberOf("ttyUSB10"), 10u);
    EXPECT_EQ(PortNumberOf("ttyS0"), 0u);
    EXPECT_EQ(PortNumberOf("rfcomm"), std::nullopt);
    EXPECT_EQ(PortNumberOf(""), std::nullopt);
    EXPECT_EQ(PortNumberOf("ttyUSB99999999999999999999999"), std::nullopt);
}

TEST(PortList, SortsByNumberKeepingEqualNumbersInOrder) {
    std::vector<std::string> names = {"ttyUSB10", "ttyUSB2", "ttyUSB1"};
    SortPortsByNumber(names);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyUSB1", "ttyUSB2", "ttyUSB10"}));

    // Equal numbers keep the system's order; a name without a number counts as 0.
    names = {"ttyUSB1", "ttyS1", "ttyACM0", "rfcomm", "ttyS0"};
    SortPortsByNumber(names);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyACM0", "rfcomm", "ttyS0", "ttyUSB1", "ttyS1"}));
}

TEST(PortList, ComNumberFollowsTheLeadingCapitalsOfCom) {
    struct Case {
        const char* name;
        uint32_t number;
    };
    const Case cases[] = {
        {"COM1", 1}, {"COM10", 10}, {"COM007", 7},  {"COM3x", 3}, {"COMx", 0},
        {"com3", 0}, {"cOm12", 0},  {"CCOOMM5", 5}, {"COM", 0},   {"COM99999999999", UINT32_MAX},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComPortNumber(c.name), c.number) << c.name;
    }
}

TEST(PortList, ComPortsAreFilteredAndSortedByNumber) {
    struct Case {
        std::vector<std::string> dosNames;
        std::vector<std::string> ports;
    };
    const Case cases[] = {
        {{"COM10", "COM2", "COM1"}, {"COM1", "COM2", "COM10"}},
        // Any case of "COM" and at least four characters; other devices are not ports. Names
        // that an exchange moves are spelled again from their number, and a name without
        // capital "COM" in front has none ("com4", "ComX" and "cOm12" count as 0).
        {{"LPT1", "COM", "CO", "NUL", "COM3", "com4", "ComX"}, {"COM0", "COM0", "COM3"}},
        {{"COM5", "cOm12", "COM007"}, {"COM0", "COM5", "COM007"}},
        {{"COM007", "COM5"}, {"COM5", "COM7"}},
        // Equal numbers keep the system's order, and names that stay put keep their spelling.
        {{"COM2", "COM02", "COM1"}, {"COM1", "COM2", "COM2"}},
        {{"COM1", "COM01", "COM2"}, {"COM1", "COM01", "COM2"}},
        {{"AUX", "PRN"}, {}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComPortNames(c.dosNames), c.ports) << ::testing::PrintToString(c.dosNames);
    }
}

TEST(PortList, WindowsPortsOpenUnderTheirOwnNames) {
    StandInDevices devices = StandInDevices::Windows({"COM10", "LPT1", "COM2", "COM1"});
    const PortListing listing = EnumeratePorts(devices);
    EXPECT_EQ(listing.names, (std::vector<std::string>{"COM1", "COM2", "COM10"}));
    EXPECT_EQ(listing.paths.at("COM10"), "COM10");
    // The list control sorts its items as text.
    EXPECT_EQ(FillPortList(listing.names, "COM2").items,
              (std::vector<std::string>{"COM1", "COM2", "COM10", "НЕТ"}));

    // First run: nothing stored, the system's first port is stored and chosen.
    Store store;
    VirtualClock clock;
    VirtualLine line(clock, "COM1");
    VirtualSerialDevice device(line);
    SerialChannel channel(device, clock);
    channel.LoadPortSettings(store, devices);
    EXPECT_EQ(channel.portName, "COM1");
    EXPECT_EQ(store.values.at(kPortSettingKey), "COM1");
    EXPECT_TRUE(channel.OpenPort("COM1"));
}

TEST(PortList, EnumeratesDevicesThenPublishedPorts) {
    StandInDevices devices;
    devices.ttys = {Usb("ttyUSB10"),
                    Uart("ttyS0"),
                    Uart("ttyS1", 0),
                    Usb("ttyUSB2"),
                    {"tty0", false, "", std::nullopt}};
    devices.published = {{"sim-b", "/dev/pts/7"},
                         {"ttyS0", "/dev/pts/8"},
                         {"НЕТ", "/dev/pts/9"},
                         {"sim-a", "/dev/pts/3"}};
    const PortListing listing = EnumeratePorts(devices);
    EXPECT_EQ(listing.names,
              (std::vector<std::string>{"ttyS0", "ttyUSB2", "ttyUSB10", "sim-b", "sim-a"}));
    EXPECT_EQ(listing.paths.at("ttyUSB2"), "/dev/ttyUSB2");
    // A published port cannot take the name of a device or of the no-port entry.
    EXPECT_EQ(listing.paths.at("ttyS0"), "/dev/ttyS0");
    EXPECT_EQ(listing.paths.at("sim-a"), "/dev/pts/3");
    EXPECT_EQ(listing.paths.count("НЕТ"), 0u);
}

TEST(PortList, RemembersTheChoiceAndFallsBackToTheDefault) {
    const std::string kDefault = "ttyS0";
    Store store;
    // First run: nothing stored, the default is stored and taken.
    EXPECT_EQ(LoadPortName(store, kDefault), kDefault);
    EXPECT_EQ(store.values.at(kPortSettingKey), kDefault);

    SavePortName(store, "ttyUSB1");
    EXPECT_EQ(LoadPortName(store, kDefault), "ttyUSB1");
    SavePortName(store, kNoPortName);
    EXPECT_EQ(LoadPortName(store, kDefault), kNoPortName);

    // 31 characters are taken (counted as characters, not bytes); more are replaced.
    const std::string cyrillic31 = [] {
        std::string s;
        for (int i = 0; i < 31; ++i)
            s += "Ж";
        return s;
    }();
    SavePortName(store, cyrillic31);
    EXPECT_EQ(LoadPortName(store, kDefault), cyrillic31);
    SavePortName(store, std::string(40, 'x'));
    EXPECT_EQ(LoadPortName(store, kDefault), kDefault);
    EXPECT_EQ(store.values.at(kPortSettingKey), kDefault);

    // A store that takes nothing: the default all the same, and no failure.
    Store readOnly;
    readOnly.writable = false;
    EXPECT_EQ(LoadPortName(readOnly, "COM1"), "COM1");
    SavePortName(readOnly, "ttyUSB0");
    EXPECT_EQ(readOnly.writes, 2);
}

TEST(PortList, FillSelectsTheRememberedPortOnlyWhenPresent) {
    const std::vector<std::string> ports = {"ttyS0", "ttyUSB0"};
    PortChoice choice = FillPortList(ports, "ttyUSB0");
    EXPECT_EQ(choice.items, (std::vector<std::string>{"ttyS0", "ttyUSB0", "НЕТ"}));
    EXPECT_EQ(choice.selected, "ttyUSB0");
    EXPECT_EQ(FillPortList(ports, "ttyUSB7").selected, "НЕТ");
    EXPECT_EQ(FillPortList(ports, "ttyusb0").selected, "НЕТ");  // exact names only

    choice = FillPortList({}, "ttyS0");
    EXPECT_EQ(choice.items, (std::vector<std::string>{"НЕТ"}));
    EXPECT_EQ(choice.selected, "НЕТ");
}

TEST(PortList, ChannelOpensTheFoundPathOfAListedName) {
    StandInDevices devices;
    devices.ttys = {Usb("ttyUSB0")};
    devices.published = {{"bench-sim", "/dev/pts/4"}};
    Store store;
    store.values[kPortSettingKey] = "bench-sim";

    VirtualClock clock;
    VirtualLine line(clock, "/dev/pts/4");
    VirtualSerialDevice device(line);
    SerialChannel channel(device, clock);
    channel.LoadPortSettings(store, devices);
    EXPECT_EQ(channel.portName, "bench-sim");
    EXPECT_EQ(channel.portList, (std::vector<std::string>{"ttyUSB0", "bench-sim"}));
    // The published name opens its path; an unlisted name goes to the device as it is.
    EXPECT_TRUE(channel.OpenPort("bench-sim"));
    channel.ClosePort();
    EXPECT_TRUE(channel.OpenPort("/dev/pts/4"));
    channel.ClosePort();
    EXPECT_FALSE(channel.OpenPort("ttyUSB0"));

    channel.portName = "ttyUSB0";
    channel.SavePortSetting(store);
    EXPECT_EQ(store.values.at(kPortSettingKey), "ttyUSB0");
}

}  // namespace

namespace {

// A Linux machine with these USB adapters, each described by its name.
StandInDevices WithAdapters(const std::vector<std::string>& names) {
    StandInDevices devices;
    for (const std::string& name : names) {
        devices.ttys.push_back(Usb(name));
        devices.descriptions[name] = "adapter " + name;
    }
    return devices;
}

TEST(PortList, StartListGivesEachPortWhatTheSystemSaysOfIt) {
    StandInDevices devices = WithAdapters({"ttyUSB0", "ttyUSB1"});
    devices.descriptions.erase("ttyUSB1");  // nothing known of it
    const DescribedPortList list = DescribePortList({"ttyUSB0", "ttyUSB1"}, "ttyUSB1", devices);
    EXPECT_EQ(list.items, (std::vector<std::string>{"ttyUSB0", "ttyUSB1", "НЕТ"}));
    EXPECT_EQ(list.tooltips, (std::vector<std::string>{"adapter ttyUSB0", "", ""}));
    EXPECT_EQ(list.selected, "ttyUSB1");
    // A remembered port that is not there is not offered at start.
    EXPECT_EQ(DescribePortList({"ttyUSB0"}, "ttyUSB5", devices).selected, "НЕТ");
}

TEST(PortList, ReReadKeepsTheChosenPortAndMarksOneThatVanished) {
    struct Case {
        const char* name;
        std::vector<std::string> before;  // adapters at start
        std::string chosen;
        std::vector<std::string> after;  // adapters when the list is opened
        std::vector<std::string> items;
        std::vector<std::string> tooltips;
    };
    const Case cases[] = {
        {"plugged in while running",
         {"ttyUSB0"},
         "ttyUSB0",
         {"ttyUSB0", "ttyUSB1"},
         {"ttyUSB0", "ttyUSB1", "НЕТ"},
         {"adapter ttyUSB0", "adapter ttyUSB1", ""}},
        {"the chosen one pulled out",
         {"ttyUSB0", "ttyUSB1"},
         "ttyUSB0",
         {"ttyUSB1"},
         {"ttyUSB1", "ttyUSB0", "НЕТ"},
         {"adapter ttyUSB1", "Порт отсутствует в системе", ""}},
        {"another one pulled out",
         {"ttyUSB0", "ttyUSB1"},
         "ttyUSB1",
         {"ttyUSB1"},
         {"ttyUSB1", "НЕТ"},
         {"adapter ttyUSB1", ""}},
        {"none chosen, all gone", {"ttyUSB0"}, "НЕТ", {}, {"НЕТ"}, {""}},
        {"the chosen one back after a restart without it",
         {},
         "НЕТ",
         {"ttyUSB3"},
         {"ttyUSB3", "НЕТ"},
         {"adapter ttyUSB3", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StandInDevices devices = WithAdapters(c.before);
        Store store;
        store.values[kPortSettingKey] = c.chosen;
        VirtualClock clock;
        VirtualLine line(clock, "/dev/" + c.chosen);
        VirtualSerialDevice device(line);
        SerialChannel channel(device, clock);
        channel.LoadPortSettings(store, devices);
        channel.portName = c.chosen;
        const int writes = store.writes;

        devices = WithAdapters(c.after);
        const DescribedPortList list = channel.RefreshPortList(devices);
        EXPECT_EQ(list.items, c.items);
        EXPECT_EQ(list.tooltips, c.tooltips);
        EXPECT_EQ(list.selected, c.chosen);
        EXPECT_EQ(channel.portName, c.chosen);
        EXPECT_EQ(channel.portList, c.after);
        // Nothing is remembered by a re-read.
        EXPECT_EQ(store.writes, writes);
        EXPECT_EQ(store.values.at(kPortSettingKey), c.chosen);
    }
}

TEST(PortList, ReReadOpensAPortPluggedInWhileRunningUnderItsPath) {
    StandInDevices devices;
    devices.ttys = {Usb("ttyUSB0")};
    Store store;
    VirtualClock clock;
    VirtualLine line(clock, "/run/sim/bench");
    VirtualSerialDevice device(line);
    SerialChannel channel(device, clock);
    channel.LoadPortSettings(store, devices);
    devices.published = {{"bench-sim", "/run/sim/bench"}};
    EXPECT_FALSE(channel.OpenPort("bench-sim"));
    channel.RefreshPortList(devices);
    EXPECT_TRUE(channel.OpenPort("bench-sim"));
    channel.ClosePort();
    // A port gone from the list keeps its path for when it is back.
    devices.published.clear();
    channel.RefreshPortList(devices);
    EXPECT_TRUE(channel.OpenPort("bench-sim"));
}

}  // namespace
