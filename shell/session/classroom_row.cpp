// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/session/classroom_row.h"

#include <algorithm>

#include "device/safe_text.h"
#include "i18n/text_format.h"
#include "shell/screen/device_name.h"

bool IsUsbPath(const std::string& path)
{
    return path.rfind("usb:", 0) == 0;
}

Message CalculatorName(const ClassroomRow& row)
{
    if (row.usb.label.empty() && !IsUsbPath(row.device)) {
        return Message::Raw(row.device);
    }
    UsbLocation shown = row.usb;   // the system's and the device's texts
    shown.serial = SafeText(shown.serial, kLabelChars);
    shown.port = SafeText(shown.port, kLabelChars);
    return FriendlyDeviceName(row.device, shown);
}

Message SilentText(const ClassroomRow& row)
{
    return Message(N_("not answering for %s"), {SecondsText(row.silentMs / 1000)});
}

Message ResultWithTime(const ClassroomRow& row)
{
    return row.took.Empty() ? row.resultWord : Message(N_("%s (%s)"), {row.resultWord, row.took});
}

Message DurationText(std::chrono::seconds time)
{
    const long long s = time.count() < 0 ? 0 : time.count();
    if (s < 60) {
        return Message(N_("%d s"), {std::to_string(s)});
    }
    if (s < 3600 && s % 60 == 0) {
        return Message(N_("%d min"), {std::to_string(s / 60)});
    }
    if (s < 3600) {
        return Message(N_("%d min %d s"), {std::to_string(s / 60), std::to_string(s % 60)});
    }
    return Message(N_("%d h %d min"), {std::to_string(s / 3600), std::to_string(s % 3600 / 60)});
}

Message TimeLeftText(const std::vector<ClassroomRow>& rows)
{
    int left = -1;
    for (const ClassroomRow& row : rows) {
        if (row.finished || row.skipped) {
            continue;
        }
        if (row.leftSeconds < 0) {
            return {};
        }
        left = std::max(left, row.leftSeconds);
    }
    if (left <= 0) {
        return {};   // nothing to wait for but the ends
    }
    // Rounded up, to what an estimate can say: tens of seconds, then minutes.
    const long long shown = left < 60 ? (left + 9) / 10 * 10 : (left + 59) / 60 * 60;
    return Message(N_("about %s left"), {DurationText(std::chrono::seconds(shown))});
}

RunTally CountsOf(const std::vector<ClassroomRow>& rows, size_t notConnected)
{
    RunTally counts;
    for (const ClassroomRow& row : rows) {
        if (row.finished && !row.skipped) {
            counts.Count(row.result >= Success && row.result <= Checked ? row.result : Failed);
            if (row.result == Checked && row.record && (*row.record)[kNeedsUpdate].value_or("") == "true") {
                ++counts.needUpdate;
            }
        }
    }
    counts.notConnected = static_cast<int>(notConnected);
    return counts;
}

Message CountsText(const RunTally& t)
{
    const Message took = t.tookSeconds >= 0 ? DurationText(std::chrono::seconds(t.tookSeconds)) : Message();
    const size_t finished = static_cast<size_t>(t.updated + t.current + t.unsupported + t.failed + t.checked);
    const std::string all = std::to_string(finished);
    const std::string checked = std::to_string(t.checked);
    const std::string failed = std::to_string(t.failed);
    const std::string updated = std::to_string(t.updated);
    const std::string current = std::to_string(t.current);
    const std::string unsupported = std::to_string(t.unsupported);
    Message counts;
    if (t.checked > 0 && took.Empty()) {
        // A check: every row checked or failed.
        counts = Message::Count("%d calculator: %d checked, %d could not be read.",
                                "%d calculators: %d checked, %d could not be read.", finished, {all, checked, failed});
    } else if (t.checked > 0) {
        counts = Message::Count("%d calculator in %s: %d checked, %d could not be read.",
                                "%d calculators in %s: %d checked, %d could not be read.", finished,
                                {all, took, checked, failed});
    } else if (took.Empty()) {
        counts = Message::Count("%d calculator: %d updated, %d already current, %d not supported, %d failed.",
                                "%d calculators: %d updated, %d already current, %d not supported, %d failed.",
                                finished, {all, updated, current, unsupported, failed});
    } else {
        counts = Message::Count("%d calculator in %s: %d updated, %d already current, %d not supported, %d failed.",
                                "%d calculators in %s: %d updated, %d already current, %d not supported, %d failed.",
                                finished, {all, took, updated, current, unsupported, failed});
    }
    if (t.needUpdate > 0) {
        const auto needing = static_cast<size_t>(t.needUpdate);
        counts = Message::Count("%s %d of them needs the update.", "%s %d of them need the update.", needing,
                                {counts, std::to_string(needing)});
    }
    if (t.notConnected > 0) {
        const auto ports = static_cast<size_t>(t.notConnected);
        counts = Message::Count("%s %d configured port had nothing connected.",
                                "%s %d configured ports had nothing connected.", ports,
                                {counts, std::to_string(ports)});
    }
    return counts;
}
