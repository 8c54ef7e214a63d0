// SPDX-License-Identifier: MIT
// Decodes arbitrary answers as configuration records; an accepted record must encode to one
// that decodes to the same configuration.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "catalogue/transducer_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> answer(data, size);
    for (size_t minimum : {size_t{5}, size_t{6}}) {
        const ConfigDecodeResult result = DecodeTransducerConfig(answer, minimum);
        if (!result.accepted()) {
            if (result.rejection.fault == ConfigFault::None) {
                std::abort();
            }
            continue;
        }
        const TransducerConfig& config = *result.config;
        if (config.parameters.size() > TransducerConfig::kMaxParameters ||
            config.parameterNames.size() != config.parameters.size() ||
            config.IecParameterList.size() != config.parameters.size() ||
            config.groupBytes.size() != config.parameters.size()) {
            std::abort();
        }
        const auto again = DecodeTransducerConfig(EncodeTransducerConfig(config), minimum);
        if (!again.accepted() || *again.config != config) {
            std::abort();
        }
    }
    return 0;
}
