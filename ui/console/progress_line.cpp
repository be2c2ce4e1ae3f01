// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/console/progress_line.h"

#include <algorithm>

#include "shell/screen/text_columns.h"

namespace {

constexpr int kBarWidth = 20;
constexpr int kNarrowestBar = 4;    // narrower, the bar goes
constexpr int kShortestPhase = 4;   // a letter and "..."; shorter, the phase goes

// "45% 115/256"
std::string Numbers(int percent, long long done, long long all)
{
    return std::to_string(percent) + "% " + std::to_string(done) + "/" + std::to_string(all);
}

std::string Bar(int percent, int width)
{
    const int filled = percent * width / 100;
    std::string bar = "[";
    bar.append(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(width - filled), '.');
    return bar + "]";
}

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
    return FitProgressLine({{}, phaseText, {}}, state, 0);
}

std::string FitProgressLine(const ProgressLineParts& parts, const ProgressState& state, int columns)
{
    const int percent = ProgressPercent(state);
    const long long all = static_cast<long long>(state.upper) - state.lower;
    const std::string numbers = Numbers(percent, static_cast<long long>(state.pos) - state.lower, all);
    const auto line = [&](const std::string& phase, int bar) {
        return parts.lead + phase + (bar > 0 ? " " + Bar(percent, bar) : std::string()) + " " + numbers + parts.tail;
    };
    if (columns <= 0) {
        return line(parts.phase, kBarWidth);
    }
    // The bar and the phase are sized for the widest numbers of the range,
    // so that they keep their width while the numbers grow.
    const auto room = static_cast<long long>(columns) - 1;
    const auto fixed = static_cast<long long>(TextColumns(parts.lead) + TextColumns(parts.tail) +
                                              std::max(numbers.size(), Numbers(100, all, all).size()));
    const auto phase = static_cast<long long>(TextColumns(parts.phase));
    const long long bar = std::min<long long>(kBarWidth, room - fixed - phase - 4);   // " [" "] "
    if (bar >= kNarrowestBar) {
        return line(parts.phase, static_cast<int>(bar));
    }
    const long long phaseRoom = room - fixed - 1;
    if (phase <= phaseRoom) {
        return line(parts.phase, 0);
    }
    if (phaseRoom < kShortestPhase) {
        return FitToColumns(parts.lead + numbers + parts.tail, columns);
    }
    return line(CutAtWord(parts.phase, static_cast<size_t>(phaseRoom)), 0);
}

std::string FitToColumns(const std::string& line, int columns)
{
    if (columns <= 0) {
        return line;
    }
    return CutAtWord(line, static_cast<size_t>(columns - 1));
}
