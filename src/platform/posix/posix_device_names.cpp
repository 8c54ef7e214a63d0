// SPDX-License-Identifier: MIT
#include "platform/posix/posix_device_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>

#include "platform/posix/user_dirs.h"

namespace {

// A file that names a port holds one short line.
constexpr size_t kPortFileMaxBytes = 1024;

std::vector<std::string> DirectoryEntries(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// Up to limit bytes of a regular file; nothing when it is not one, is larger or unreadable.
std::optional<std::string> ReadSmallFile(const std::string& path, size_t limit) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    std::optional<std::string> text;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<size_t>(info.st_size) <= limit) {
        std::string bytes(limit + 1, '\0');
        size_t got = 0;
        for (;;) {
            const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
            if (got == bytes.size()) {
                break;
            }
        }
        if (got <= limit) {
            bytes.resize(got);
            text = std::move(bytes);
        }
    }
    close(fd);
    return text;
}

std::string LinkTargetName(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) {
        return {};
    }
    const std::string text(target, static_cast<size_t>(n));
    const size_t slash = text.rfind('/');
    return slash == text.npos ? text : text.substr(slash + 1);
}

// A sysfs attribute reports the size of a page, whatever it holds.
constexpr size_t kAttributeMaxBytes = 4096;
std::optional<int> ReadPortType(const std::string& path) {
    // Read up to a page: sysfs gives every attribute that size, and a smaller limit would
    // refuse the file and leave the port's type unknown.
    const std::optional<std::string> text = ReadSmallFile(path, kAttributeMaxBytes);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const long value = std::strtol(text->c_str(), &end, 10);
    if (end == text->c_str() || value < INT_MIN || value > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

// A text shown from an attribute is cut at this many bytes.
constexpr size_t kAttributeShownBytes = 128;
// The USB device lies a few folders above its tty (interface, port, tty folder).
constexpr int kUsbSearchLevels = 6;

// An attribute's text on one line: control characters become spaces, the ends are trimmed.
std::string ReadAttribute(const std::string& path) {
    std::string text = ReadSmallFile(path, kAttributeMaxBytes).value_or(std::string());
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    const size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) {
        return {};
    }
    text = text.substr(begin, text.find_last_not_of(' ') - begin + 1);
    return text.substr(0, kAttributeShownBytes);
}

// The folder of the USB device a tty hangs on: the first folder above its device that has a
// vendor id; empty for a port on another bus.
std::string UsbDeviceFolder(const std::string& ttyDevice) {
    char resolved[PATH_MAX];
    if (realpath(ttyDevice.c_str(), resolved) == nullptr) {
        return {};
    }
    std::string folder = resolved;
    for (int level = 0; level < kUsbSearchLevels && folder.size() > 1; ++level) {
        if (Exists(folder + "/idVendor")) {
            return folder;
        }
        folder.resize(std::max<size_t>(folder.rfind('/'), 1));
    }
    return {};
}

}  // namespace

PosixDeviceNames::PosixDeviceNames()
    : PosixDeviceNames("/sys/class/tty", PublishedPortDirectory()) {}

PosixDeviceNames::PosixDeviceNames(std::string sysClassTty, std::string publishedDirectory,
                                   std::string serialById)
    : sysClassTty_(std::move(sysClassTty)),
      publishedDirectory_(std::move(publishedDirectory)),
      serialById_(std::move(serialById)) {}

std::string PosixDeviceNames::DescribePort(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        return {};
    }
    std::vector<std::string> lines;
    const std::string usb = UsbDeviceFolder(sysClassTty_ + "/" + name + "/device");
    if (!usb.empty()) {
        const std::string product = ReadAttribute(usb + "/product");
        const std::string maker = ReadAttribute(usb + "/manufacturer");
        const std::string serial = ReadAttribute(usb + "/serial");
        const std::string vendorId = ReadAttribute(usb + "/idVendor");
        const std::string productId = ReadAttribute(usb + "/idProduct");
        if (!product.empty()) {
            lines.push_back(product);
        }
        if (!maker.empty()) {
            lines.push_back("Изготовитель: " + maker);
        }
        if (!serial.empty()) {
            lines.push_back("Серийный номер: " + serial);
        }
        if (!vendorId.empty() && !productId.empty()) {
            lines.push_back("USB " + vendorId + ":" + productId);
        }
    }
    for (const std::string& link : DirectoryEntries(serialById_)) {
        if (LinkTargetName(serialById_ + "/" + link) == name) {
            lines.push_back(serialById_ + "/" + link);
            break;
        }
    }
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : "\n") + line;
    }
    return text;
}

std::vector<TtyDevice> PosixDeviceNames::TtyDevices() {
    std::vector<TtyDevice> devices;
    for (const std::string& name : DirectoryEntries(sysClassTty_)) {
        const std::string base = sysClassTty_ + "/" + name;
        TtyDevice device;
        device.name = name;
        device.hasDevice = Exists(base + "/device");
        if (device.hasDevice) {
            device.driver = LinkTargetName(base + "/device/driver");
        }
        device.portType = ReadPortType(base + "/type");
        devices.push_back(std::move(device));
    }
    return devices;
}

std::vector<PublishedPort> PosixDeviceNames::PublishedPorts() {
    std::vector<PublishedPort> ports;
    if (!IsPrivateDirectory(publishedDirectory_)) {
        return ports;
    }
    for (const std::string& name : DirectoryEntries(publishedDirectory_)) {
        if (name.front() == '.') {
            continue;
        }
        const std::string entry = publishedDirectory_ + "/" + name;
        struct stat info {};
        if (lstat(entry.c_str(), &info) != 0) {
            continue;
        }
        std::string path;
        if (S_ISLNK(info.st_mode)) {
            path = entry;  // opened through the link
        } else if (S_ISREG(info.st_mode)) {
            const std::optional<std::string> text = ReadSmallFile(entry, kPortFileMaxBytes);
            if (!text) {
                continue;
            }
            path = text->substr(0, text->find_first_of("\r\n"));
            while (!path.empty() && (path.back() == ' ' || path.back() == '\t')) {
                path.pop_back();
            }
            if (path.empty() || path.front() != '/') {
                continue;
            }
        } else {
            continue;
        }
        if (Exists(path)) {  // a port left behind by a simulator that has ended is not listed
            ports.push_back({name, path});
        }
    }
    return ports;
}
