// SPDX-License-Identifier: MIT
#include "platform/win32/win32_device_names.h"

#include <optional>
#include <string_view>
#include <vector>

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

#include <setupapi.h>

namespace {

// The device setup class "Ports (COM & LPT)".
constexpr GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
// Registry strings read here are cut at this many characters.
constexpr DWORD kMaxTextChars = 512;

// A string property of the device; empty when it has none.
std::wstring DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    std::vector<wchar_t> text(kMaxTextChars + 1, L'\0');
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                           reinterpret_cast<BYTE*>(text.data()),
                                           kMaxTextChars * sizeof(wchar_t), nullptr) ||
        type != REG_SZ) {
        return {};
    }
    return text.data();
}

// The "PortName" value of the device's own registry key ("COM5"); empty when it has none.
std::wstring DevicePortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::vector<wchar_t> text(kMaxTextChars + 1, L'\0');
    DWORD type = 0;
    DWORD size = kMaxTextChars * sizeof(wchar_t);
    const LONG result = RegQueryValueExW(key, L"PortName", nullptr, &type,
                                         reinterpret_cast<BYTE*>(text.data()), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::wstring(text.data()) : std::wstring();
}

}  // namespace

std::string Win32DeviceNames::DescribePort(const std::string& name) {
    const std::optional<std::wstring> wanted = WideFromUtf8(name);
    if (!wanted || wanted->empty()) {
        return {};
    }
    HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::vector<std::wstring> lines;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; lines.empty() && SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        if (CompareStringOrdinal(DevicePortName(set, device).c_str(), -1, wanted->c_str(), -1,
                                 TRUE) != CSTR_EQUAL) {
            continue;
        }
        const std::wstring friendly = DeviceProperty(set, device, SPDRP_FRIENDLYNAME);
        const std::wstring maker = DeviceProperty(set, device, SPDRP_MFG);
        lines.push_back(friendly.empty() ? DeviceProperty(set, device, SPDRP_DEVICEDESC)
                                         : friendly);
        if (!maker.empty()) {
            lines.push_back(L"Изготовитель: " + maker);
        }
        std::vector<wchar_t> id(kMaxTextChars + 1, L'\0');
        if (SetupDiGetDeviceInstanceIdW(set, &device, id.data(), kMaxTextChars, nullptr)) {
            lines.push_back(id.data());
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    std::string text;
    for (const std::wstring& line : lines) {
        if (std::optional<std::string> utf8 = Utf8FromWide(line); utf8 && !utf8->empty()) {
            text += (text.empty() ? "" : "\n") + *utf8;
        }
    }
    return text;
}

std::vector<std::string> Win32DeviceNames::DosDeviceNames() {
    std::vector<std::string> names;
    std::wstring buffer(kBufferChars, L'\0');
    const DWORD count = QueryDosDeviceW(nullptr, buffer.data(), kBufferChars);
    if (count == 0) {
        return names;
    }
    // Zero-terminated names, the list closed by an empty one.
    std::wstring_view rest(buffer.data(), count);
    while (!rest.empty() && rest.front() != L'\0') {
        const std::wstring_view name = rest.substr(0, rest.find(L'\0'));
        if (std::optional<std::string> text = Utf8FromWide(name)) {
            names.push_back(std::move(*text));
        }
        rest.remove_prefix(std::min(rest.size(), name.size() + 1));
    }
    return names;
}
