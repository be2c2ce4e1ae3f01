// SPDX-License-Identifier: GPL-3.0-or-later
#include "device_lists.h"

#include <cstring>
#include <limits>

namespace {

constexpr int kEnd = -1;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Exactly four hex digits.
bool ParseHex16(const std::string& text, size_t at, uint16_t& value)
{
    unsigned result = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const int digit = HexValue(text[i]);
        if (digit < 0) {
            return false;
        }
        result = result << 4 | static_cast<unsigned>(digit);
    }
    value = static_cast<uint16_t>(result);
    return true;
}

// "vvvv:pppp", blanks around it allowed.
bool ParseUsbId(std::string entry, UsbId& id)
{
    while (!entry.empty() && IsBlank(entry.back())) {
        entry.pop_back();
    }
    const size_t first = entry.find_first_not_of(" \t");
    entry.erase(0, first == std::string::npos ? entry.size() : first);
    return entry.size() == 9 && entry[4] == ':' && ParseHex16(entry, 0, id.vendor) &&
           ParseHex16(entry, 5, id.product);
}

std::vector<std::string> SplitOn(const char* text, char separator)
{
    std::vector<std::string> parts;
    if (text == nullptr) {
        return parts;
    }
    const char* start = text;
    for (const char* c = text;; ++c) {
        if (*c == separator || *c == '\0') {
            parts.emplace_back(start, c);
            if (*c == '\0') {
                break;
            }
            start = c + 1;
        }
    }
    return parts;
}

// Writes the entry's path, or an empty path when it does not fit (see
// EnumerateDevices). `size` is at least 1.
void PutEntry(const std::string& path, char* buf, int size)
{
    if (path.size() + 1 <= static_cast<size_t>(size)) {
        std::memcpy(buf, path.c_str(), path.size() + 1);
    } else {
        buf[0] = '\0';
    }
}

}  // namespace

std::vector<std::string> SplitDevicePaths(const char* text)
{
    std::vector<std::string> paths;
    for (std::string& part : SplitOn(text, ';')) {
        if (!part.empty()) {
            paths.push_back(std::move(part));
        }
    }
    return paths;
}

std::vector<UsbId> ParseUsbIds(const char* text)
{
    std::vector<UsbId> ids;
    for (const std::string& part : SplitOn(text, ',')) {
        UsbId id;
        if (ParseUsbId(part, id)) {
            ids.push_back(id);
        }
    }
    return ids;
}

std::string FormatUsbPath(uint8_t bus, uint8_t address)
{
    return "usb:" + std::to_string(bus) + ":" + std::to_string(address);
}

int EnumerateDevices(int index, char* buf, int size, const char* devicesVar, const char* usbIdsVar,
                     UsbScan scan)
{
    if (index < 0 || buf == nullptr || size <= 0) {
        return kEnd;
    }
    return EnumerateListed(index, buf, size, SplitDevicePaths(devicesVar), ParseUsbIds(usbIdsVar), scan);
}

int EnumerateListed(int index, char* buf, int size, const std::vector<std::string>& paths,
                    const std::vector<UsbId>& ids, UsbScan scan)
{
    if (index < 0 || buf == nullptr || size <= 0) {
        return kEnd;
    }
    const size_t position = static_cast<size_t>(index);
    if (position < paths.size()) {
        PutEntry(paths[position], buf, size);
        return index + 1;
    }
    if (ids.empty() || scan == nullptr) {
        return kEnd;
    }
    const std::vector<std::string> usb = scan(ids);
    const size_t usbAt = position - paths.size();
    if (usbAt >= usb.size()) {
        return kEnd;
    }
    PutEntry(usb[usbAt], buf, size);
    return index + 1;
}

std::vector<std::string> ListAll(const std::vector<std::string>& paths, const std::vector<UsbId>& ids, UsbScan scan)
{
    std::vector<std::string> entries = paths;
    if (!ids.empty() && scan != nullptr) {
        for (std::string& path : scan(ids)) {
            entries.push_back(std::move(path));
        }
    }
    return entries;
}

int PutAllEntries(char* buf, int size, const std::vector<std::string>& entries)
{
    size_t needed = 0;
    for (const std::string& entry : entries) {
        needed += entry.size() + 1;
    }
    if (needed > static_cast<size_t>(std::numeric_limits<int>::max())) {
        return -1;
    }
    if (buf != nullptr && needed <= static_cast<size_t>(size < 0 ? 0 : size)) {
        for (const std::string& entry : entries) {
            std::memcpy(buf, entry.c_str(), entry.size() + 1);
            buf += entry.size() + 1;
        }
    }
    return static_cast<int>(needed);
}

std::vector<std::string> PathsFromArray(const char* const* paths, int count)
{
    std::vector<std::string> result;
    for (int i = 0; paths != nullptr && i < count; ++i) {
        if (paths[i] != nullptr && *paths[i] != '\0') {
            result.emplace_back(paths[i]);
        }
    }
    return result;
}

int OfferEntry(int index, char* buf, int size, const std::vector<std::string>& entries)
{
    if (index < 0 || buf == nullptr || size <= 0 || static_cast<size_t>(index) >= entries.size()) {
        return kEnd;
    }
    PutEntry(entries[static_cast<size_t>(index)], buf, size);
    return index + 1;
}
