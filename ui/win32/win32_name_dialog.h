// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Name..." of the Windows windows: a small dialog asks for a calculator's
// name, the program keeps it in the user's configuration, and a box says
// why when it cannot.
#include <string>

#include "shell/session/front_end.h"

struct HWND__;
class MoCatalogue;

inline constexpr const char* kNameDialogTitle = N_("Name this calculator");

// Asks, in front of `owner`, for the name of the calculator `shown` (how
// the window names it now), the field holding `now`, and for its asset tag
// (none: it keeps the tag it has); then has `namer` keep them for `device`
// (its path or stable name). The label as the
// windows show it from now on; empty when cancelled, left blank or not kept
// (the box has said why).
std::string AskCalculatorName(HWND__* owner, const CalculatorNamer& namer, const std::string& device,
                              const std::string& shown, const std::string& now, const MoCatalogue* texts);
