// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Resource numbers of the program's windows (zentrix-update.rc).
#define IDD_UPDATER_DIALOG 102
#define IDD_PROGRESS_DIALOG 129
#define IDR_MAINFRAME 128
#define IDC_PROGRESS 1000
#define IDC_PHASE_TEXT 1001
#define IDC_DEVICE_TEXT 1010
#define IDC_PERCENT_TEXT 1011
#define IDC_TIME_LEFT_TEXT 1012
#define IDC_NOTICE_TEXT 1013
#define IDC_STOP 1014
#define IDD_DEVICE_CHOOSER 130
#define IDC_CHOOSER_TEXT 1002
#define IDC_CHOOSER_LIST 1003
#define IDC_CHOOSER_REMEMBER 1004
