// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/text_format.h"

#include <vector>

TextDirective ReadDirective(std::string_view pattern, size_t at, int& next)
{
    TextDirective d;
    size_t i = at + 1;
    if (i < pattern.size() && pattern[i] == '%') {
        d.length = 2;
        return d;
    }
    int position = 0;
    size_t j = i;
    while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9' && position < 100) {
        position = position * 10 + (pattern[j] - '0');
        ++j;
    }
    if (j > i && j < pattern.size() && pattern[j] == '$' && position > 0) {
        i = j + 1;
    } else {
        position = 0;
    }
    if (i >= pattern.size() || (pattern[i] != 's' && pattern[i] != 'd')) {
        return d;   // not a directive of ours: the '%' is plain text
    }
    d.length = i + 1 - at;
    d.digits = pattern[i] == 'd';
    d.argument = position > 0 ? position : next++;
    return d;
}

std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args)
{
    const std::vector<std::string_view> list(args);
    std::string text;
    text.reserve(pattern.size() + 32);
    int next = 1;
    for (size_t i = 0; i < pattern.size();) {
        const TextDirective d = pattern[i] == '%' ? ReadDirective(pattern, i, next) : TextDirective{};
        if (d.length == 0) {
            text += pattern[i++];
            continue;
        }
        if (d.argument == 0) {
            text += '%';
        } else if (static_cast<size_t>(d.argument) <= list.size()) {
            text += list[static_cast<size_t>(d.argument) - 1];
        }
        i += d.length;
    }
    return text;
}
