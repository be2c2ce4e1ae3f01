// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Resource numbers of the program's windows (zentrix-update.rc).
#define IDD_UPDATER_DIALOG 102
#define IDD_PROGRESS_DIALOG 129
#define IDR_MAINFRAME 128
#define IDC_PROGRESS 1000
#define IDC_PHASE_TEXT 1001
