// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/reports/fleet_view.h"

#include <algorithm>

#include "device/safe_text.h"
#include "i18n/message.h"
#include "shell/reports/csv_cell.h"
#include "shell/reports/history_table.h"
#include "shell/screen/text_columns.h"
#include "shell/startup/os_version_text.h"

namespace {

std::string_view Text(const HistoryRecord& record, HistoryField field)
{
    return record[field] ? std::string_view(*record[field]) : std::string_view();
}

// The calculator's key: its serial number, else its label on its host,
// else its host and port (where every calculator on the port is one).
constexpr char kBySerial = '0';
constexpr char kByLabel = '1';
constexpr char kByPort = '2';

std::string KeyOf(const HistoryRecord& record)
{
    if (record[kUsbSerial]) {
        return kBySerial + *record[kUsbSerial];
    }
    if (record[kLabel]) {
        std::string key(1, kByLabel);
        key.append(Text(record, kHost)).push_back('\0');
        return key + *record[kLabel];
    }
    std::string key(1, kByPort);
    for (const HistoryField field : {kHost, kUsbPort, kDevice}) {
        key.append(Text(record, field)).push_back('\0');
    }
    return key;
}

std::string_view Port(const HistoryRecord& record)
{
    return record[kUsbPort] ? Text(record, kUsbPort) : Text(record, kDevice);
}

constexpr size_t kFleetCells = 11;   // CFleetTable::kCells
constexpr std::array<const char*, kFleetCells> kFieldNames = {
    "usb_serial", "usb_port", "model", "os_now", "last_result", "last_run", "host", "os_now_from", "os_now_date",
    "image", "label"};

constexpr std::array<const char*, kFleetCells> kHeadings = {
    N_("Serial"), N_("Port"), N_("Model"), N_("OS now"), N_("Result"), N_("Last run (UTC)"), N_("Host"),
    N_("OS now from"), N_("Date (UTC)"), N_("Image"), N_("Label")};
constexpr size_t kResultCell = 4;
constexpr size_t kFromCell = 7;

std::array<std::string, kFleetCells> CellsOf(const CalculatorState& c)
{
    return {c.serial, c.port, c.model, c.osNow, c.lastResult, c.lastRun, c.host, c.osFrom, c.osDate, c.image, c.label};
}

// The image of a record: its version and the first 8 digits of its SHA-256.
std::string ImageOf(const HistoryRecord& record)
{
    std::string image(Text(record, kOsImage));
    if (record[kImageSha256]) {
        image += (image.empty() ? "" : " ") + record[kImageSha256]->substr(0, 8);
    }
    return image;
}

}  // namespace

CTextPool::CTextPool()
{
    Intern("");
}

uint32_t CTextPool::Intern(std::string_view text)
{
    if (const auto found = m_index.find(text); found != m_index.end()) {
        return found->second;
    }
    const auto index = static_cast<uint32_t>(m_texts.size());
    m_index.emplace(m_texts.emplace_back(text), index);
    return index;
}

void CFleetView::Add(const HistoryRecord& record, bool futureDated)
{
    Entry& c = m_calculators[KeyOf(record)];
    const std::string_view ended = Text(record, kEnded);
    const bool older = c.known && !c.futureDated && (futureDated || ended < m_texts.Text(c.lastRun));
    if (older) {
        c.model = c.model != 0 ? c.model : m_texts.Intern(Text(record, kModel));
        if (c.osNow == 0 && record[kOsBefore]) {
            c.osNow = m_texts.Intern(*record[kOsBefore]);
            c.osFrom = m_texts.Intern("reported");
            c.osDate = m_texts.Intern(ended);
        }
        return;
    }
    c.known = true;
    c.futureDated = futureDated;
    c.port = record[kUsbSerial] ? 0 : m_texts.Intern(Port(record));
    c.label = m_texts.Intern(Text(record, kLabel));
    c.model = record[kModel] ? m_texts.Intern(*record[kModel]) : c.model;
    TakeOsNow(c, record);
    c.lastResult = m_texts.Intern(Text(record, kResult));
    c.lastRun = m_texts.Intern(ended);
    c.host = m_texts.Intern(Text(record, kHost));
    c.image = m_texts.Intern(ImageOf(record));
}

void CFleetView::TakeOsNow(Entry& c, const HistoryRecord& record)
{
    const bool updated = Text(record, kResult) == "updated" && record[kOsImage];
    if (!updated && !record[kOsBefore]) {
        return;   // the run learned nothing of the OS: what was known stands
    }
    c.osNow = m_texts.Intern(updated ? *record[kOsImage] : *record[kOsBefore]);
    c.osFrom = m_texts.Intern(updated ? "updated" : "reported");
    c.osDate = m_texts.Intern(Text(record, kEnded));
}

