// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/fleet_view.h"

#include <algorithm>
#include <array>

#include "device/safe_text.h"
#include "i18n/message.h"
#include "shell/csv_cell.h"
#include "shell/history_table.h"
#include "shell/text_columns.h"

namespace {

std::string Text(const HistoryRecord& record, HistoryField field)
{
    return record[field].value_or("");
}

// The calculator's key: its serial number, else its host and port.
std::string KeyOf(const HistoryRecord& record)
{
    if (record[kUsbSerial]) {
        return "0" + *record[kUsbSerial];
    }
    return "1" + Text(record, kHost) + '\0' + Text(record, kUsbPort) + '\0' + Text(record, kDevice);
}

std::string Port(const HistoryRecord& record)
{
    return record[kUsbPort] ? *record[kUsbPort] : Text(record, kDevice);
}

void FillIn(std::string& known, const std::string& more)
{
    if (known.empty()) {
        known = more;
    }
}

// The parts of a version between its dots.
std::vector<std::string> Parts(const std::string& version)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t dot; (dot = version.find('.', start)) != std::string::npos; start = dot + 1) {
        parts.push_back(version.substr(start, dot - start));
    }
    parts.push_back(version.substr(start));
    return parts;
}

bool IsNumber(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

int ComparePart(const std::string& a, const std::string& b)
{
    if (IsNumber(a) && IsNumber(b)) {
        const std::string x = a.substr(std::min(a.find_first_not_of('0'), a.size()));
        const std::string y = b.substr(std::min(b.find_first_not_of('0'), b.size()));
        return x.size() != y.size() ? (x.size() < y.size() ? -1 : 1) : x.compare(y);
    }
    return a.compare(b);
}

using Cells = std::array<std::string, 7>;
constexpr std::array<const char*, 7> kFieldNames = {"usb_serial", "usb_port", "model", "os_now",
                                                    "last_result", "last_run", "host"};

constexpr std::array<const char*, 7> kHeadings = {N_("Serial"), N_("Port"),           N_("Model"), N_("OS now"),
                                                  N_("Result"), N_("Last run (UTC)"), N_("Host")};
constexpr size_t kResultCell = 4;

Cells CellsOf(const CalculatorState& c)
{
    return {c.serial, c.port, c.model, c.osNow, c.lastResult, c.lastRun, c.host};
}

std::string CsvLine(const Cells& cells)
{
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        line += (i == 0 ? "" : ",") + HistoryCsvCell(cells[i]);
    }
    return line + "\r\n";
}

}  // namespace

void CFleetView::Add(const HistoryRecord& record)
{
    CalculatorState& c = m_calculators[KeyOf(record)];
    const std::string ended = Text(record, kEnded);
    if (ended < c.lastRun) {
        FillIn(c.model, Text(record, kModel));
        FillIn(c.osNow, Text(record, kOsBefore));
        return;
    }
    c.serial = Text(record, kUsbSerial);
    c.port = c.serial.empty() ? Port(record) : std::string();
    c.model = record[kModel] ? *record[kModel] : c.model;
    c.osNow = record[kOsBefore] ? *record[kOsBefore] : c.osNow;
    c.lastResult = Text(record, kResult);
    if (c.lastResult == "updated" && record[kOsImage]) {
        c.osNow = *record[kOsImage];
    }
    c.lastRun = ended;
    c.host = Text(record, kHost);
}

std::vector<CalculatorState> CFleetView::Calculators() const
{
    std::vector<CalculatorState> all;
    all.reserve(m_calculators.size());
    for (const auto& [key, state] : m_calculators) {
        all.push_back(state);
    }
    return all;
}

int CompareOsVersions(const std::string& a, const std::string& b)
{
    const std::vector<std::string> x = Parts(a);
    const std::vector<std::string> y = Parts(b);
    for (size_t i = 0; i < std::max(x.size(), y.size()); ++i) {
        const int order = ComparePart(i < x.size() ? x[i] : "0", i < y.size() ? y[i] : "0");
        if (order != 0) {
            return order < 0 ? -1 : 1;
        }
    }
    return 0;
}

bool NeedsUpdate(const CalculatorState& calculator, const std::string& version)
{
    const bool succeeded = calculator.lastResult == "updated" || calculator.lastResult == "current";
    return !succeeded || calculator.osNow.empty() ||
           CompareOsVersions(calculator.osNow, version) < 0;
}

std::string FleetTable(const std::vector<CalculatorState>& calculators, const MoCatalogue* texts)
{
    Cells headings;
    for (size_t i = 0; i < headings.size(); ++i) {
        headings[i] = Message(kHeadings[i]).Render(texts);
    }
    std::vector<Cells> rows = {headings};
    for (const CalculatorState& c : calculators) {
        Cells cells = CellsOf(c);
        cells[kResultCell] = ShownResultWord(cells[kResultCell], texts);
        for (std::string& cell : cells) {
            cell = SafeText(cell, 200);
        }
        rows.push_back(cells);
    }
    std::array<size_t, 7> widths = {};
    for (const Cells& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], TextColumns(row[i]));
        }
    }
    std::string table;
    for (const Cells& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            line += row[i] + std::string(i + 1 < row.size() ? widths[i] - TextColumns(row[i]) + 2 : 0, ' ');
        }
        table += line + "\n";
    }
    return table;
}

std::string FleetJson(const std::vector<CalculatorState>& calculators)
{
    std::string json = "{\"schema_version\": 1, \"calculators\": [";
    for (size_t n = 0; n < calculators.size(); ++n) {
        const Cells cells = CellsOf(calculators[n]);
        json += n == 0 ? "\n  {" : ",\n  {";
        for (size_t i = 0; i < cells.size(); ++i) {
            json += (i == 0 ? "\"" : ", \"") + std::string(kFieldNames[i]) + "\": " +
                    (cells[i].empty() ? std::string("null") : JsonString(cells[i]));
        }
        json += "}";
    }
    return json + (calculators.empty() ? "]}\n" : "\n]}\n");
}

std::string FleetCsv(const std::vector<CalculatorState>& calculators)
{
    Cells header;
    std::copy(kFieldNames.begin(), kFieldNames.end(), header.begin());
    std::string csv = CsvLine(header);
    for (const CalculatorState& c : calculators) {
        csv += CsvLine(CellsOf(c));
    }
    return csv;
}
