// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// --station-status: the rows of the station that runs on this computer, as
// its status file has them (see shell/records/station_status.h).
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/catalogue.h"
#include "shell/screen/own_lines.h"

// The exit status when no station runs here.
inline constexpr int kExitNoStation = 3;

// A status file as read back, its texts in the reader's language.
struct ShownStationStatus {
    int64_t pid = 0;
    std::string written;
    std::string heading;
    struct Row {
        std::string name;
        std::string phase;
        std::string percent;
        std::string silentSeconds;   // empty: answering
        bool finished = false;
    };
    std::vector<Row> rows;
};

// Reads a status file's text; nothing when it is not one.
std::optional<ShownStationStatus> ParseStationStatus(std::string_view text, const MoCatalogue* texts);

// Prints the rows of the first of `files` whose station still runs, as a
// table under the station's heading (broken between words at `columns`; 0:
// not at all); 0, or kExitNoStation with a line that says so.
int ReportStationStatus(const std::vector<std::string>& files, const MoCatalogue* texts, int columns,
                        std::ostream& out, const COwnLines& say);
