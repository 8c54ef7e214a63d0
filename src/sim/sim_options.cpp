// SPDX-License-Identifier: MIT
#include "sim/sim_options.h"

#include <charconv>

#include "channel/line_mode.h"

namespace {

// Decimal, or hexadecimal after "0x"; the whole text, within max.
std::optional<uint32_t> ParseNumber(const std::string& text, uint32_t max) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
    if (first == last || error != std::errc() || end != last || value > max) {
        return std::nullopt;
    }
    return value;
}

bool IsModbusMode(ExchangeMode mode) {
    const ExchangeModeEntry* entry = FindExchangeMode(mode);
    return entry != nullptr && entry->modbusFraming;
}

bool ValidPortName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name.front() == '.') {
        return false;
    }
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

std::string Hex2(uint8_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

LineSettings SettingsOfByte(uint8_t linkByte) {
    return ParseModeString(ModeStringFromLinkSettingsByte(linkByte), LineSettings{});
}

}  // namespace

SimOptionsResult ParseSimOptions(const std::vector<std::string>& arguments) {
    SimOptions options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::optional<std::string> inlineValue;
        if (const size_t eq = option.find('=');
            option.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = option.substr(eq + 1);
            option.resize(eq);
        }
        auto flag = [&](bool& target) {
            if (inlineValue) {
                return false;
            }
            target = true;
            return true;
        };
        std::string value;
        auto takeValue = [&]() {
            if (inlineValue) {
                value = *inlineValue;
                return true;
            }
            if (i + 1 >= arguments.size()) {
                return false;
            }
            value = arguments[++i];
            return true;
        };
        auto fail = [&](const std::string& why) { return SimOptionsResult{std::nullopt, why}; };

        if (option == "--list") {
            if (!flag(options.list)) {
                return fail("--list takes no value");
            }
        } else if (option == "--trace") {
            if (!flag(options.trace)) {
                return fail("--trace takes no value");
            }
        } else if (option == "--steady") {
            if (!flag(options.steady)) {
                return fail("--steady takes no value");
            }
        } else if (option == "--help" || option == "-h") {
            if (!flag(options.help)) {
                return fail("--help takes no value");
            }
        } else if (option == "--version") {
            if (!flag(options.version)) {
                return fail("--version takes no value");
            }
        } else if (option == "--fault" || option == "--fault-random" || option == "--line-delay") {
            if (!takeValue()) {
                return fail(option + " needs a value");
            }
            if (option == "--fault") {
                std::string error;
                const auto fault = ParsePlannedFault(value, error);
                if (!fault) {
                    return fail(error + " (--help lists the faults)");
                }
                options.faults.push_back(*fault);
            } else if (option == "--fault-random") {
                const auto key = ParseNumber(value, 0xFFFF'FFFFu);
                if (!key) {
                    return fail("--fault-random takes a number, 0 to 4294967295");
                }
                options.faultRandomKey = *key;
            } else {
                const auto delay = ParseNumber(value, 10'000);
                if (!delay) {
                    return fail("--line-delay takes milliseconds, 0 to 10000");
                }
                options.lineDelayMs = *delay;
            }
        } else if (option == "--model" || option == "--mode" || option == "--link-byte" ||
                   option == "--address" || option == "--name" || option == "--device") {
            if (!takeValue()) {
                return fail(option + " needs a value");
            }
            if (option == "--model") {
                options.model = Upper(value);
                if (FindProfile(options.model) == nullptr) {
                    return fail("unknown model \"" + value + "\" (--list shows the models)");
                }
            } else if (option == "--mode") {
                const auto mode = ParseNumber(value, 255);
                if (!mode ||
                    FindExchangeMode(ExchangeModeOf(static_cast<uint8_t>(*mode))) == nullptr) {
                    return fail(
                        "--mode takes 255 (Modbus ASCII), 0 (Modbus RTU), 1 or 2 "
                        "(IEC 60870-5-101), 3 (Modbus ASCII) or 4 (sends unasked)");
                }
                options.mode = static_cast<uint8_t>(*mode);
            } else if (option == "--link-byte") {
                const auto linkByte = ParseNumber(value, 255);
                if (!linkByte) {
                    return fail("--link-byte takes a byte, 0x00 to 0xFF");
                }
                if (!HasValidCodes(SettingsOfByte(static_cast<uint8_t>(*linkByte)))) {
                    return fail("--link-byte " + value +
                                " names no line (its baud code, bits 0-3, must be 2 to 10)");
                }
                options.linkByte = static_cast<uint8_t>(*linkByte);
            } else if (option == "--address") {
                const auto address = ParseNumber(value, 65535);
                if (!address) {
                    return fail("--address takes a number");
                }
                options.address = static_cast<uint16_t>(*address);
            } else if (option == "--name") {
                if (!ValidPortName(value)) {
                    return fail(
                        "--name takes up to 64 letters, digits, '-', '_' and '.', "
                        "not starting with '.'");
                }
                options.name = value;
            } else {
                if (value.empty()) {
                    return fail("--device needs a path");
                }
                options.device = value;
            }
        } else {
            return fail("unknown argument \"" + arguments[i] + "\" (--help shows the options)");
        }
    }
    return {options, ""};
}

std::optional<SimProfile> ProfileForOptions(const SimOptions& options, std::string& error) {
    const SimProfile* builtIn = FindProfile(options.model);
    if (builtIn == nullptr) {
        error = "unknown model \"" + options.model + "\"";
        return std::nullopt;
    }
    SimProfile profile = *builtIn;
    TransducerConfig& c = profile.config;
    if (options.mode) {
        c.ExchangeMode = ExchangeModeOf(*options.mode);
    }
    if (options.linkByte) {
        c.linkSettingsByte = *options.linkByte;
    }
    if (options.address) {
        c.linkAddress = *options.address;
    }
    if (IsModbusMode(c.ExchangeMode) && (c.linkAddress < 1 || c.linkAddress > 247)) {
        error = "a Modbus slave address is 1 to 247";
        return std::nullopt;
    }
    if (!IsModbusMode(c.ExchangeMode) && c.iecAddressWidth == 1 && c.linkAddress > 254) {
        error = "a one-byte IEC 60870-5-101 link address is 0 to 254";
        return std::nullopt;
    }
    if (options.steady) {
        for (SimParameter& p : profile.parameters) {
            p.amplitude = 0;
        }
    }
    RebuildProfileConfig(profile);
    return profile;
}

std::string PublishedNameOf(const SimOptions& options) {
    return options.name.empty() ? "sim-" + options.model : options.name;
}

std::string DescribeLine(const LineSettings& s, bool framingKnown) {
    const std::string text = FormatModeString(s);
    // Unknown framing keeps the rate and the stop bits: "19200,?,?,1".
    return framingKnown ? text : std::to_string(s.baudRate) + ",?,?" + text.substr(text.rfind(','));
}

std::string ProfileListing() {
    std::string text;
    for (const SimProfile& p : BuiltInProfiles()) {
        const TransducerConfig& c = p.config;
        std::string line = p.key + "  mode " + std::to_string(RecordByteOf(c.ExchangeMode)) + " (" +
                           std::string(ExchangeModeName(c.ExchangeMode)) + "), " +
                           DescribeLine(SettingsOfByte(c.linkSettingsByte)) + " (link byte 0x" +
                           Hex2(c.linkSettingsByte) + "), address " +
                           std::to_string(c.linkAddress) + ": " + p.description + "\n";
        text += line;
    }
    return text;
}

std::string SimUsage() {
    return "Usage: transducer-sim [options]\n"
           "Serves a simulated measuring transducer on a new pseudo-terminal (published for the\n"
           "programs' port lists) or on a serial port, until Ctrl-C or SIGTERM.\n"
           "\n"
           "  --model KEY        the model (default TQ21); --list shows them\n"
           "  --mode N           exchange mode: 255 Modbus ASCII, 0 Modbus RTU, 1 or 2\n"
           "                     IEC 60870-5-101, 4 sends its values unasked\n"
           "  --link-byte 0xNN   its own line settings as the packed link-settings byte\n"
           "  --address N        its slave / link address\n"
           "  --name NAME        the published port name (default sim-KEY)\n"
           "  --device PATH      serve on this serial port instead of a pseudo-terminal\n"
           "  --steady           the values do not move\n"
           "  --line-delay MS    every answer leaves MS milliseconds later (a slow path to\n"
           "                     the program: a USB adapter, a radio modem)\n"
           "  --fault FAULT      a fault on the answers to its requests; may be given more\n"
           "                     than once (see below)\n"
           "  --fault-random N   fixes the random draws of the faults given with a chance\n"
           "                     (default 1): the same N gives the same faults\n"
           "  --trace            each request and answer in hex on standard error, and the\n"
           "                     faults as they happen\n"
           "  --list             the models, one a line\n"
           "  --help             this text\n"
           "  --version          the version\n"
           "\n"
           "Faults: FAULT is KIND[:AMOUNT][@FROM[+COUNT]][%PERCENT]. Requests are the frames\n"
           "heard at its own line settings, counted from 1 since it started; @FROM+COUNT\n"
           "touches COUNT requests from request FROM on (without +COUNT: all from FROM on;\n"
           "without @: all requests); %PERCENT touches that share of them at random.\n"
           "  noise-before:N     N noise bytes right before the answer (default 3)\n"
           "  noise-after:N      N noise bytes right after the answer (default 3)\n"
           "  drop-byte          the middle byte of the answer is lost\n"
           "  bad-checksum       the answer's CRC, LRC or FT1.2 checksum is wrong\n"
           "  split:MS           the answer stops half-way for MS ms (default 30)\n"
           "  late               the answer is held back and sent after the next request\n"
           "  silence            the request is neither heard nor answered\n"
           "  exception:CODE     Modbus: an exception answer with CODE (default 6, busy)\n"
           "  other-slave        Modbus: the answer comes from the next slave address\n"
           "  reboot:MS          it restarts: deaf for MS ms (default 2000), then in its\n"
           "                     configuration phase at 19200,E,8,1 until woken and read again\n"
           "  negative           IEC 60870-5-101: activations confirmed negatively\n"
           "  cause:C            IEC 60870-5-101: commands mirrored with cause C, 44 to 47\n"
           "                     (default 44)\n"
           "  acd                IEC 60870-5-101: user-data answers with ACD set (0x28)\n"
           "  e5                 IEC 60870-5-101: E5 to a class 2 request although data is due\n"
           "Examples: --fault silence@10+3   --fault noise-before:5%2.5 --fault-random 7\n"
           "\n"
           "The port name (the published link, or the device) is printed on standard output.\n";
}
