// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/startup/set_id.h"

#include <cstdio>
#include <ctime>

namespace {

constexpr size_t kSetIdLength = 21;   // "YYYYMMDDTHHMMSSZ-xxxx"

bool Digits(const std::string& text, size_t from, size_t count)
{
    for (size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string MakeSetId(std::chrono::system_clock::time_point started, unsigned salt)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(started);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char text[96];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02dZ-%04x", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec, salt & 0xffffu);
    return text;
}

bool IsSetId(const std::string& text)
{
    if (text.size() != kSetIdLength || !Digits(text, 0, 8) || text[8] != 'T' || !Digits(text, 9, 6) ||
        text[15] != 'Z' || text[16] != '-') {
        return false;
    }
    for (size_t i = 17; i < kSetIdLength; ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}
