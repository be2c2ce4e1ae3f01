// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How many columns the terminal on a descriptor shows.

// 0 when `fd` is no terminal or its size is unknown.
int TerminalColumns(int fd);
