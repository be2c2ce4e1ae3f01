// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The boxes of console mode as standard output shows them, for the tests
// that run the real program.
#include <regex>
#include <string>

namespace console_texts {

inline const std::string kConnect = "== Connect the calculator. ==\nPlease connect the calculator.\n[OK]\n";
inline const std::string kWarning =
    "== Warning ==\n"
    "Updating deletes all data in the calculator's Main Memory.\n"
    "If you need the data, make sure you back it up before updating.\n"
    "Use the MEMORY mode backup function to backup data.\n"
    "\n"
    "Do you want to continue with the update?\n"
    "OK [Cancel]\n";
inline const std::string kSure = "== Delete all data in calculator's Main Memory. ==\nAre you sure?\nOK [Cancel]\n";
inline const std::string kComplete =
    "== Complete ==\nUpdate is complete.\nDo you want to continue with the update?\n[OK] Cancel\n";
inline const std::string kPrompts = kConnect + kWarning + kSure;

inline std::string Error(const std::string& text)
{
    return "== Error ==\n" + text + "\n[OK]\n";
}

// The rows logged off a terminal without the time of day ("14:05:09 ")
// that starts each of them.
inline std::string WithoutTimes(const std::string& log)
{
    static const std::regex kTime("(^|\n)[0-2][0-9]:[0-5][0-9]:[0-6][0-9] ");
    return std::regex_replace(log, kTime, "$1");
}

}  // namespace console_texts
