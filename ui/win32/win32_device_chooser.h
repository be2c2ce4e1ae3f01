// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device chooser of the Windows window: shown before the connect prompt
// when no calculator is configured. It lists what could be the calculator
// (name, path, IDs, whether this user may open it); the user picks one
// (several for --all and --watch) and may have it remembered. Given a
// lister, it lists them again when the device watch says something was
// plugged or pulled (every few seconds where the system sends no events)
// and on Refresh; a port's path may be typed instead. Given a namer, Name...
// gives the picked calculator a label, shown first in its row.
#include <string>
#include <vector>

#include "shell/session/front_end.h"

struct HWND__;
class MoCatalogue;

// One row of the list: what the device calls itself, then how it is reached
// and whether this user may open it, in the catalogue's language (null:
// English).
std::string ChooserRowText(const ListedDevice& device, const MoCatalogue* texts = nullptr);

// The row's tooltip: the device's whole path, then whether this user may
// open it (and why not).
std::string ChooserRowTip(const ListedDevice& device, const MoCatalogue* texts = nullptr);

// Shows the chooser modally in front of `owner`; Chosen with `result`
// filled, or Cancelled. The dialog's title is "Choose the calculator(s)"
// in the user's language.
ChooserAnswer RunWin32DeviceChooser(HWND__* owner, const std::vector<ListedDevice>& candidates, bool several,
                                    DeviceChooserResult& result, const MoCatalogue* texts = nullptr,
                                    CandidateLister lister = {}, CalculatorNamer namer = {});
