// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

// One step of the calculator enumeration: fills `buffer` with the device path
// of the calculator at `index` and returns the index of the next step, or -1
// when there is no further calculator.
int32_t EnumerateDevicePath(int32_t index, char* buffer, int32_t size);
