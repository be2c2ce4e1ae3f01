// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/trace_reader.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <sstream>

#include "sim/verdict.h"

namespace zsim {
namespace {

struct Line {
    int64_t micros = 0;
    std::string device;
    char mark = 0;
    std::string rest;   // after the mark and its space
};

// "+S.UUUUUU": the seconds since the session opened, to the microsecond;
// false for anything else, and for more seconds than a run can last.
bool ParseElapsed(const std::string& text, int64_t& micros) {
    const auto dot = text.find('.');
    if (text.size() < 4 || text[0] != '+' || dot == std::string::npos || text.size() - dot != 7 || dot > 10)
        return false;
    for (size_t i = 1; i < text.size(); ++i)
        if (i != dot && !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    micros = std::strtoll(text.c_str() + 1, nullptr, 10) * 1000000 + std::strtoll(text.c_str() + dot + 1, nullptr, 10);
    return true;
}

bool IsMark(const std::string& token) {
    return token.size() == 1 && std::string("@<>#=").find(token[0]) != std::string::npos;
}

// "+S.UUUUUU [DEVICE] MARK REST"; false for anything else.
bool SplitLine(const std::string& text, Line& out) {
    std::istringstream words(text);
    std::string elapsed, second;
    if (!(words >> elapsed >> second) || !ParseElapsed(elapsed, out.micros)) return false;
    std::string mark = second;
    if (!IsMark(second)) {
        out.device = second;
        if (!(words >> mark) || !IsMark(mark)) return false;
    }
    out.mark = mark[0];
    const size_t at = elapsed.size() + 1 + (out.device.empty() ? 0 : out.device.size() + 1) + 2;
    out.rest = at < text.size() ? text.substr(at) : "";
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "05 30  .0" after the mark and its space: hex bytes, one space apart, up
// to the two spaces before the ASCII column. A line cut short has no such
// two spaces (a write of no bytes is the two spaces alone).
bool ParseBytes(const std::string& rest, std::vector<uint8_t>& bytes) {
    if (rest == " ") return true;
    const size_t end = rest.find("  ");
    if (end == std::string::npos || end % 3 != 2) return false;
    for (size_t i = 0; i < end; i += 3) {
        const int high = HexDigit(rest[i]);
        const int low = HexDigit(rest[i + 1]);
        if (high < 0 || low < 0 || (i + 2 < end && rest[i + 2] != ' ')) return false;
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return true;
}

bool ParseHeader(const std::string& rest, RecordedSession& out, std::string& error) {
    std::istringstream words(rest);
    std::string name, version;
    words >> name >> version;
    if (name != "zentrix-trace") {
        error = "its header line is not a zentrix-trace header";
        return false;
    }
    int format = 0;
    const auto [end, problem] = std::from_chars(version.data(), version.data() + version.size(), format);
    if (version.empty() || problem != std::errc() || end != version.data() + version.size() || format < 1) {
        error = "its trace format \"" + Printable(version) + "\" is not a number this simulator can read";
        return false;
    }
    if (format > kReplayFormatVersion) {
        error = "it is in trace format " + version + "; this simulator replays format " +
                std::to_string(kReplayFormatVersion);
        return false;
    }
    for (std::string pair; words >> pair;) {
        const auto eq = pair.find('=');
        if (eq != std::string::npos) out.header[pair.substr(0, eq)] = pair.substr(eq + 1);
    }
    return true;
}

std::string LineError(int number, const std::string& what) {
    return "line " + std::to_string(number) + " " + what;
}

enum class LineEnd { Whole, Cut, TooLong, None };

// The next line of `in`, without its line feed, read a byte at a time so
// that no more than kMaxTraceLineBytes of it is ever held.
LineEnd NextLine(std::streambuf& in, std::string& text) {
    text.clear();
    for (;;) {
        const int c = in.sbumpc();
        if (c == std::char_traits<char>::eof()) return text.empty() ? LineEnd::None : LineEnd::Cut;
        if (c == '\n') return LineEnd::Whole;
        if (text.size() == kMaxTraceLineBytes) return LineEnd::TooLong;
        text.push_back(static_cast<char>(c));
    }
}

}  // namespace

bool ReadTraceSession(std::istream& in, const std::string& device, RecordedSession& out, std::string& error) {
    out = RecordedSession{};
    bool inSession = false;
    int number = 0;
    std::string text;
    for (LineEnd end; in.rdbuf() != nullptr && (end = NextLine(*in.rdbuf(), text)) != LineEnd::None;) {
        ++number;
        if (end == LineEnd::TooLong) {
            error = LineError(number, "is longer than " + std::to_string(kMaxTraceLineBytes / (1024 * 1024)) +
                                          " MiB: this is not a trace");
            return false;
        }
        if (end == LineEnd::Cut) {
            out.cutAtLine = number;
            break;
        }
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty()) continue;
        Line line;
        if (!SplitLine(text, line)) {
            if (number == 1 && std::isdigit(static_cast<unsigned char>(text[0]))) {
                error = "it has no header line: it was written before traces could be replayed; record it again "
                        "with this version of zentrix-update";
                return false;
            }
            if (inSession) {
                error = LineError(number, "cannot be read");
                return false;
            }
            continue;
        }
        if (!inSession) {
            if (line.mark != '@' || (!device.empty() && line.device != device)) continue;
            if (!ParseHeader(line.rest, out, error)) {
                error = LineError(number, "cannot be replayed: " + error);
                return false;
            }
            out.device = line.device;
            inSession = true;
            continue;
        }
        if (line.device != out.device) continue;   // another calculator of the same set
        if (line.mark == '@') break;               // the next session on the same device
        if (line.mark == '=') {
            out.ended = true;
            out.ending = line.rest.rfind("end ", 0) == 0 ? line.rest.substr(4) : line.rest;
            break;
        }
        if (line.mark == '#') continue;
        TraceEvent event;
        event.fromUpdater = line.mark == '>';
        event.micros = line.micros;
        event.line = number;
        if (!ParseBytes(line.rest, event.bytes)) {
            error = LineError(number, "holds bytes that cannot be read");
            return false;
        }
        if (event.bytes.empty()) continue;   // a write the device took nothing of
        (event.fromUpdater ? out.updaterBytes : out.calculatorBytes) += event.bytes.size();
        out.events.push_back(std::move(event));
    }
    if (!inSession) {
        error = device.empty() ? "it holds no session header" : "it holds no session on " + Printable(device);
        return false;
    }
    return true;
}

}  // namespace zsim
