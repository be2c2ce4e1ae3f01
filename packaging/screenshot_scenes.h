// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The software centre's further pictures, drawn off screen from the
// program's own windows with made-up calculators: a class set at its end,
// and the history window over a week of runs. Each returns whether the
// picture was saved to `file`.
#include <QString>

bool SaveClassSetPicture(const QString& file);
bool SaveHistoryPicture(const QString& file);
