// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whole update runs against the simulated calculator on a pty, as the
// program runs them (the channel's settling pause included), in pairs with
// and without the last run's trace copy.
#include <cstddef>
#include <filesystem>

namespace bench {

// Runs `pairs` pairs with an OS image of `imageSize` bytes (made in `dir`),
// the order alternating from pair to pair, and prints the median time of
// each kind and the median, quartiles and range of the pairs' ratios.
void ReportRunPairs(const std::filesystem::path& dir, size_t imageSize, int pairs);

}  // namespace bench
