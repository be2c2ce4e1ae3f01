// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `zentrix-update --report-problem [FILE]`: one file for a developer with
// what the last run left: its history record, its trace (the last run's
// copy), the program version, the platform and the device listing. Nothing
// else of the user's goes in: of the images only what the record and the
// trace hold (their headers' versions, their sizes in blocks, the bytes sent).
#include <functional>
#include <string>
#include <vector>

#include "i18n/message.h"

// The report's file when FILE is not given, in the current folder.
inline constexpr const char* kDefaultProblemReportFile = "zentrix-problem-report.txt";

// True when the command line asks for a problem report (--report-problem
// anywhere, or --report-problem=FILE).
bool AsksForProblemReport(const std::vector<std::string>& arguments);
// The FILE after --report-problem (the next argument when it is not an
// option, or the value after '='); kDefaultProblemReportFile otherwise.
std::string ProblemReportFile(const std::vector<std::string>& arguments);

struct ProblemReportParts {
    std::string programVersion;
    std::string platform;        // PlatformDescription()
    std::string deviceListing;   // what --list-devices prints
    std::string historyPath;     // the history file: its last record goes in
    std::string lastRunTrace;    // the last run's trace: copied whole
};

// Writes a problem report to `file` (the program puts the parts together);
// false with `problem` when it cannot.
using ProblemReportWriter = std::function<bool(const std::string& file, Message& problem)>;

// "Linux 6.1.0-18-amd64 x86_64", "Windows x86-64".
std::string PlatformDescription();

// Writes the report to `file` (replaced; never through a link; private to
// the user). False with `problem` when it cannot.
bool WriteProblemReport(const std::string& file, const ProblemReportParts& parts, Message& problem);
