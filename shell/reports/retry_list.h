// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The calculators a set did not update, read from the history, so that
// only they are done again (--retry-failed): each named as its records name
// it, by its USB serial number, else its label, else its USB port, else its
// device path.
#include <string>
#include <vector>

#include "device/usb_location.h"
#include "i18n/message.h"

struct RetryTarget {
    std::string serial;
    std::string label;
    std::string port;
    std::string path;
};

struct RetryList {
    std::string setId;                 // the set whose failures are done again
    std::vector<RetryTarget> targets;  // its calculators whose last record is neither updated nor current
};

// Reads the history at `path` (one line at a time): the set `which` names
// ("last": the newest set it holds) and its calculators still to do. False
// with `problem` when the history cannot be read or holds no such set.
bool ReadRetryList(const std::string& path, const std::string& which, RetryList& list, Message& problem);

// The target a calculator is (where it is, with its label, and its path),
// or -1 when it is none of the list's.
int RetryTargetOf(const RetryList& list, const UsbLocation& usb, const std::string& path);
