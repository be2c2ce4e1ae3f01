// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Moving the updater stub into the calculator's RAM and the OS image into its
// flash memory.
#include <cstdint>

#include "i18n/text_format.h"
#include "update/image_files.h"
#include "update/update_run.h"

// The phase that writes the OS image into the calculator's flash: from its
// start the calculator's old system is gone until an update ends.
inline constexpr const char* kOsPhaseText = N_("Updating...");

enum class ImagePhase { UpdaterStub, OsImage };

// Sends every block of the image's snapshot from its start; in the OS-image
// phase it also subtracts the bytes of blocks 65 and above from `imageSum`.
bool SendImageBlocks(CUpdateRun& run, ImageSnapshot& image, int32_t blockCount, ImagePhase phase,
                     uint32_t& imageSum);

// Announces and sends the updater stub; leaves its block count in the run.
bool SendUpdaterStub(CUpdateRun& run);
// Announces and sends the OS image with its tail check, up to three attempts.
bool WriteOsImage(CUpdateRun& run);