void CFleetView::ForEach(const std::function<void(const CalculatorState&)>& each) const
{
    CalculatorState state;
    for (const auto& [key, c] : m_calculators) {
        state.serial = key[0] == kBySerial ? key.substr(1) : std::string();
        state.label = m_texts.Text(c.label);
        state.portShared = key[0] == kByPort;
        state.port = m_texts.Text(c.port);
        state.model = m_texts.Text(c.model);
        state.osNow = m_texts.Text(c.osNow);
        state.lastResult = m_texts.Text(c.lastResult);
        state.lastRun = m_texts.Text(c.lastRun);
        state.host = m_texts.Text(c.host);
        state.osFrom = m_texts.Text(c.osFrom);
        state.osDate = m_texts.Text(c.osDate);
        state.image = m_texts.Text(c.image);
        state.futureDated = c.futureDated;
        each(state);
    }
}

bool NeedsUpdate(const CalculatorState& calculator, const std::string& version)
{
    const bool succeeded =
        calculator.lastResult == "updated" || calculator.lastResult == "current" || calculator.lastResult == "checked";
    return !succeeded || calculator.futureDated || calculator.osNow.empty() ||
           CompareOsVersions(calculator.osNow, version) < 0;
}

CFleetTable::CFleetTable(const MoCatalogue* texts) : m_texts(texts)
{
    for (size_t i = 0; i < kCells; ++i) {
        m_headings[i] = Message(kHeadings[i]).Render(texts);
        m_widths[i] = TextColumns(m_headings[i]);
    }
}

CFleetTable::Cells CFleetTable::ShownCells(const CalculatorState& calculator) const
{
    Cells cells = CellsOf(calculator);
    cells[kResultCell] = ShownResultWord(cells[kResultCell], m_texts);
    if (!cells[kFromCell].empty()) {
        cells[kFromCell] = Message(cells[kFromCell] == "updated" ? N_("assumed after an update") : N_("reported"))
                               .Render(m_texts);
    }
    for (std::string& cell : cells) {
        cell = SafeText(cell, 200);
    }
    return cells;
}

void CFleetTable::Measure(const CalculatorState& calculator)
{
    const Cells cells = ShownCells(calculator);
    for (size_t i = 0; i < kCells; ++i) {
        m_widths[i] = std::max(m_widths[i], TextColumns(cells[i]));
    }
}

std::string CFleetTable::Line(const Cells& cells) const
{
    std::string line;
    for (size_t i = 0; i < kCells; ++i) {
        line += cells[i] + std::string(i + 1 < kCells ? m_widths[i] - TextColumns(cells[i]) + 2 : 0, ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);   // empty last cells leave no trailing blanks
    return line + "\n";
}

std::string CFleetTable::Heading() const
{
    return Line(m_headings);
}

std::string CFleetTable::Row(const CalculatorState& calculator) const
{
    return Line(ShownCells(calculator));
}

Message SharedPortNote(const CalculatorState& calculator)
{
    return Message(N_("The calculators updated at %1$s on %2$s have neither a USB serial number nor a label: they "
                      "are not told apart and stand as one here. Give each a label (a line label = DEVICE = NAME "
                      "in the configuration file) to tell them apart."),
                   {SafeText(calculator.port, 200), SafeText(calculator.host.empty() ? "?" : calculator.host, 200)});
}

std::string FleetJsonRow(const CalculatorState& calculator, bool first)
{
    const std::array<std::string, kFleetCells> cells = CellsOf(calculator);
    std::string json = first ? "\n  {" : ",\n  {";
    for (size_t i = 0; i < cells.size(); ++i) {
        json += (i == 0 ? "\"" : ", \"") + std::string(kFieldNames[i]) + "\": " +
                (cells[i].empty() ? std::string("null") : JsonString(cells[i]));
    }
    return json + ", \"port_shared\": " + (calculator.portShared ? "true" : "false") + "}";
}

std::string FleetJsonEnd(uint64_t calculators)
{
    return calculators == 0 ? "]}\n" : "\n]}\n";
}

std::string FleetCsvHeader()
{
    std::string line;
    for (size_t i = 0; i < kFieldNames.size(); ++i) {
        line += (i == 0 ? "" : ",") + std::string(kFieldNames[i]);
    }
    return line + ",port_shared\r\n";
}

std::string FleetCsvRow(const CalculatorState& calculator)
{
    const std::array<std::string, kFleetCells> cells = CellsOf(calculator);
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        line += (i == 0 ? "" : ",") + HistoryCsvCell(cells[i]);
    }
    return line + (calculator.portShared ? ",yes" : ",no") + "\r\n";
}
