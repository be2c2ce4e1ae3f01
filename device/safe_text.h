// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Outside text made fit to be shown lives with the messages that carry it.
#include "i18n/safe_text.h"
