// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the decision log's lines go: standard error, each line marked as
// the program's debug line; under the service manager, whose journal reads
// standard error (JOURNAL_STREAM set), with the journal's debug priority.
#include <functional>
#include <string_view>

// Whether ZENTRIX_DEBUG's value (null when unset) asks for the log.
bool DebugWanted(const char* variable);
// Writes one line to standard error; `journalStream`: JOURNAL_STREAM's value.
std::function<void(std::string_view)> DebugLineWriter(const char* journalStream);
