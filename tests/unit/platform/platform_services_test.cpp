// SPDX-License-Identifier: MIT
// The POSIX composition root: each object MakePlatformServices() gives is wired to the real
// system, at the places the programs look for their settings and the simulator's ports.
#include "platform/platform_services.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/pseudo_terminal.h"

namespace {

namespace fs = std::filesystem;

// A fresh folder for one test, and the XDG variables pointed into it for its duration.
class PlatformServicesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "platform-services-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        Override("XDG_CONFIG_HOME", root_ / "config");
        Override("XDG_RUNTIME_DIR", root_ / "run");
    }
    void TearDown() override {
        for (const auto& [name, old] : saved_) {
            if (old) {
                setenv(name.c_str(), old->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        fs::remove_all(root_);
    }

    void Override(const std::string& name, const fs::path& value) {
        const char* old = getenv(name.c_str());
        saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
        setenv(name.c_str(), value.c_str(), 1);
    }

    static std::string FileText(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path root_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(PlatformServicesTest, SettingsAreKeptInTheUsersConfigFolderForTheNextRun) {
    ASSERT_TRUE(MakePlatformServices()->settings().Write("port", "ttyUSB3"));

    const fs::path file = root_ / "config" / "corvanta" / "settings.ini";
    EXPECT_NE(FileText(file).find("ttyUSB3"), std::string::npos);
    EXPECT_EQ(MakePlatformServices()->settings().Read("port"), "ttyUSB3");
}

TEST_F(PlatformServicesTest, DeviceOpensTheSimulatorsPublishedPort) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.Create());
    const fs::path published = root_ / "run" / "transducer-sim";
    fs::create_directories(published);
    ASSERT_EQ(chmod(published.c_str(), 0700), 0);
    fs::create_symlink(pty.SlavePath(), published / "demo");

    const auto system = MakePlatformServices();
    const std::vector<PublishedPort> ports = system->devices().PublishedPorts();
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].name, "demo");

    ASSERT_TRUE(system->device().Open(ports[0].path));
    const std::vector<uint8_t> sent = {0x01, 0x03, 0x00, 0x00};
    ASSERT_TRUE(system->device().Write(sent.data(), sent.size()));
    std::vector<uint8_t> got;
    uint8_t chunk[16];
    size_t count = 0;
    while (got.size() < sent.size() && pty.WaitReadable(2000) &&
           (count = pty.Read(chunk, sizeof chunk)) > 0) {
        got.insert(got.end(), chunk, chunk + count);
    }
    EXPECT_EQ(got, sent);
    system->device().Close();
}

TEST_F(PlatformServicesTest, FilesAreWrittenToDisk) {
    const fs::path path = root_ / "log.txt";
    {
        const auto file = MakePlatformServices()->files().Create(path.string());
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(file->Write("row\r\n"));
        ASSERT_TRUE(file->Flush());
    }
    EXPECT_EQ(FileText(path), "row\r\n");
}

TEST_F(PlatformServicesTest, ClockKeepsTheSystemsTime) {
    const auto system = MakePlatformServices();
    Clock& clock = system->clock();

    const uint32_t before = clock.TickCount();
    clock.Sleep(20);
    EXPECT_GE(static_cast<uint32_t>(clock.TickCount() - before), 20u);

    // UTC time of day against the standard library's clock, a second apart at most.
    const SystemTime utc = clock.UtcTime();
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const long long dayMs = 24LL * 3600 * 1000;
    const long long expected =
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count() % dayMs;
    const long long got =
        ((utc.hour * 60LL + utc.minute) * 60 + utc.second) * 1000 + utc.milliseconds;
    const long long apart = std::abs(expected - got);
    EXPECT_LT(std::min(apart, dayMs - apart), 1000);
}

}  // namespace
