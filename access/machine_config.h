// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The calculator model in the machine's configuration file: the station
// looks only for the models that file names, so granting a model access also
// names it there.
#include <string>

// True when the configuration text has a `usb-id = ID` line for `id` (as
// IsUsbIdArgument accepts it; the line's digits in either case).
bool NamesUsbId(const std::string& configText, const std::string& id);

// Adds a `usb-id = ID` line to the configuration file `file` unless one
// names `id` already, keeping every other line as it is; makes the file
// (and its folder) when there is none. The file is put in place whole
// through a temporary file beside it and never written through a link.
// `added` says whether a line was added; empty on success, else why not.
std::string AddUsbIdLine(const std::string& file, const std::string& id, bool& added);
