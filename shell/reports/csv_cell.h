// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One cell of the CSV the history and the calculators' view are written as.
#include <string>

// A CSV cell a spreadsheet shows as the text it is (control bytes escaped,
// quoted where needed, a formula's first character led by an apostrophe).
std::string HistoryCsvCell(const std::string& value);
