// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform/serial_device.h"

// The second line of "Не могу открыть <port>": why the port could not be opened, and on a
// refused permission the command that fixes it where the device file's group is known. Empty
// when the device could not say.
std::string OpenFailureText(const OpenFailure& failure);
