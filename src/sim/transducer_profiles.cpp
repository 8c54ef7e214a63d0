// SPDX-License-Identifier: MIT
#include "sim/transducer_profiles.h"

#include <cstring>

#include "catalogue/parameter_naming.h"

namespace {

// Scaling of the codes: value = code * nominal / divisor / 65536 (decimals code in bits 0-2,
// unit prefix "none" (1) in bits 3-5).
constexpr uint8_t kNoPrefix = 1 << 3;
constexpr uint8_t kTenths = kNoPrefix | 3;      // divide by 10
constexpr uint8_t kHundredths = kNoPrefix | 2;  // divide by 100
constexpr uint8_t kThousandths = kNoPrefix | 1;

SimParameter Volts(const char* name, uint32_t address, double base, double amplitude) {
    return {name, address, 5000, kTenths, 20, base, amplitude, 47};  // 250 V full scale
}
SimParameter Amps(const char* name, uint32_t address, double base, double amplitude) {
    return {name, address, 10000, kThousandths, 20, base, amplitude, 61};  // 5 A full scale
}
SimParameter Hertz(const char* name, uint32_t address) {
    return {name, address, 10000, kHundredths, 20, 50.0, 0.05, 29};  // 100 Hz full scale
}

// A record with the fields every profile shares; parameters follow in RebuildProfileConfig.
SimProfile Profile(const char* key, const char* description, uint8_t mode, uint8_t linkByte,
                   uint16_t linkAddress, bool clock, std::vector<SimParameter> parameters,
                   uint32_t clockAddress) {
    SimProfile p;
    p.key = key;
    p.description = description;
    TransducerConfig& c = p.config;
    c.slaveAddress = 1;
    c.functionCode = 100;
    c.recordWord = 0x0101;
    c.modelName = std::string(key) + "-1";
    c.timeSupport = clock ? 1 : 0;
    c.linkAddress = linkAddress;
    c.linkSettingsByte = linkByte;
    c.ExchangeMode = ExchangeModeOf(mode);
    c.iecAddressWidth = 1;
    c.iecObjectAddressWidth = 2;
    c.iecCauseWidth = 1;
    // Measured values as 16-bit codes (type 9) or short floats (type 13), after the first
    // parameter's kind.
    c.iecValueType = !parameters.empty() && ValueSizeOfName(parameters[0].name) == 4 ? 13 : 9;
    c.skipLength = 40;
    c.trailerWord2 = 0;  // word order 2: first register holds the low half
    p.parameters = std::move(parameters);
    p.clockAddress = clockAddress;
    RebuildProfileConfig(p);
    return p;
}

std::vector<SimProfile> MakeProfiles() {
    std::vector<SimProfile> all;
    // Link-settings bytes: 0x87 19200,N,8,1; 0xA5 9600,N,8,1; 0xC8 38400,E,8,1;
    // 0xC7 19200,E,8,1; 0xE5 9600,O,8,1; 0x97 19200,N,8,2.
    all.push_back(Profile("TQ10", "AC current, one channel; Modbus RTU", 0, 0x87, 1, true,
                          {Amps("aIam", 0x0100, 2.5, 0.2), Amps("aiam", 0x0200, 2.5, 0.2)},
                          0x0101));
    all.push_back(Profile("TQ20", "AC/DC current, two channels; Modbus ASCII", 255, 0xA5, 2, true,
                          {Amps("aIam", 0x0100, 2.5, 0.2), Amps("aIae", 0x0101, 1.2, 0.1),
                           Amps("dIam", 0x0102, 0.8, 0.05), Amps("dIae", 0x0103, 0.4, 0.03),
                           Amps("Iam1", 0x0104, 2.6, 0.2), Amps("Iae1", 0x0105, 1.3, 0.1)},
                          0x0106));
    all.push_back(Profile(
        "TQ21", "AC/DC voltage and frequency, two channels; Modbus RTU", 0, 0xC8, 3, true,
        {Volts("aUam", 0x0100, 230, 2), Volts("aUae", 0x0101, 220, 2),
         Volts("dUam", 0x0102, 110, 1), Volts("dUae", 0x0103, 24, 0.2),
         Volts("Uam1", 0x0104, 231, 2), Volts("Uae1", 0x0105, 221, 2), Hertz("Frq1", 0x0106)},
        0x0107));
    all.push_back(
        Profile("TQ22", "AC/DC voltage (mV range), 32-bit values; Modbus RTU", 0, 0xC7, 4, true,
                {Volts("duam", 0x0200, 0.075, 0.001), Volts("duae", 0x0202, 0.060, 0.001),
                 Volts("auam", 0x0204, 0.050, 0.001), Volts("auae", 0x0206, 0.040, 0.001),
                 Volts("uam1", 0x0208, 0.090, 0.001), Volts("uae1", 0x020A, 0.072, 0.001)},
                0x020C));
    all.push_back(Profile("TQ23", "DC and AC+DC voltage, no clock; Modbus ASCII", 255, 0xE5, 5,
                          false,
                          {Volts("dUam", 0x0100, 110, 1), Volts("dUae", 0x0101, 60, 0.5),
                           Volts("Uam1", 0x0102, 111, 1), Volts("Uae1", 0x0103, 61, 0.5)},
                          0));
    all.push_back(Profile("TQ30", "AC/DC current (mA range); Modbus RTU", 0, 0x97, 6, true,
                          {Amps("aIam", 0x0100, 0.020, 0.001), Amps("aIae", 0x0101, 0.010, 0.001),
                           Amps("dIam", 0x0102, 0.012, 0.001), Amps("dIae", 0x0103, 0.004, 0.0005),
                           Amps("Iam1", 0x0104, 0.021, 0.001), Amps("Iae1", 0x0105, 0.011, 0.001)},
                          0x0106));
    all.push_back(Profile(
        "TQ41", "three-phase AC voltage and frequency; Modbus RTU", 0, 0x87, 7, true,
        {Volts("aUa1", 0x0100, 230, 2), Volts("aUb1", 0x0101, 229, 2),
         Volts("aUc1", 0x0102, 231, 2), Volts("aUab", 0x0103, 398, 3),
         Volts("aUbc", 0x0104, 397, 3), Volts("aUca", 0x0105, 399, 3), Hertz("Frq1", 0x0106)},
        0x0107));
    // The 400 V line voltages need more than 250 V of full scale.
    for (SimParameter& p : all.back().parameters) {
        p.nominal = 10000;
    }
    RebuildProfileConfig(all.back());
    all.push_back(Profile("TQ43", "three-wire DC line voltages; Modbus RTU", 0, 0xA5, 8, true,
                          {Volts("dUab", 0x0100, 110, 1), Volts("dUbc", 0x0101, 108, 1),
                           Volts("dUca", 0x0102, 2, 0.1), Volts("dsUl", 0x0103, 220, 2)},
                          0x0104));
    all.push_back(Profile(
        "TQ51", "three-phase AC voltage, 32-bit values without clock; Modbus RTU", 0, 0x87, 9,
        false,
        {Volts("aua1", 0x0200, 230, 2), Volts("aub1", 0x0202, 229, 2),
         Volts("auc1", 0x0204, 231, 2), Volts("auab", 0x0206, 398, 3),
         Volts("aubc", 0x0208, 397, 3), Volts("auca", 0x020A, 399, 3), Hertz("flf1", 0x020C)},
        0));
    return all;
}

}  // namespace

