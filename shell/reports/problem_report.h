// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `zentrix-update --report-problem [FILE]`: one file for a developer with
// what the last run left: its history record, its trace (the last run's
// copy), the program version, the platform and the device listing. Nothing
// else of the user's goes in: of the images only what the record and the
// trace hold (their headers' versions, their sizes in blocks, the bytes sent).
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "i18n/message.h"
#include "i18n/text_format.h"

// The words of a window's failure box that saves a report: its button, the
// title of the question where, and the box that says where it went.
inline constexpr const char* kSaveReportButton = N_("Save a problem report...");
inline constexpr const char* kSaveReportTitle = N_("Save a problem report");
inline constexpr const char* kReportCaption = N_("Problem report");
// Where reports go: the packages' maintainer address.
inline constexpr const char* kReportAddress = "maintainers@users.noreply.c-seed-023ac122.example";
inline constexpr const char* kReportSaved =
    N_("The problem report is in %s; send it to %s with a sentence on what you saw.");

struct ProblemReportParts {
    std::string programVersion;
    std::string platform;        // PlatformDescription()
    std::string deviceListing;   // what --list-devices prints
    std::string historyPath;     // the history file: its last record goes in
    std::string lastRunTrace;    // the last run's trace: copied up to its cap, never through a link
    std::string home = "";       // the user's home folder: written as ~ wherever it appears
};

// Writes a problem report to `file` (the program puts the parts together);
// false with `problem` when it cannot.
using ProblemReportWriter = std::function<bool(const std::string& file, Message& problem)>;

// "Linux 6.1.0-18-amd64 x86_64", "Windows x86-64".
std::string PlatformDescription();

// Writes the report to `file`: a new file, private to the user, renamed
// over whatever had the name (never written through a link, never into a
// file that was there). False with `problem` when it cannot.
bool WriteProblemReport(const std::string& file, const ProblemReportParts& parts, Message& problem);
// Writes the report to `out` (--report-problem -); false with `problem`
// when it cannot.
bool PrintProblemReport(std::ostream& out, const ProblemReportParts& parts, Message& problem);
