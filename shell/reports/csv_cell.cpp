// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/reports/csv_cell.h"

#include <cstdint>
#include <string_view>

#include "device/safe_text.h"

std::string HistoryCsvCell(const std::string& value)
{
    std::string text = SafeText(value, SIZE_MAX);
    if (!value.empty() && std::string_view("=+-@\t\r").find(value[0]) != std::string_view::npos) {
        text.insert(0, 1, '\'');
    }
    if (text.find_first_of(",\"") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}
