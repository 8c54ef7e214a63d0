// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The four-character parameter names of the configuration record: their value width, the
// caption a value is shown under and the label of its log column. Names whose values are
// 16-bit codes carry capital letters; names in small letters carry 32-bit values. The model
// text matters only for "TQ22", whose voltage channels are numbered the other way round.

// Contains "tms", "thm", "tmd" or "ty": one of the four clock registers.
bool IsClockName(std::string_view name);

// 2 for a clock name or a name with a capital letter A to Z, else 4 (also for the empty name).
uint16_t ValueSizeOfName(std::string_view name);

// ValueSizeOfName of names[i]; an index outside the list counts as the empty name.
uint16_t ValueSize(const std::vector<std::string>& names, size_t i);

std::string CaptionForCodeName(std::string_view name, std::string_view modelName);
std::string CaptionForFloatName(std::string_view name, std::string_view modelName);
std::string LogLabelForCodeName(std::string_view name, std::string_view modelName);
std::string LogLabelForFloatName(std::string_view name, std::string_view modelName);
