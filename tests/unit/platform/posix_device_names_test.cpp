// SPDX-License-Identifier: MIT
// What PosixDeviceNames says a port is, read from a made-up sysfs tree and /dev/serial/by-id
// folder laid out as the kernel and udev lay them out.
#include "platform/posix/posix_device_names.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

class PosixDeviceNamesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "device-names-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "sys/class/tty");
        fs::create_directories(root_ / "by-id");
    }
    void TearDown() override { fs::remove_all(root_); }

    // A USB device folder with these attributes (sysfs ends each with a newline).
    fs::path UsbDevice(const std::string& path, const std::map<std::string, std::string>& attrs) {
        const fs::path folder = root_ / "sys/devices" / path;
        fs::create_directories(folder);
        for (const auto& [name, value] : attrs) {
            std::ofstream(folder / name) << value << "\n";
        }
        return folder;
    }
    // The tty's class entry, its device link pointing at deviceFolder (relative, as in sysfs).
    void Tty(const std::string& name, const fs::path& deviceFolder) {
        const fs::path entry = root_ / "sys/class/tty" / name;
        fs::create_directories(entry);
        fs::create_directory_symlink(fs::relative(deviceFolder, entry), entry / "device");
    }
    // A by-id link as udev makes it: "../../ttyUSB0".
    void ById(const std::string& link, const std::string& tty) {
        fs::create_symlink("../../" + tty, root_ / "by-id" / link);
    }
    std::string Describe(const std::string& name) {
        PosixDeviceNames names((root_ / "sys/class/tty").string(), (root_ / "run").string(),
                               (root_ / "by-id").string());
        return names.DescribePort(name);
    }

    fs::path root_;
};

TEST_F(PosixDeviceNamesTest, PortsAreDescribedFromTheirUsbDeviceAndByIdLink) {
    // An FTDI adapter: usb1/1-2 is the device, 1-2:1.0 its interface, ttyUSB0 under it.
    const fs::path ftdi = UsbDevice("pci0000:00/usb1/1-2", {{"idVendor", "0403"},
                                                            {"idProduct", "6001"},
                                                            {"manufacturer", "FTDI"},
                                                            {"product", "FT232R USB UART"},
                                                            {"serial", "A50285BI"}});
    fs::create_directories(ftdi / "1-2:1.0/ttyUSB0");
    Tty("ttyUSB0", ftdi / "1-2:1.0/ttyUSB0");
    ById("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");

    // A CH340 without a serial number (and a product string with a control character).
    const fs::path ch340 =
        UsbDevice("pci0000:00/usb1/1-3",
                  {{"idVendor", "1a86"}, {"idProduct", "7523"}, {"product", "USB Serial\t"}});
    fs::create_directories(ch340 / "1-3:1.0/ttyUSB1");
    Tty("ttyUSB1", ch340 / "1-3:1.0/ttyUSB1");

    // A CDC ACM port: the tty's device is the interface itself.
    const fs::path acm =
        UsbDevice("pci0000:00/usb2/2-1",
                  {{"idVendor", "2341"}, {"idProduct", "0043"}, {"manufacturer", "Arduino"}});
    fs::create_directories(acm / "2-1:1.0");
    Tty("ttyACM0", acm / "2-1:1.0");

    // An on-board UART, not on USB, and a console without a device.
    fs::create_directories(root_ / "sys/devices/platform/serial8250");
    Tty("ttyS0", root_ / "sys/devices/platform/serial8250");
    fs::create_directories(root_ / "sys/class/tty/tty1");

    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"ttyUSB0",
         "FT232R USB UART\nИзготовитель: FTDI\nСерийный номер: A50285BI\nUSB 0403:6001\n" +
             (root_ / "by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string()},
        {"ttyUSB1", "USB Serial\nUSB 1a86:7523"},
        {"ttyACM0", "Изготовитель: Arduino\nUSB 2341:0043"},
        {"ttyS0", ""},
        {"tty1", ""},
        {"ttyUSB9", ""},  // not there
        {"../tty", ""},   // no way out of the class folder
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Describe(c.name), c.text) << c.name;
    }
}

TEST_F(PosixDeviceNamesTest, ByIdLinkAloneDescribesAPortWithoutUsbDevice) {
    fs::create_directories(root_ / "sys/devices/pci0000:00/0000:00:1f.0/serial");
    Tty("ttyS4", root_ / "sys/devices/pci0000:00/0000:00:1f.0/serial");
    ById("pci-Example_Card-port0", "ttyS4");
    ById("usb-Other_Adapter-if00-port0", "ttyS40");  // another port's link
    EXPECT_EQ(Describe("ttyS4"), (root_ / "by-id/pci-Example_Card-port0").string());
}

TEST_F(PosixDeviceNamesTest, TheUartTypeIsReadFromAPageSizedAttribute) {
    // sysfs says every attribute is a page long; the text is "4\n" and the rest of the page.
    for (const auto& [name, type] : {std::pair{"ttyS0", "4\n"}, std::pair{"ttyS1", "0\n"}}) {
        const fs::path entry = root_ / "sys/class/tty" / name;
        fs::create_directories(entry);
        std::string page(4096, '\0');
        page.replace(0, 2, type);
        std::ofstream(entry / "type", std::ios::binary) << page;
    }
    PosixDeviceNames names((root_ / "sys/class/tty").string(), (root_ / "run").string());
    const std::vector<TtyDevice> devices = names.TtyDevices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].portType, 4);
    EXPECT_EQ(devices[1].portType, 0) << "a placeholder without a UART";
}

}  // namespace
