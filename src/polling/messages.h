// SPDX-License-Identifier: MIT
#pragma once

// The caption of the programs' error messages.
inline constexpr const char* kErrorCaption = "Ошибка";
