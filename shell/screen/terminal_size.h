// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How many columns and lines the terminal on a descriptor shows.

struct TerminalSize {
    int columns = 0;   // 0: unknown
    int lines = 0;     // 0: unknown
};

// Zeros when `fd` is no terminal or its size is unknown.
TerminalSize TerminalSizeOf(int fd);
