// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a screen reader says of a row, and which of a row's changes are worth
// saying out loud: a calculator that went silent, failed or ended, never
// every step of its bar.
#include "i18n/message.h"
#include "shell/session/classroom_row.h"

// The row in one text, under the name the rows show (`name`): its phase and
// how far it is in percent, or how long its calculator has not answered;
// once ended, its result word and reason.
Message RowSpokenText(const ClassroomRow& row, const Message& name);

// What changed in a row since `before` (null: the row is new) that is said
// at once: it went silent, it ended in a failure, it ended otherwise.
enum class RowNews { None, Silent, Failed, Ended };
RowNews NewsOf(const ClassroomRow* before, const ClassroomRow& now);
