// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/startup/os_version_text.h"

#include <algorithm>
#include <vector>

namespace {

// The parts of a version between its dots.
std::vector<std::string> Parts(const std::string& version)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t dot; (dot = version.find('.', start)) != std::string::npos; start = dot + 1) {
        parts.push_back(version.substr(start, dot - start));
    }
    parts.push_back(version.substr(start));
    return parts;
}

bool IsNumber(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

int ComparePart(const std::string& a, const std::string& b)
{
    if (IsNumber(a) && IsNumber(b)) {
        const std::string x = a.substr(std::min(a.find_first_not_of('0'), a.size()));
        const std::string y = b.substr(std::min(b.find_first_not_of('0'), b.size()));
        return x.size() != y.size() ? (x.size() < y.size() ? -1 : 1) : x.compare(y);
    }
    return a.compare(b);
}

}  // namespace

int CompareOsVersions(const std::string& a, const std::string& b)
{
    const std::vector<std::string> x = Parts(a);
    const std::vector<std::string> y = Parts(b);
    for (size_t i = 0; i < std::max(x.size(), y.size()); ++i) {
        const int order = ComparePart(i < x.size() ? x[i] : "0", i < y.size() ? y[i] : "0");
        if (order != 0) {
            return order < 0 ? -1 : 1;
        }
    }
    return 0;
}

bool IsVersionText(const std::string& text)
{
    constexpr size_t kLongest = 64;
    const auto alphanumeric = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    };
    if (text.empty() || text.size() > kLongest || text[0] < '0' || text[0] > '9') {
        return false;
    }
    const std::vector<std::string> parts = Parts(text);
    return std::all_of(parts.begin(), parts.end(), [&](const std::string& part) {
        return !part.empty() && std::all_of(part.begin(), part.end(), alphanumeric);
    });
}
