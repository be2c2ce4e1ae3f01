// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/session/classroom_row.h"

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
    if (s < 3600) {
        return Message(N_("%d min %d s"), {std::to_string(s / 60), std::to_string(s % 60)});
    }
    return Message(N_("%d h %d min"), {std::to_string(s / 3600), std::to_string(s % 3600 / 60)});
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
    const size_t finished = static_cast<size_t>(t.updated + t.current + t.unsupported + t.failed + t.checked);
    const std::string all = std::to_string(finished);
    Message counts =
        t.checked > 0
            // A check: every row checked or failed.
            ? Message::Count("%d calculator: %d checked, %d could not be read.",
                             "%d calculators: %d checked, %d could not be read.", finished,
                             {all, std::to_string(t.checked), std::to_string(t.failed)})
            : Message::Count("%d calculator: %d updated, %d already current, %d not supported, %d failed.",
                             "%d calculators: %d updated, %d already current, %d not supported, %d failed.",
                             finished,
                             {all, std::to_string(t.updated), std::to_string(t.current),
                              std::to_string(t.unsupported), std::to_string(t.failed)});
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
