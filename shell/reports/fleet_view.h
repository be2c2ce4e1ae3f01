// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `--history --by-calculator`: where each calculator stands now, from the
// records of its runs read in time order. A calculator is known by its USB
// serial number; one without (a serial-port calculator, a run that ended
// before the serial was read) by its asset tag, else by its label on its
// host, and one with none of them by its host and port: every calculator
// on that port is then one. A label at two ports, or a serial number or
// asset tag at two places at once, is two calculators. Only one small state
// per calculator is held, never the records: the texts calculators share
// (models, versions, results, hosts, times) are kept once.
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "i18n/message.h"
#include "shell/records/history_record.h"

class MoCatalogue;

struct CalculatorState {
    std::string serial;      // empty when not known
    std::string label;       // the label of its last run; empty when none
    std::string assetTag;    // its tag in the inventory, as its last run that had one said
    std::string site;        // where its last run was, as that machine names its site
    std::string port;        // USB port or device path, when there is no serial
    std::string model;
    std::string osNow;       // the image's version after its last successful update, else the version it reported
    std::string lastResult;
    std::string reasonCode;  // why its last run failed or was refused, as a stable code; empty when it did not
    std::string lastRun;     // when the last run ended (as the records write times)
    std::string host;        // where the last run was
    // Where osNow comes from: "reported" (a check, or the version read at
    // the start of a run), "updated" (assumed after an update), "confirmed"
    // (read back after an update's restart) or "contradicted" (reported
    // below what an earlier update put there), and when (the end of that run).
    std::string osFrom;
    std::string osDate;
    std::string image;       // the last run's image version and the start of its SHA-256
    bool futureDated = false;   // all that is known comes from a record dated later than it can be
    bool portShared = false;    // known by host and port only: its port's calculators are not told apart
    // Its serial number was reported at two places at once, or its label at
    // two ports: each is a row of its own, none standing for the others.
    bool nameShared = false;
};

// Texts kept once however many hold them; 0 is the empty text.
class CTextPool {
public:
    CTextPool();
    uint32_t Intern(std::string_view text);
    const std::string& Text(uint32_t index) const { return m_texts[index]; }

private:
    std::deque<std::string> m_texts;   // never moved: the index's views stay valid
    std::unordered_map<std::string_view, uint32_t> m_index;
};

class CFleetView {
public:
    // Takes one more record; records are given in time order (one older
    // than the calculator's last run only fills in what is not known). A
    // record `futureDated` (history_merge.h) never stands for the last run
    // of a calculator that has another, and any other replaces it.
    void Add(const HistoryRecord& record, bool futureDated = false);
    // Each calculator, ordered by serial number, then host and port.
    void ForEach(const std::function<void(const CalculatorState&)>& each) const;
    size_t Size() const { return m_calculators.size(); }

private:
    struct Entry {
        uint32_t port = 0;
        uint32_t label = 0;
        uint32_t assetTag = 0;
        uint32_t site = 0;
        uint32_t model = 0;
        uint32_t osNow = 0;
        uint32_t lastResult = 0;
        uint32_t reasonCode = 0;
        uint32_t lastRun = 0;
        uint32_t host = 0;
        uint32_t osFrom = 0;
        uint32_t osDate = 0;
        uint32_t image = 0;
        uint32_t name = 0;   // the serial or label key it is known by; 0 when known by its port
        bool known = false;
        bool futureDated = false;
    };
    // The version `record` says the calculator runs now, and whence.
    void TakeOsNow(Entry& c, const HistoryRecord& record);
    std::map<std::string, Entry> m_calculators;
    // The row of `record` among those of its name (KeyOf in fleet_view.cpp).
    std::string EntryKey(const HistoryRecord& record, const std::string& name);
    std::unordered_map<uint32_t, uint32_t> m_rowsOf;   // per name: how many rows it has
    // Per serial number: the place (host and port) each of its rows was last at.
    std::unordered_map<uint32_t, std::vector<uint32_t>> m_serialPlaces;
    CTextPool m_texts;
};

// Whether the calculator needs an update to `version`: its OS now is below
// it or not known, or its last run left it neither updated nor current, or
// what is known of it is dated in the future.
bool NeedsUpdate(const CalculatorState& calculator, const std::string& version);

// The calculators as a table (headings in `texts`' language), made in two
// passes like CHistoryTable: each calculator measured, then written.
class CFleetTable {
public:
    explicit CFleetTable(const MoCatalogue* texts);
    void Measure(const CalculatorState& calculator);
    std::string Heading() const;
    std::string Row(const CalculatorState& calculator) const;

private:
    static constexpr size_t kCells = 14;
    using Cells = std::array<std::string, kCells>;
    Cells ShownCells(const CalculatorState& calculator) const;
    std::string Line(const Cells& cells) const;

    const MoCatalogue* m_texts;
    Cells m_headings;
    std::array<size_t, kCells> m_widths = {};
    std::array<bool, kCells> m_used = {};
};

// Said below the table for each calculator with `portShared`: that the
// calculators of its port are not told apart, and how labels do it.
Message SharedPortNote(const CalculatorState& calculator);

// Said below the table for each calculator with `nameShared`: that its
// serial number or label was reported at more than one port.
Message SharedNameNote(const CalculatorState& calculator);

// The calculators as one JSON document (its start, a line per calculator,
// `first` for the first written, and its end) and as CSV (a header and a
// row per calculator).
inline constexpr const char* kFleetJsonStart = "{\"schema_version\": 1, \"calculators\": [";
std::string FleetJsonRow(const CalculatorState& calculator, bool first);
std::string FleetJsonEnd(uint64_t calculators);
std::string FleetCsvHeader();
std::string FleetCsvRow(const CalculatorState& calculator);
