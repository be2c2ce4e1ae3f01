// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/session/row_speech.h"

#include <string>

#include "i18n/text_format.h"

Message RowSpokenText(const ClassroomRow& row, const Message& name)
{
    if (row.finished) {
        if (row.reason.Empty()) {
            return Message(N_("Calculator %1$s: %2$s"), {name, row.resultWord});
        }
        return Message(N_("Calculator %1$s: %2$s - %3$s"), {name, row.resultWord, row.reason});
    }
    if (row.silent) {
        return Message(N_("Calculator %1$s: %2$s - %3$s"), {name, row.phase, SilentText(row)});
    }
    if (row.upper <= 0) {
        return Message(N_("Calculator %1$s: %2$s"), {name, row.phase});
    }
    const long long percent = static_cast<long long>(row.pos) * 100 / row.upper;
    return Message(N_("Calculator %1$s: %2$s, %3$d percent"), {name, row.phase, std::to_string(percent)});
}

RowNews NewsOf(const ClassroomRow* before, const ClassroomRow& now)
{
    if (now.finished) {
        if (before != nullptr && before->finished) {
            return RowNews::None;
        }
        return now.result == Failed ? RowNews::Failed : RowNews::Ended;
    }
    if (now.silent && (before == nullptr || !before->silent)) {
        return RowNews::Silent;
    }
    return RowNews::None;
}
