// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/reports/log_exports.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

#include "i18n/safe_text.h"
#include "shell/records/system_log.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool AllDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Takes "<PRI>" when the line starts with one (a raw capture), then the
// time: "Mmm dd hh:mm:ss " or an RFC 3339 time and a space.
bool TakeSyslogTime(std::string_view& rest)
{
    if (!rest.empty() && rest.front() == '<') {
        const size_t close = rest.find('>');
        if (close == std::string_view::npos || close > 4 || !AllDigits(rest.substr(1, close - 1))) {
            return false;
        }
        rest.remove_prefix(close + 1);
    }
    constexpr std::string_view kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const size_t month = rest.size() >= 16 ? kMonths.find(rest.substr(0, 3)) : std::string_view::npos;
    if (month != std::string_view::npos && month % 3 == 0) {
        const std::string_view day = rest.substr(4, 2);
        const std::string_view clock = rest.substr(7, 8);
        const bool dayOk = (day[0] == ' ' || IsDigit(day[0])) && IsDigit(day[1]);
        const bool clockOk = AllDigits(clock.substr(0, 2)) && clock[2] == ':' && AllDigits(clock.substr(3, 2)) &&
                             clock[5] == ':' && AllDigits(clock.substr(6, 2));
        if (rest[3] != ' ' || rest[6] != ' ' || rest[15] != ' ' || !dayOk || !clockOk) {
            return false;
        }
        rest.remove_prefix(16);
        return true;
    }
    const bool iso = rest.size() > 20 && AllDigits(rest.substr(0, 4)) && rest[4] == '-' &&
                     AllDigits(rest.substr(5, 2)) && rest[7] == '-' && AllDigits(rest.substr(8, 2)) && rest[10] == 'T';
    const size_t space = rest.find(' ');
    if (!iso || space == std::string_view::npos) {
        return false;
    }
    rest.remove_prefix(space + 1);
    return true;
}

// Takes the program's tag, "zentrix-update:" or "zentrix-update[PID]:".
bool TakeOwnTag(std::string_view& rest)
{
    const std::string_view name = kSystemLogIdentifier;
    if (rest.substr(0, name.size()) != name) {
        return false;
    }
    rest.remove_prefix(name.size());
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos || !AllDigits(rest.substr(1, close - 1))) {
            return false;
        }
        rest.remove_prefix(close + 1);
    }
    if (rest.empty() || rest.front() != ':') {
        return false;
    }
    rest.remove_prefix(1);
    return true;
}

// One character reference's code point as UTF-8; false for one that XML
// does not allow in text.
bool AppendCodePoint(uint32_t code, std::string& out)
{
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return false;
    }
    AppendUtf8(out, code);
    return true;
}

// XML text with its entities and character references decoded; nothing
// when one cannot be read.
std::optional<std::string> XmlText(std::string_view text)
{
    static constexpr struct {
        std::string_view name;
        char c;
    } kEntities[] = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    std::string out;
    while (!text.empty()) {
        const size_t amp = text.find('&');
        out.append(text.substr(0, amp));
        if (amp == std::string_view::npos) {
            break;
        }
        const size_t semicolon = text.find(';', amp);
        if (semicolon == std::string_view::npos || semicolon - amp > 10) {
            return std::nullopt;
        }
        const std::string_view name = text.substr(amp + 1, semicolon - amp - 1);
        bool known = false;
        for (const auto& entity : kEntities) {
            if (name == entity.name) {
                out += entity.c;
                known = true;
            }
        }
        if (!known) {
            const bool hex = name.size() > 2 && name[0] == '#' && (name[1] == 'x' || name[1] == 'X');
            const std::string_view digits = name.substr(hex ? 2 : 1);
            const bool digitsOk = name.size() > 1 && name[0] == '#' && !digits.empty() &&
                                  digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") ==
                                      std::string_view::npos;
            uint32_t code = 0;
            const bool read = digitsOk && std::from_chars(digits.data(), digits.data() + digits.size(), code,
                                                          hex ? 16 : 10).ec == std::errc();
            if (!read || !AppendCodePoint(code, out)) {
                return std::nullopt;
            }
        }
        text.remove_prefix(semicolon + 1);
    }
    return out;
}

// An element of the event, found by its name from `from` on.
struct Element {
    std::string_view tag;       // between "<" and ">", the name and attributes
    std::string_view content;   // empty for an element that closes itself
    size_t end = 0;             // where the search for the next one goes on
};

