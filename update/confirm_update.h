// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// After the OS image: the calculator restarts, and what it runs then is read
// back, exactly as a check reads it, to tell an update it took from one it
// did not.
#include "update/run_values.h"

// The row's phase while the run waits for the calculator to answer again.
extern const char* const kConfirmPhaseText;

// Waits up to `inputs.confirm.timeoutMs` for the calculator of `outcome`
// (an updated run) to answer again: on the same port, or for USB the device
// with the same serial number (else on the same port) once it is back. It
// is then read as a check reads it, and `outcome` says what was found:
// updated and confirmed; failed when it runs another version or no OS; or
// updated and not confirmed when it did not answer in time or the wait
// was stopped.
void ConfirmAfterRestart(const UpdateRunInputs& inputs, UpdateOutcome& outcome);
