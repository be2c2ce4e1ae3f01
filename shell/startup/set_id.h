// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The name of a set of calculators updated together (one --all set, one
// station session): the moment it started and four hex digits,
// "20261211T081502Z-3f2a". Every record of the set carries it, and
// --retry-failed names a set by it.
#include <chrono>
#include <string>

// A new set's name; `salt` tells apart sets started in the same second.
std::string MakeSetId(std::chrono::system_clock::time_point started, unsigned salt);

// Whether `text` has the form of a set's name.
bool IsSetId(const std::string& text);
