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

// The calculator's key: its serial number, else its asset tag (which
// travels with it, as a serial does), else its label on its host, else its
// host and port (where every calculator on the port is one).
constexpr char kBySerial = '0';
constexpr char kByTag = '1';
constexpr char kByLabel = '2';
constexpr char kByPort = '3';

std::string KeyOf(const HistoryRecord& record)
{
    if (record[kUsbSerial]) {
        return kBySerial + *record[kUsbSerial];
    }
    if (record[kAssetTag]) {
        return kByTag + *record[kAssetTag];
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

// Where a calculator was: its host and port (a USB calculator's bus
// address changes at each plugging and is no place).
std::string PlaceOf(const HistoryRecord& record)
{
    std::string place(Text(record, kHost));
    place.push_back('\0');
    return place.append(record[kUsbSerial] ? Text(record, kUsbPort) : Port(record));
}

constexpr size_t kFleetCells = 14;   // CFleetTable::kCells
// The cells the first versions wrote. In the CSV the flags follow them and
// the later cells follow the flags, so that every column keeps its place;
// the table shows a later cell only where some calculator has a value.
constexpr size_t kFirstCsvCells = 11;
constexpr std::array<const char*, kFleetCells> kFieldNames = {
    "usb_serial", "usb_port", "model", "os_now", "last_result", "last_run", "host", "os_now_from", "os_now_date",
    "image", "label", "asset_tag", "site", "reason_code"};

constexpr std::array<const char*, kFleetCells> kHeadings = {
    N_("Serial"), N_("Port"), N_("Model"), N_("OS now"), N_("Result"), N_("Last run (UTC)"), N_("Host"),
    N_("OS now from"), N_("Date (UTC)"), N_("Image"), N_("Label"), N_("Asset tag"), N_("Site"), N_("Reason code")};
constexpr size_t kResultCell = 4;
constexpr size_t kFromCell = 7;

std::array<std::string, kFleetCells> CellsOf(const CalculatorState& c)
{
    return {c.serial, c.port,  c.model, c.osNow, c.lastResult, c.lastRun, c.host,
            c.osFrom, c.osDate, c.image, c.label, c.assetTag,   c.site, c.reasonCode};
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

// Two calculators that share a name must never stand as one, whose last run
// hides the other's failure. A label names one port of its host: the same
// label at two ports is two calculators. A serial number travels with its
// calculator from port to port and host to host: it is two calculators only
// when it was reported at two places at once (a run at one began before the
// last run at the other had ended, as in a set).
std::string CFleetView::EntryKey(const HistoryRecord& record, const std::string& name)
{
    if (name[0] == kByPort) {
        return name;
    }
    if (name[0] == kByLabel) {
        std::string key = name;
        key.push_back('\0');
        return key.append(Port(record));
    }
    const uint32_t place = m_texts.Intern(PlaceOf(record));
    std::vector<uint32_t>& places = m_serialPlaces[m_texts.Intern(name)];
    const auto keyOf = [&](size_t i) { return name + '\0' + std::to_string(i); };
    const std::string_view started = Text(record, kStarted);
    const std::string_view ended = Text(record, kEnded);
    size_t free = places.size();
    for (size_t i = 0; i < places.size(); ++i) {
        if (places[i] == place) {
            return keyOf(i);
        }
        const auto other = m_calculators.find(keyOf(i));
        const std::string& lastRun = other != m_calculators.end() ? m_texts.Text(other->second.lastRun) : std::string();
        const bool atOnce = !started.empty() && started < lastRun && ended >= lastRun;
        if (!atOnce && free == places.size()) {
            free = i;
        }
    }
    if (free == places.size()) {
        places.push_back(place);   // at two places at once: another calculator
    } else {
        places[free] = place;      // moved there
    }
    return keyOf(free);
}

void CFleetView::Add(const HistoryRecord& record, bool futureDated)
{
    const std::string name = KeyOf(record);
    const auto [at, added] = m_calculators.try_emplace(EntryKey(record, name));
    Entry& c = at->second;
    if (added) {
        c.name = name[0] == kByPort ? 0 : m_texts.Intern(name);
        ++m_rowsOf[c.name];
    }
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
    c.port = m_texts.Intern(Port(record));
    c.label = m_texts.Intern(Text(record, kLabel));
    c.assetTag = record[kAssetTag] ? m_texts.Intern(*record[kAssetTag]) : c.assetTag;
    c.site = m_texts.Intern(Text(record, kSite));
    c.model = record[kModel] ? m_texts.Intern(*record[kModel]) : c.model;
    TakeOsNow(c, record);
    c.lastResult = m_texts.Intern(Text(record, kResult));
    c.reasonCode = m_texts.Intern(Text(record, kReasonCode));
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
    // Read back after its restart, an update's version is the calculator's
    // word; without, it is assumed. A later report below it contradicts it,
    // for a calculator known by its name (a port's runs may be of several).
    const bool confirmed = updated && Text(record, kConfirmed) == "true" && record[kOsAfter];
    const std::string_view from = m_texts.Text(c.osFrom);
    const bool contradicted = !updated && c.name != 0 &&
                              (from == "updated" || from == "confirmed" || from == "contradicted") &&
                              CompareOsVersions(*record[kOsBefore], std::string(m_texts.Text(c.osNow))) < 0;
    c.osNow = m_texts.Intern(confirmed ? *record[kOsAfter] : updated ? *record[kOsImage] : *record[kOsBefore]);
    c.osFrom = m_texts.Intern(confirmed ? "confirmed" : updated ? "updated" : contradicted ? "contradicted" : "reported");
    c.osDate = m_texts.Intern(Text(record, kEnded));
}

void CFleetView::ForEach(const std::function<void(const CalculatorState&)>& each) const
{
    CalculatorState state;
    for (const auto& [key, c] : m_calculators) {
        state.serial = key[0] == kBySerial ? m_texts.Text(c.name).substr(1) : std::string();
        state.label = m_texts.Text(c.label);
        state.assetTag = m_texts.Text(c.assetTag);
        state.site = m_texts.Text(c.site);
        state.portShared = key[0] == kByPort;
        const auto rows = m_rowsOf.find(c.name);
        state.nameShared = c.name != 0 && rows != m_rowsOf.end() && rows->second > 1;
        // A calculator known by its serial number or tag is shown by it alone,
        // unless two calculators reported that serial at once.
        state.port = (key[0] == kBySerial || key[0] == kByTag) && !state.nameShared ? std::string() : m_texts.Text(c.port);
        state.model = m_texts.Text(c.model);
        state.osNow = m_texts.Text(c.osNow);
        state.lastResult = m_texts.Text(c.lastResult);
        state.reasonCode = m_texts.Text(c.reasonCode);
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
    return !succeeded || calculator.futureDated || calculator.osNow.empty() || calculator.osFrom == "contradicted" ||
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
        const std::string& from = cells[kFromCell];
        cells[kFromCell] = Message(from == "updated"        ? N_("assumed after an update")
                                   : from == "confirmed"    ? N_("confirmed after an update")
                                   : from == "contradicted" ? N_("contradicted: reported below its update")
                                                            : N_("reported"))
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
        m_used[i] = m_used[i] || !cells[i].empty();
    }
}

std::string CFleetTable::Line(const Cells& cells) const
{
    std::string line;
    for (size_t i = 0; i < kCells; ++i) {
        // The inventory's columns only where some calculator has a value.
        if (i >= kFirstCsvCells && !m_used[i]) {
            continue;
        }
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

Message SharedNameNote(const CalculatorState& calculator)
{
    const std::string port = SafeText(calculator.port, 200);
    const std::string host = SafeText(calculator.host.empty() ? "?" : calculator.host, 200);
    if (!calculator.serial.empty()) {
        return Message(N_("The USB serial number %1$s was reported by two calculators at once: each stands as its "
                          "own row (the one last at %2$s on %3$s is this one). Calculators that report the same "
                          "serial number are told apart by their ports only."),
                       {SafeText(calculator.serial, 200), port, host});
    }
    return Message(N_("The label %1$s names calculators at more than one port on %3$s: each port stands as its own "
                      "row (%2$s is one). Give each calculator a label of its own."),
                   {SafeText(calculator.label, 200), port, host});
}

std::string FleetJsonRow(const CalculatorState& calculator, bool first)
{
    const std::array<std::string, kFleetCells> cells = CellsOf(calculator);
    std::string json = first ? "\n  {" : ",\n  {";
    for (size_t i = 0; i < cells.size(); ++i) {
        json += (i == 0 ? "\"" : ", \"") + std::string(kFieldNames[i]) + "\": " +
                (cells[i].empty() ? std::string("null") : JsonString(cells[i]));
    }
    return json + ", \"port_shared\": " + (calculator.portShared ? "true" : "false") +
           ", \"name_shared\": " + (calculator.nameShared ? "true" : "false") + "}";
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
        line += i + 1 == kFirstCsvCells ? ",port_shared,name_shared" : "";
    }
    return line + "\r\n";
}

std::string FleetCsvRow(const CalculatorState& calculator)
{
    const std::array<std::string, kFleetCells> cells = CellsOf(calculator);
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        line += (i == 0 ? "" : ",") + HistoryCsvCell(cells[i]);
        if (i + 1 == kFirstCsvCells) {
            line += std::string(calculator.portShared ? ",yes" : ",no") + (calculator.nameShared ? ",yes" : ",no");
        }
    }
    return line + "\r\n";
}