std::optional<Element> FindElement(std::string_view xml, std::string_view name, size_t from = 0)
{
    const std::string open = "<" + std::string(name);
    for (size_t at = xml.find(open, from); at != std::string_view::npos; at = xml.find(open, at + 1)) {
        const size_t after = at + open.size();
        if (after >= xml.size() || !(IsSpace(xml[after]) || xml[after] == '>' || xml[after] == '/')) {
            continue;   // another element whose name begins the same
        }
        const size_t close = xml.find('>', after);
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        Element element;
        element.tag = xml.substr(at + 1, close - at - 1);
        if (!element.tag.empty() && element.tag.back() == '/') {
            element.end = close + 1;
            return element;
        }
        const size_t closing = xml.find("</" + std::string(name) + ">", close + 1);
        if (closing == std::string_view::npos) {
            return std::nullopt;
        }
        element.content = xml.substr(close + 1, closing - close - 1);
        element.end = closing + name.size() + 3;
        return element;
    }
    return std::nullopt;
}

// The value of the attribute `name` in an element's tag, quoted either way.
std::optional<std::string> Attribute(std::string_view tag, std::string_view name)
{
    for (size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        const size_t after = at + name.size();
        if (at == 0 || !IsSpace(tag[at - 1]) || after + 1 >= tag.size() || tag[after] != '=' ||
            (tag[after + 1] != '\'' && tag[after + 1] != '"')) {
            continue;
        }
        const size_t close = tag.find(tag[after + 1], after + 2);
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        return XmlText(tag.substr(after + 2, close - after - 2));
    }
    return std::nullopt;
}

// The bytes of an event's binary data, written as hex digits.
std::optional<std::string> HexBytes(std::string_view hex)
{
    const auto nibble = [](char c) -> int {
        return IsDigit(c) ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    hex = Trimmed(hex);
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = nibble(hex[i]);
        const int low = nibble(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes += static_cast<char>(high << 4 | low);
    }
    return bytes;
}

// The record an event's data holds: its binary data, else the text of
// one of its items that is a record.
bool EventRecord(std::string_view eventData, HistoryRecord& record)
{
    if (const auto binary = FindElement(eventData, "Binary")) {
        if (const auto bytes = HexBytes(binary->content); bytes && ParseHistoryLine(*bytes, record)) {
            return true;
        }
    }
    for (auto data = FindElement(eventData, "Data"); data; data = FindElement(eventData, "Data", data->end)) {
        const auto text = XmlText(Trimmed(data->content));
        if (text && !text->empty() && text->front() == '{' && ParseHistoryLine(*text, record)) {
            return true;
        }
    }
    return false;
}

}  // namespace

LineKind ReadSyslogLine(std::string_view line, HistoryRecord& record)
{
    std::string_view rest = line;
    if (!TakeSyslogTime(rest)) {
        return LineKind::Bad;
    }
    const size_t hostEnd = rest.find(' ');
    if (hostEnd == 0 || hostEnd == std::string_view::npos) {
        return LineKind::Bad;
    }
    const std::string host(rest.substr(0, hostEnd));
    rest.remove_prefix(hostEnd + 1);
    if (!TakeOwnTag(rest)) {
        return LineKind::OtherJournalEntry;
    }
    rest = Trimmed(rest);
    const std::string_view cookie = kCeeCookie;
    if (rest.substr(0, cookie.size()) != cookie) {
        return LineKind::OtherJournalEntry;   // a line of an earlier version: no record in it
    }
    HistoryRecord read;
    if (!ParseHistoryLine(Trimmed(rest.substr(cookie.size())), read)) {
        return LineKind::Bad;
    }
    read.fields[kHost] = host;
    record = std::move(read);
    return LineKind::Record;
}

LineKind ReadExportedEvent(std::string_view event, HistoryRecord& record)
{
    const auto provider = FindElement(event, "Provider");
    const auto eventId = FindElement(event, "EventID");
    if (!provider || Attribute(provider->tag, "Name") != kSystemLogIdentifier || !eventId ||
        Trimmed(eventId->content) != "1") {
        return LineKind::OtherJournalEntry;
    }
    const auto eventData = FindElement(event, "EventData");
    HistoryRecord read;
    if (!eventData || !EventRecord(eventData->content, read)) {
        return LineKind::Bad;
    }
    const auto computer = FindElement(event, "Computer");
    const auto host = computer ? XmlText(Trimmed(computer->content)) : std::nullopt;
    if (host && !host->empty()) {
        read.fields[kHost] = host;
    }
    record = std::move(read);
    return LineKind::Record;
}
