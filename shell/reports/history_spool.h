// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Standard input read twice (the table measures every record, then writes
// them): a copy in a file of its own in the temporary folder (TMPDIR, else
// /tmp), gone as soon as it is closed, and never larger than a limit, so
// that an input that does not end cannot fill the disk.
#include <cstdint>
#include <cstdio>
#include <memory>

#include "i18n/message.h"

using SpoolFile = std::unique_ptr<FILE, int (*)(FILE*)>;

// How much of standard input the table copies at most.
inline constexpr uint64_t kHistorySpoolLimit = 256ull * 1024 * 1024;

// A copy of what is left of `from`, read from its start; null with
// `problem` when it cannot be made or `from` holds more than `limit` bytes.
SpoolFile SpoolInput(FILE* from, uint64_t limit, Message& problem);
