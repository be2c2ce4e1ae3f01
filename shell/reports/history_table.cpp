// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/reports/history_table.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "device/safe_text.h"
#include "i18n/message.h"
#include "i18n/stored_message.h"
#include "shell/screen/device_name.h"
#include "shell/screen/text_columns.h"
#include "update/run_update.h"

namespace {

enum Column { kWhen, kWhat, kWhere, kNamed, kSerial, kCalculator, kBefore, kImage, kHow, kWhy, kColumnCount };

// The columns given up first when the table is too wide for the terminal.
constexpr Column kLeastNeeded[] = {kHow, kSerial, kCalculator, kBefore, kImage, kNamed};
constexpr size_t kGap = 2;   // spaces between two columns
constexpr const char* kReasonIndent = "    ";

std::string Cell(const HistoryRecord& record, HistoryField field)
{
    const std::optional<std::string>& value = record[field];
    return value ? SafeText(*value) : "-";
}

// "2026-12-07T19:35:25Z" as "2026-12-07 19:35:25".
std::string UtcTime(const std::string& iso)
{
    std::string text = iso;
    if (text.size() == 20 && text[10] == 'T' && text.back() == 'Z') {
        text[10] = ' ';
        text.pop_back();
    }
    return text;
}

// "2026-12-07T19:35:25Z" as a calendar time; false for any other text.
bool ReadUtc(const std::string& iso, std::tm& utc)
{
    static constexpr std::string_view kPattern = "dddd-dd-ddTdd:dd:ddZ";
    if (iso.size() != kPattern.size()) {
        return false;
    }
    for (size_t i = 0; i < kPattern.size(); ++i) {
        const bool digit = iso[i] >= '0' && iso[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : iso[i] != kPattern[i]) {
            return false;
        }
    }
    const auto number = [&iso](size_t at, size_t digits) {
        int value = 0;
        for (size_t i = at; i < at + digits; ++i) {
            value = value * 10 + (iso[i] - '0');
        }
        return value;
    };
    utc.tm_year = number(0, 4) - 1900;
    utc.tm_mon = number(5, 2) - 1;
    utc.tm_mday = number(8, 2);
    utc.tm_hour = number(11, 2);
    utc.tm_min = number(14, 2);
    utc.tm_sec = number(17, 2);
    return true;
}

// "2026-12-07T19:35:25Z" as "2026-12-07 20:35 +0100" where the clock is an
// hour ahead of UTC; a text that is no such time stays as it is.
std::string LocalTime(const std::string& iso)
{
    std::tm utc{};
    if (!ReadUtc(iso, utc)) {
        return iso;
    }
    std::tm local{};
#ifdef _WIN32
    const std::time_t time = _mkgmtime(&utc);
    const bool known = time != -1 && localtime_s(&local, &time) == 0;
#else
    const std::time_t time = timegm(&utc);
    const bool known = time != -1 && localtime_r(&time, &local) != nullptr;
#endif
    if (!known) {
        return UtcTime(iso);
    }
    std::tm asIfUtc = local;
#ifdef _WIN32
    const long offset = static_cast<long>(_mkgmtime(&asIfUtc) - time) / 60;
#else
    const long offset = static_cast<long>(timegm(&asIfUtc) - time) / 60;
#endif
    char text[48] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    const int minutes = static_cast<int>((offset < 0 ? -offset : offset) % (24 * 60));
    char zone[16] = {};
    std::snprintf(zone, sizeof zone, " %c%02d%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return std::string(text) + zone;
}

// The headings and cells of one column.
struct ColumnText {
    const char* title;
    std::string (*cell)(const HistoryRecord&);
};

const ColumnText kColumns[kColumnCount] = {
    {N_("Started (UTC)"), [](const HistoryRecord& r) { return UtcTime(Cell(r, kStarted)); }},
    {N_("Result"), [](const HistoryRecord& r) { return Cell(r, kResult); }},
    {N_("Device"), [](const HistoryRecord& r) { return Cell(r, kDevice); }},
    {N_("Label"), [](const HistoryRecord& r) { return Cell(r, kLabel); }},
    {N_("Serial"), [](const HistoryRecord& r) { return Cell(r, kUsbSerial); }},
    {N_("Model"), [](const HistoryRecord& r) { return Cell(r, kModel); }},
    {N_("OS before"), [](const HistoryRecord& r) { return Cell(r, kOsBefore); }},
    {N_("Image"), [](const HistoryRecord& r) { return Cell(r, kOsImage); }},
    {N_("Mode"), [](const HistoryRecord& r) { return Cell(r, kMode); }},
    {N_("Reason"), [](const HistoryRecord& r) { return r[kReason] ? SafeText(*r[kReason], 1000) : std::string(); }},
};
// On a terminal the start is the local time.
const ColumnText kLocalStart = {N_("Started"), [](const HistoryRecord& r) { return LocalTime(Cell(r, kStarted)); }};

// The headings and the words that may be translated (result, mode,
// reason) by characters, the other cells by bytes as they always were.
size_t CellWidth(size_t column, const std::string& cell, bool heading)
{
    return heading || column == kWhat || column == kHow || column == kWhy ? TextColumns(cell) : cell.size();
}

const ColumnText& TextOf(size_t column, bool onTerminal)
{
    return column == kWhen && onTerminal ? kLocalStart : kColumns[column];
}

}  // namespace

std::string ShownLocalTime(const std::string& iso)
{
    return LocalTime(iso);
}

std::optional<std::string> RecordField(const HistoryRecord& record, std::string_view name)
{
    for (size_t f = 0; f < kHistoryFieldCount; ++f) {
        if (name == kHistoryFieldNames[f]) {
            return record.fields[f];
        }
    }
    return std::nullopt;
}

std::vector<std::string> HistoryWindowHeadings(const MoCatalogue* texts)
{
    std::vector<std::string> headings;
    for (const char* heading : {N_("Started"), N_("Result"), N_("Label"), N_("Device"), N_("Serial"), N_("Model"),
                                N_("OS before"), N_("Image"), N_("Mode"), N_("Reason")}) {
        headings.push_back(Message(heading).Render(texts));
    }
    return headings;
}

std::vector<std::string> HistoryWindowCells(const HistoryRecord& record, const MoCatalogue* texts)
{
    const auto shown = [](const std::optional<std::string>& value) { return value ? SafeText(*value) : "-"; };
    return {ShownLocalTime(record[kStarted].value_or("-")),
            ShownResultWord(record[kResult].value_or("-"), texts),
            shown(RecordField(record, "label")),
            // A port by the name the rows give it ("COM8", not "\\.\COM8").
            record[kDevice] ? SafeText(FriendlyDeviceName(*record[kDevice], UsbLocation{}).English()) : "-",
            shown(record[kUsbSerial]),
            shown(record[kModel]),
            shown(record[kOsBefore]),
            shown(record[kOsImage]),
            ShownModeWord(record[kMode].value_or("-"), texts),
            ShownReason(record, texts)};
}

std::string ShownModeWord(const std::string& recorded, const MoCatalogue* texts)
{
    for (const char* word : {N_("single"), N_("all"), N_("watch")}) {
        if (recorded == word) {
            return Message(word).Render(texts);
        }
    }
    return recorded;
}

std::string ShownReason(const HistoryRecord& record, const MoCatalogue* texts, size_t maxChars)
{
    if (record[kReasonMessage]) {
        if (const std::optional<std::string> shown = RenderStoredMessage(*record[kReasonMessage], texts)) {
            return SafeText(*shown, maxChars);
        }
    }
    return record[kReason] ? SafeText(*record[kReason], maxChars) : std::string();
}

std::string ShownResultWord(const std::string& recorded, const MoCatalogue* texts)
{
    for (const UpdateResult result : {Success, AlreadyCurrent, UnsupportedModel, Failed, Checked}) {
        if (recorded == ResultWord(result)) {
            return Message(ResultWord(result)).Render(texts);
        }
    }
    return recorded;
}

CHistoryTable::CHistoryTable(const MoCatalogue* texts, int columns) : m_columns(columns), m_texts(texts)
{
    for (size_t c = 0; c < kColumnCount; ++c) {
        m_headings.push_back(Message(TextOf(c, m_columns > 0).title).Render(texts));
        m_widths.push_back(CellWidth(c, m_headings.back(), true));
    }
}

CHistoryTable::Cells CHistoryTable::CellsOf(const HistoryRecord& record) const
{
    Cells cells;
    for (size_t c = 0; c < kColumnCount; ++c) {
        cells.push_back(TextOf(c, m_columns > 0).cell(record));
    }
    cells[kWhat] = ShownResultWord(cells[kWhat], m_texts);
    cells[kHow] = ShownModeWord(cells[kHow], m_texts);
    cells[kWhy] = ShownReason(record, m_texts);
    return cells;
}

void CHistoryTable::Measure(const HistoryRecord& record)
{
    const Cells cells = CellsOf(record);
    for (size_t c = 0; c < kColumnCount; ++c) {
        m_widths[c] = std::max(m_widths[c], CellWidth(c, cells[c], false));
    }
    m_anyLabel = m_anyLabel || record[kLabel].has_value();
}

std::vector<bool> CHistoryTable::ShownColumns() const
{
    std::vector<bool> shown(kColumnCount, true);
    shown[kNamed] = m_anyLabel;
    if (m_columns <= 0) {
        return shown;
    }
    const auto width = [&] {
        size_t total = 0;
        for (size_t c = 0; c < kColumnCount; ++c) {
            total += shown[c] ? (total > 0 ? kGap : 0) + m_widths[c] : 0;
        }
        return total;
    };
    const auto room = static_cast<size_t>(m_columns - 1);
    if (width() <= room) {
        return shown;
    }
    shown[kWhy] = false;   // under its row
    for (const Column column : kLeastNeeded) {
        if (width() <= room) {
            break;
        }
        shown[column] = false;
    }
    return shown;
}

std::string CHistoryTable::Line(const Cells& cells, bool heading) const
{
    const std::vector<bool> shown = ShownColumns();
    std::string line;
    for (size_t c = 0; c < kColumnCount; ++c) {
        if (shown[c]) {
            const size_t width = CellWidth(c, cells[c], heading);
            line += cells[c];
            line += std::string(m_widths[c] - width + kGap, ' ');
        }
    }
    line.erase(line.find_last_not_of(' ') + 1);
    if (m_columns <= 0) {
        return line + "\n";
    }
    const auto room = static_cast<size_t>(m_columns - 1);
    line = ShortenedToColumns(line, room) + "\n";
    const std::string& reason = cells[kWhy];
    if (!heading && !shown[kWhy] && !reason.empty()) {
        const size_t indent = std::char_traits<char>::length(kReasonIndent);
        std::string wrapped = WrapAtWords(reason, static_cast<int>(room > indent ? room - indent + 1 : 1));
        for (size_t start = 0; start < wrapped.size();) {
            const size_t end = std::min(wrapped.find('\n', start), wrapped.size());
            line += ShortenedToColumns(kReasonIndent + wrapped.substr(start, end - start), room) + "\n";
            start = end + 1;
        }
    }
    return line;
}

std::string CHistoryTable::Heading() const
{
    return Line(m_headings, true);
}

std::string CHistoryTable::Row(const HistoryRecord& record) const
{
    return Line(CellsOf(record), false);
}

std::string HistoryTable(const std::vector<HistoryRecord>& records, const MoCatalogue* texts, int columns)
{
    CHistoryTable table(texts, columns);
    for (const HistoryRecord& record : records) {
        table.Measure(record);
    }
    std::string text = table.Heading();
    for (const HistoryRecord& record : records) {
        text += table.Row(record);
    }
    return text;
}

namespace {

// `text` with its capitals as small letters: ASCII's and Latin-1's ("Ä" is
// "ä"), which are the letters of the program's languages' result words and
// of what people type in the filter.
std::string Folded(const std::string& text)
{
    std::string folded = text;
    for (size_t i = 0; i < folded.size(); ++i) {
        const auto c = static_cast<unsigned char>(folded[i]);
        if (c >= 'A' && c <= 'Z') {
            folded[i] = static_cast<char>(c + 32);
        } else if (c == 0xc3 && i + 1 < folded.size()) {
            const auto next = static_cast<unsigned char>(folded[i + 1]);
            if (next >= 0x80 && next <= 0x9e && next != 0x97) {   // U+00C0..U+00DE but the multiplication sign
                folded[i + 1] = static_cast<char>(next + 0x20);
            }
            ++i;
        }
    }
    return folded;
}

}  // namespace

bool HistoryRunShown(const std::string& recordedResult, const std::vector<std::string>& cells,
                     const std::string& result, const std::string& text)
{
    if (!result.empty() && recordedResult != result) {
        return false;
    }
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return true;
    }
    const std::string wanted = Folded(text.substr(first, text.find_last_not_of(" \t") - first + 1));
    return std::any_of(cells.begin(), cells.end(),
                       [&wanted](const std::string& cell) { return Folded(cell).find(wanted) != std::string::npos; });
}
