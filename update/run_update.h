// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One update run: the whole conversation with one calculator.
#include "update/run_values.h"

UpdateOutcome RunUpdate(const UpdateRunInputs& inputs);

// What a check found, for a row or a summary line: "OS 01.04 — needs the
// update", "... — current", "... — another model", "OS 01.04" without
// images, or "no version reported" on the stub route.
Message CheckedText(const UpdateFacts& facts);

// Why a run found no calculator where `where` says it looked.
Message NoCalculatorReason(const Message& where);

// Why `devicePath` could not be opened (`error` an errno value), with the
// platform's remedy.
Message OpenFailureReason(const char* devicePath, uint32_t error);
