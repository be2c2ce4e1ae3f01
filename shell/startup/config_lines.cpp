// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/startup/config_lines.h"

std::string_view TrimmedConfigText(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool SplitAtEquals(std::string_view text, std::string_view& before, std::string_view& after)
{
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    before = TrimmedConfigText(text.substr(0, equals));
    after = TrimmedConfigText(text.substr(equals + 1));
    return true;
}

std::vector<ConfigLine> ConfigLines(std::string_view text)
{
    std::vector<ConfigLine> lines;
    int number = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        ConfigLine line;
        line.number = ++number;
        line.text = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::string_view trimmed = TrimmedConfigText(line.text);
        if (line.text.size() > kMaxConfigLineChars) {
            line.kind = ConfigLine::Kind::TooLong;
        } else if (trimmed.empty()) {
            line.kind = ConfigLine::Kind::Blank;
        } else if (trimmed[0] == '#') {
            line.kind = ConfigLine::Kind::Comment;
        } else {
            line.kind = SplitAtEquals(trimmed, line.key, line.value) ? ConfigLine::Kind::Setting
                                                                      : ConfigLine::Kind::NotSetting;
        }
        lines.push_back(line);
    }
    return lines;
}
