// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A circle check-circles must find: row.h and record.h include each other.
#include "shell/record.h"
