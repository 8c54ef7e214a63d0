// SPDX-License-Identifier: MIT
// The Windows platform layer against the real system (under Wine): the settings in the
// registry, the MS-DOS device names with the prefix's declared COM ports, the clock, and files
// with wide names.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "channel/port_list.h"
#include "platform/calendar.h"
#include "platform/file_sink.h"
#include "platform/platform_services.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_device_names.h"
#include "platform/win32/windows_api.h"

namespace {

namespace fs = std::filesystem;

std::string Repeated(const std::string& piece, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

// A key of the test's own under HKEY_CURRENT_USER\Software, removed before and after.
class RegistryStoreTest : public ::testing::Test {
  protected:
    static constexpr const wchar_t* kKey = L"Software\\Corvanta unit test";

    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }

    // The value as the registry holds it: its type and its bytes.
    struct Raw {
        DWORD type = REG_NONE;
        std::vector<BYTE> bytes;
    };
    static std::optional<Raw> RawValue(const wchar_t* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        Raw raw;
        raw.bytes.resize(1024);
        DWORD size = static_cast<DWORD>(raw.bytes.size());
        const LSTATUS status =
            RegQueryValueExW(key, name, nullptr, &raw.type, raw.bytes.data(), &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS) {
            return std::nullopt;
        }
        raw.bytes.resize(size);
        return raw;
    }
    // The bytes of a REG_SZ value holding text and its terminating zero.
    static std::vector<BYTE> StringBytes(const std::wstring& text) {
        const auto* first = reinterpret_cast<const BYTE*>(text.c_str());
        return std::vector<BYTE>(first, first + (text.size() + 1) * sizeof(wchar_t));
    }
    static void SetRaw(const wchar_t* name, DWORD type, const void* bytes, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(bytes), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    RegistrySettingsStore store{"Software\\Corvanta unit test"};
};

TEST_F(RegistryStoreTest, FirstRunCreatesTheKeyWithTheFirstPort) {
    ASSERT_FALSE(RawValue(L"COM port"));
    Win32DeviceNames devices;
    EXPECT_EQ(LoadPortName(store, devices.DefaultPortName()), "COM1");

    const std::optional<Raw> raw = RawValue(L"COM port");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw->bytes, StringBytes(L"COM1"));
}

TEST_F(RegistryStoreTest, NamesOfMoreThan31CharactersCannotBeRead) {
    // 31 characters and the zero fill the 64-byte buffer exactly.
    ASSERT_TRUE(store.Write("COM port", Repeated("Ж", 31)));
    EXPECT_EQ(store.Read("COM port"), Repeated("Ж", 31));
    ASSERT_TRUE(store.Write("COM port", Repeated("x", 32)));
    EXPECT_EQ(store.Read("COM port"), std::nullopt);

    // A stored 40-character name is replaced by the first port at the next start.
    ASSERT_TRUE(store.Write("COM port", Repeated("x", 40)));
    EXPECT_EQ(LoadPortName(store, "COM1"), "COM1");
    EXPECT_EQ(RawValue(L"COM port")->bytes, StringBytes(L"COM1"));
}

TEST_F(RegistryStoreTest, TextIsUtf16InTheRegistryAndUtf8Outside) {
    ASSERT_TRUE(store.Write("COM port", "НЕТ"));
    EXPECT_EQ(RawValue(L"COM port")->bytes, StringBytes(L"\u041D\u0415\u0422"));
    EXPECT_EQ(RegistrySettingsStore("Software\\Corvanta unit test").Read("COM port"), "НЕТ");

    // A value written by another program, with and without its terminating zero.
    const std::wstring other = L"COM12";
    SetRaw(L"COM port", REG_SZ, other.c_str(), static_cast<DWORD>(other.size() * sizeof(wchar_t)));
    EXPECT_EQ(store.Read("COM port"), "COM12");
    // Values that are not text, and text that is not UTF-8 or not UTF-16, are not taken.
    const DWORD number = 5;
    SetRaw(L"COM port", REG_DWORD, &number, sizeof number);
    EXPECT_EQ(store.Read("COM port"), std::nullopt);
    const wchar_t lone[] = {0xD800, 0};
    SetRaw(L"COM port", REG_SZ, lone, sizeof lone);
    EXPECT_EQ(store.Read("COM port"), std::nullopt);
    EXPECT_FALSE(store.Write("COM port", "\xFF"));
    EXPECT_EQ(store.Read("missing"), std::nullopt);
}

TEST(Win32DeviceNames, TheDeclaredTestPortsAreListedInNumberOrder) {
    const auto system = MakePlatformServices();
    DeviceNames& devices = system->devices();
    EXPECT_EQ(devices.DefaultPortName(), "COM1");
    EXPECT_TRUE(devices.TtyDevices().empty());

    const std::vector<std::string> dos = devices.DosDeviceNames();
    for (const char* name : {"COM5", "COM6", "COM7", "COM8"}) {
        EXPECT_NE(std::find(dos.begin(), dos.end(), name), dos.end())
            << name << " is not declared (wine_start in scripts/wine_env.sh declares it)";
    }
    const PortListing listing = EnumeratePorts(devices);
    EXPECT_TRUE(std::is_sorted(listing.names.begin(), listing.names.end(),
                               [](const std::string& a, const std::string& b) {
                                   return ComPortNumber(a) < ComPortNumber(b);
                               }));
    EXPECT_EQ(listing.paths.at("COM5"), "COM5");
    EXPECT_EQ(std::count_if(dos.begin(), dos.end(),
                            [](const std::string& name) { return !ComPortNames({name}).empty(); }),
              static_cast<long>(listing.names.size()));
}

TEST(Win32Clock, TickCountMovesAcrossASleep) {
    // The tick count moves in steps of the system timer (about 16 ms, Wine's as Windows').
    constexpr uint32_t kTickStepMs = 16;
    Win32Clock clock;
    const uint32_t before = clock.TickCount();
    clock.BeginTimerResolution(1);
    clock.Sleep(40);
    clock.EndTimerResolution(1);
    EXPECT_GE(static_cast<uint32_t>(clock.TickCount() - before), 40u - kTickStepMs);
}

TEST(Win32Clock, UtcAndLocalTimeDifferByTheZonesBias) {
    Win32Clock clock;
    TIME_ZONE_INFORMATION zone{};
    const DWORD which = GetTimeZoneInformation(&zone);
    const long biasMinutes =
        zone.Bias + (which == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : zone.StandardBias);

    const SystemTime utc = clock.UtcTime();
    const SystemTime local = clock.LocalTime();
    const int64_t utcMs = UnixMsFromCalendar(utc);
    const int64_t localMs = UnixMsFromCalendar(local);
    // The two readings are taken one after the other: a second apart at most.
    EXPECT_NEAR(static_cast<double>(localMs - utcMs), -biasMinutes * 60'000.0, 1000.0);
    EXPECT_EQ(utc.dayOfWeek, CalendarFromUnixMs(utcMs).dayOfWeek);
    EXPECT_EQ(local.dayOfWeek, CalendarFromUnixMs(localMs).dayOfWeek);

    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    EXPECT_NEAR(static_cast<double>(UnixMsFromCalendar(clock.UtcTime())), static_cast<double>(now),
                1000.0);
}

TEST(Win32Files, CyrillicFileNamesAreWrittenAndReadBack) {
    const fs::path folder = fs::temp_directory_path() / u8"журналы платформы";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::u8string name = u8"Журнал_Ж.txt";
    const std::u8string path = (folder / name).u8string();
    const std::string utf8(path.begin(), path.end());

    const auto system = MakePlatformServices();
    {
        const auto file = system->files().Create(utf8);
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->Write("row 1\r\n"));
        EXPECT_TRUE(file->Flush());
        EXPECT_FALSE(file->Removed());
    }
    {
        const auto file = system->files().OpenForAppend(utf8);
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->Write("row 2\r\n"));
    }
    std::ifstream in(folder / name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "row 1\r\nrow 2\r\n");
    in.close();

    // The folder holds the file under its own name, not under a code page's rendering of it.
    std::vector<std::u8string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().u8string());
    }
    EXPECT_EQ(names, std::vector<std::u8string>{name});
    EXPECT_EQ(system->files().OpenForAppend(utf8 + ".missing"), nullptr);
    EXPECT_EQ(system->files().Create("\xFF.txt"), nullptr);
    fs::remove_all(folder);
}

}  // namespace