void RebuildProfileConfig(SimProfile& profile) {
    TransducerConfig& c = profile.config;
    c.parameterNames.clear();
    c.parameterAddresses.clear();
    c.parameters.clear();
    c.groupBytes.clear();
    c.IecParameterList.clear();
    for (const SimParameter& p : profile.parameters) {
        ConfigParameter cp;
        cp.address = p.address;
        cp.nominal = p.nominal;
        cp.divisorCode = p.divisorCode;
        cp.group = p.group;
        AddConfigParameter(c, p.name, cp);
    }
    if (c.timeSupport != 0) {
        for (uint32_t k = 0; k < 4; ++k) {
            ConfigParameter cp;
            cp.address = profile.clockAddress + k;
            cp.group = 20;
            AddConfigParameter(c, kSimClockNames[k], cp);
        }
    }
    c.valueIsFloat = IsFloatValueType(c.iecValueType);
    c.valuesTimeTagged = IsTimeTaggedValueType(c.iecValueType);
    c.wordOrder = WordOrderFor(c.ExchangeMode, c.trailerWord2);
    c.recordBlock = RecordBlockOf(c);
}

const std::vector<SimProfile>& BuiltInProfiles() {
    static const std::vector<SimProfile> profiles = MakeProfiles();
    return profiles;
}

const SimProfile* FindProfile(const std::string& key) {
    for (const SimProfile& p : BuiltInProfiles()) {
        if (p.key == key) {
            return &p;
        }
    }
    return nullptr;
}
