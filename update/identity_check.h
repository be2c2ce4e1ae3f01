// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which calculator is on the line, and whether the OS image is meant for it
// and newer than what it runs.
#include <cstdint>
#include <string>

#include "update/update_run.h"

enum class CheckOutcome { GoOn, UnsupportedModel, AlreadyCurrent, Failed };

// ModelClass of a calculator's model code: 1 or 2, or 0 when the code is not
// in the model table.
int ModelClassOf(const uint8_t* modelCode);
// The class an OS image with this model code needs, or 0 for an unknown code.
int NeededModelClass(const uint8_t* imageModelCode);

// The four characters around the first point of a version text ("01.04."
// gives 104), read as a decimal number the way atoi reads.
int32_t ParseVersionNumber(const char* versionText);

// The code as text for a record: its four characters when printable, else
// eight hex digits.
std::string ModelCodeText(const uint8_t* modelCode);

// Receives the 256 identity packets and the closing PKT_ROLESWAP under a
// progress window; on GoOn `modelClass` holds the calculator's class.
CheckOutcome ReadIdentityStream(CUpdateRun& run, const StoredPacket& header, int& modelClass);

// The OS route: identity, device information, image header, versions.
CheckOutcome CheckIdentityAndVersion(CUpdateRun& run);
// A check on the OS route: identity and device information, the
// calculator's version into the run's facts, and with images whether it
// needs them. GoOn when the version was read (a model of no known class is
// reported too); the run then ends as an already-current run does.
CheckOutcome ReadCalculatorVersion(CUpdateRun& run);
// The stub route: identity through the running updater stub, model only.
CheckOutcome CheckIdentityAfterStub(CUpdateRun& run);
