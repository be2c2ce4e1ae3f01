// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/reports/station_status_report.h"

#include <map>
#include <ostream>

#include "i18n/json_cursor.h"
#include "i18n/safe_text.h"
#include "i18n/stored_message.h"
#include "shell/files/safe_file.h"
#include "shell/records/station_status.h"
#include "shell/screen/text_columns.h"

namespace {

// A station keeps 256 rows at most: far less than this.
constexpr uint64_t kMostStatusBytes = 4u << 20;

using Fields = std::map<std::string, std::string>;

// One line: an object of strings, nothing else.
bool ParseFields(std::string_view line, Fields& fields)
{
    CJsonCursor cursor(line);
    if (!cursor.Take('{')) {
        return false;
    }
    if (!cursor.Take('}')) {
        do {
            std::string name;
            std::string value;
            if (!cursor.String(name) || !cursor.Take(':') || !cursor.String(value)) {
                return false;
            }
            fields[name] = std::move(value);
        } while (cursor.Take(','));
        if (!cursor.Take('}')) {
            return false;
        }
    }
    return cursor.AtEnd();
}

// `text` safe to print, line by line: whatever wrote the file, no control
// character reaches the terminal.
std::string Printable(const std::string& text)
{
    std::string shown;
    size_t at = 0;
    for (;;) {
        const size_t end = text.find('\n', at);
        shown += SafeText(std::string_view(text).substr(at, end == std::string::npos ? end : end - at), 1000);
        if (end == std::string::npos) {
            return shown;
        }
        shown += '\n';
        at = end + 1;
    }
}

// The field `name` in the reader's language where its stored form renders,
// else as written (English).
std::string Shown(const Fields& fields, const std::string& name, const MoCatalogue* texts)
{
    const auto stored = fields.find(name + "_message");
    if (stored != fields.end() && !stored->second.empty()) {
        if (std::optional<std::string> rendered = RenderStoredMessage(stored->second, texts)) {
            return Printable(*rendered);
        }
    }
    const auto english = fields.find(name);
    return english != fields.end() ? Printable(english->second) : std::string();
}

std::string Padded(const std::string& text, size_t columns)
{
    const size_t used = TextColumns(text);
    return text + std::string(used < columns ? columns - used : 0, ' ');
}

void PrintTable(const ShownStationStatus& status, const MoCatalogue* texts, int columns, std::ostream& out)
{
    // The heading broken between words at the terminal's width; the table
    // as it is (a row is one line, for grep).
    out << WrapAtWords(Message(N_("Station (process %s), as of %s: %s"),
                               {std::to_string(status.pid), status.written, Message::Raw(status.heading)})
                           .Render(texts),
                       columns)
        << '\n';
    if (status.rows.empty()) {
        out << Message(N_("No calculator is connected.")).Render(texts) << '\n';
        return;
    }
    const std::string heads[] = {Message(N_("calculator")).Render(texts), Message(N_("phase")).Render(texts),
                                 Message(N_("done")).Render(texts), Message(N_("silent")).Render(texts)};
    size_t width[3] = {TextColumns(heads[0]), TextColumns(heads[1]), std::max<size_t>(TextColumns(heads[2]), 5)};
    for (const ShownStationStatus::Row& row : status.rows) {
        width[0] = std::max(width[0], TextColumns(row.name));
        width[1] = std::max(width[1], TextColumns(row.phase));
    }
    out << Padded(heads[0], width[0]) << "  " << Padded(heads[1], width[1]) << "  " << Padded(heads[2], width[2]) << "  "
        << heads[3] << '\n';
    for (const ShownStationStatus::Row& row : status.rows) {
        const std::string done = row.finished ? "" : row.percent + " %";
        const std::string silent =
            row.silentSeconds.empty() ? "" : Message(N_("%s s"), {row.silentSeconds}).Render(texts);
        std::string line = Padded(row.name, width[0]) + "  " + Padded(row.phase, width[1]) + "  " +
                           Padded(done, width[2]) + "  " + silent;
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << '\n';
    }
}

}  // namespace

std::optional<ShownStationStatus> ParseStationStatus(std::string_view text, const MoCatalogue* texts)
{
    ShownStationStatus status;
    bool head = true;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        Fields fields;
        if (!ParseFields(line, fields)) {
            return std::nullopt;
        }
        if (head) {
            const std::string& pid = fields["pid"];
            if (pid.empty() || pid.size() > 18 || pid.find_first_not_of("0123456789") != std::string::npos) {
                return std::nullopt;
            }
            status.pid = std::stoll(pid);
            status.written = fields["written"];
            status.heading = Shown(fields, "heading", texts);
            head = false;
            continue;
        }
        ShownStationStatus::Row row;
        row.name = Shown(fields, "name", texts);
        row.phase = Shown(fields, "phase", texts);
        row.percent = fields["percent"];
        row.silentSeconds = fields["silent_seconds"];
        row.finished = fields["finished"] == "yes";
        status.rows.push_back(std::move(row));
    }
    if (head) {
        return std::nullopt;   // not even the station's line
    }
    return status;
}

int ReportStationStatus(const std::vector<std::string>& files, const MoCatalogue* texts, int columns,
                        std::ostream& out, const COwnLines& say)
{
    for (const std::string& file : files) {
        std::string text;
        std::string why;
        const FileRead read = ReadRegularFile(file, kMostStatusBytes, [&text](std::string_view piece) {
            text.append(piece);
            return true;
        }, why);
        if (read == FileRead::Missing) {
            continue;
        }
        if (read == FileRead::Refused) {
            say.Say(Message(N_("%s cannot be read: %s"), {SafeText(file), why}));
            continue;
        }
        const std::optional<ShownStationStatus> status = ParseStationStatus(text, texts);
        if (!status || !ProcessRunning(status->pid)) {
            continue;   // half a file from another program, or left by a station that did not end
        }
        PrintTable(*status, texts, columns, out);
        return 0;
    }
    say.Say(Message(N_("no station is running on this computer")), OwnLineKind::Error);
    return kExitNoStation;
}
