// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/startup/since_option.h"

#include <cctype>
#include <cstdio>
#include <ctime>

namespace {

using std::chrono::sys_seconds;

// Reads exactly `count` digits at `at`, moving past them.
bool ReadDigits(const std::string& text, size_t& at, size_t count, int& number)
{
    if (at + count > text.size()) {
        return false;
    }
    number = 0;
    for (size_t i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
        number = number * 10 + (c - '0');
    }
    at += count;
    return true;
}

bool ReadChar(const std::string& text, size_t& at, char expected)
{
    if (at < text.size() && text[at] == expected) {
        ++at;
        return true;
    }
    return false;
}

// The fields of a date and time, as written.
struct DateWritten {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

bool ValidWritten(const DateWritten& w)
{
    const std::chrono::year_month_day date{std::chrono::year(w.year), std::chrono::month(static_cast<unsigned>(w.month)),
                                           std::chrono::day(static_cast<unsigned>(w.day))};
    return date.ok() && w.hour < 24 && w.minute < 60 && w.second < 60;
}

// The fields as local time; nothing when the system cannot place them.
std::optional<sys_seconds> FromLocal(const DateWritten& w)
{
    std::tm fields = {};
    fields.tm_year = w.year - 1900;
    fields.tm_mon = w.month - 1;
    fields.tm_mday = w.day;
    fields.tm_hour = w.hour;
    fields.tm_min = w.minute;
    fields.tm_sec = w.second;
    fields.tm_isdst = -1;   // the system knows whether summer time applies
    const std::time_t at = std::mktime(&fields);
    if (at == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return sys_seconds(std::chrono::seconds(at));
}

sys_seconds FromUtc(const DateWritten& w)
{
    const std::chrono::sys_days day = std::chrono::year_month_day{
        std::chrono::year(w.year), std::chrono::month(static_cast<unsigned>(w.month)),
        std::chrono::day(static_cast<unsigned>(w.day))};
    return day + std::chrono::hours(w.hour) + std::chrono::minutes(w.minute) + std::chrono::seconds(w.second);
}

// "Z", "+HH:MM", "-HHMM" at `at` to the end: the offset east of UTC, in minutes.
std::optional<int> ReadZone(const std::string& text, size_t at)
{
    if (text.substr(at) == "Z") {
        return 0;
    }
    const bool east = ReadChar(text, at, '+');
    if (!east && !ReadChar(text, at, '-')) {
        return std::nullopt;
    }
    int hours = 0, minutes = 0;
    if (!ReadDigits(text, at, 2, hours)) {
        return std::nullopt;
    }
    ReadChar(text, at, ':');
    if (!ReadDigits(text, at, 2, minutes) || at != text.size() || hours > 23 || minutes > 59) {
        return std::nullopt;
    }
    return (east ? 1 : -1) * (hours * 60 + minutes);
}

std::optional<sys_seconds> ParseDateTime(const std::string& text)
{
    DateWritten w;
    size_t at = 0;
    if (!ReadDigits(text, at, 4, w.year) || !ReadChar(text, at, '-') || !ReadDigits(text, at, 2, w.month) ||
        !ReadChar(text, at, '-') || !ReadDigits(text, at, 2, w.day)) {
        return std::nullopt;
    }
    if (at < text.size()) {
        if ((!ReadChar(text, at, 'T') && !ReadChar(text, at, ' ')) || !ReadDigits(text, at, 2, w.hour) ||
            !ReadChar(text, at, ':') || !ReadDigits(text, at, 2, w.minute)) {
            return std::nullopt;
        }
        if (ReadChar(text, at, ':') && !ReadDigits(text, at, 2, w.second)) {
            return std::nullopt;
        }
    }
    if (!ValidWritten(w)) {
        return std::nullopt;
    }
    if (at == text.size()) {
        return FromLocal(w);
    }
    const std::optional<int> east = ReadZone(text, at);
    if (!east) {
        return std::nullopt;
    }
    return FromUtc(w) - std::chrono::minutes(*east);
}

// Local midnight `daysAgo` days before the day of `now`.
std::optional<sys_seconds> LocalMidnight(sys_seconds now, int daysAgo)
{
    const std::time_t seconds = static_cast<std::time_t>(now.time_since_epoch().count());
    const std::tm* local = std::localtime(&seconds);
    if (local == nullptr) {
        return std::nullopt;
    }
    // mktime counts the days back, across months and summer time.
    DateWritten w{local->tm_year + 1900, local->tm_mon + 1, local->tm_mday - daysAgo, 0, 0, 0};
    return FromLocal(w);
}

// "Nd": N, a few digits, days ago.
std::optional<int> DaysAgo(const std::string& text)
{
    constexpr size_t kMostDigits = 5;
    if (text.size() < 2 || text.size() > kMostDigits + 1 || text.back() != 'd') {
        return std::nullopt;
    }
    int days = 0;
    size_t at = 0;
    if (!ReadDigits(text, at, text.size() - 1, days)) {
        return std::nullopt;
    }
    return days;
}

}  // namespace

std::optional<sys_seconds> ParseSinceValue(const std::string& value, sys_seconds now)
{
    if (value == "today") {
        return LocalMidnight(now, 0);
    }
    if (value == "yesterday") {
        return LocalMidnight(now, 1);
    }
    if (const std::optional<int> days = DaysAgo(value)) {
        return LocalMidnight(now, *days);
    }
    return ParseDateTime(value);
}

std::string RecordTimeText(sys_seconds at)
{
    const std::chrono::sys_days day = std::chrono::floor<std::chrono::days>(at);
    const std::chrono::year_month_day date(day);
    const std::chrono::hh_mm_ss time(at - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}
