// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/console/progress_line.h"

namespace {

constexpr int kBarWidth = 20;

}  // namespace

int ProgressPercent(const ProgressState& state)
{
    const long long span = static_cast<long long>(state.upper) - state.lower;
    if (span <= 0) {
        return 0;
    }
    const long long done = static_cast<long long>(state.pos) - state.lower;
    return static_cast<int>(done * 100 / span);
}

std::string FormatProgressLine(const std::string& phaseText, const ProgressState& state)
{
    const int percent = ProgressPercent(state);
    const int filled = percent * kBarWidth / 100;
    std::string line = phaseText;
    line += " [";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(kBarWidth - filled), '.');
    line += "] " + std::to_string(percent) + "% " + std::to_string(state.pos - state.lower) + "/" +
            std::to_string(state.upper - state.lower);
    return line;
}

std::string FitToColumns(const std::string& line, int columns)
{
    if (columns <= 0) {
        return line;
    }
    const size_t room = static_cast<size_t>(columns - 1);
    size_t used = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const bool starts = (static_cast<unsigned char>(line[i]) & 0xC0u) != 0x80u;
        if (starts && used++ == room) {
            return line.substr(0, i);
        }
    }
    return line;
}
