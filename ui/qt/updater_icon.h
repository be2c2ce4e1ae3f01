// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's icon, drawn here: a calculator with a down arrow on its
// screen, in a handful of flat colours, at 32 x 32 and 16 x 16 pixels.
#include <QIcon>
#include <QPixmap>

QPixmap DrawUpdaterIcon(int size);
QIcon UpdaterIcon();
