// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `--history --by-calculator`: where each calculator stands now, from the
// records of its runs read in time order. A calculator is known by its USB
// serial number; one without (a serial-port calculator, a run that ended
// before the serial was read) by its host and port. Only one state per
// calculator is held, never the records.
#include <map>
#include <string>
#include <vector>

#include "shell/history.h"

class MoCatalogue;

struct CalculatorState {
    std::string serial;      // empty when not known
    std::string port;        // USB port or device path, when there is no serial
    std::string model;
    std::string osNow;       // the image's version after its last successful update, else the version it reported
    std::string lastResult;
    std::string lastRun;     // when the last run ended (as the records write times)
    std::string host;        // where the last run was
};

class CFleetView {
public:
    // Takes one more record; records are given in time order (one older
    // than the calculator's last run only fills in what is not known).
    void Add(const HistoryRecord& record);
    // Every calculator, ordered by serial number, then host and port.
    std::vector<CalculatorState> Calculators() const;
    size_t Size() const { return m_calculators.size(); }

private:
    std::map<std::string, CalculatorState> m_calculators;
};

// Compares two OS versions part by part ("5.10.0" > "5.9.2"; the parts
// between dots compared as numbers when both are, else as texts): <0, 0, >0.
int CompareOsVersions(const std::string& a, const std::string& b);

// Whether the calculator needs an update to `version`: its OS now is below
// it or not known, or its last run left it neither updated nor current.
bool NeedsUpdate(const CalculatorState& calculator, const std::string& version);

// The calculators as a table (headings in `texts`' language), as one JSON
// document and as CSV.
std::string FleetTable(const std::vector<CalculatorState>& calculators, const MoCatalogue* texts);
std::string FleetJson(const std::vector<CalculatorState>& calculators);
std::string FleetCsv(const std::vector<CalculatorState>& calculators);
