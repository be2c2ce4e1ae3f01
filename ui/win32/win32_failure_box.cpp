// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/win32_failure_box.h"

#include <windows.h>

#include <algorithm>

#include "device/win_text.h"
#include "ui/win32/resource_ids.h"

namespace {

constexpr int kButtonPadding = 24;   // pixels beside a button's words

struct FailureBox {
    std::wstring body;
    std::wstring caption;
    std::wstring okLabel;
    std::wstring saveLabel;
    const std::function<void(HWND__*)>& save;
};

RECT PlaceOf(HWND dialog, int control)
{
    RECT r = {};
    GetWindowRect(GetDlgItem(dialog, control), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// How big `text` is in the dialog's font, wrapped at `width` (0: one line).
SIZE Measure(HWND dialog, const std::wstring& text, int width)
{
    HDC dc = GetDC(dialog);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    RECT need = {0, 0, width, 0};
    DrawTextW(dc, text.c_str(), -1, &need,
              DT_CALCRECT | DT_NOPREFIX | (width > 0 ? DT_WORDBREAK | DT_EDITCONTROL : DT_SINGLELINE));
    SelectObject(dc, old);
    ReleaseDC(dialog, dc);
    return {need.right - need.left, need.bottom - need.top};
}

// The text grows downwards to show itself whole, the buttons below it; the
// report button is as wide as its words.
void Layout(HWND dialog, const FailureBox& box)
{
    const RECT text = PlaceOf(dialog, IDC_FAILURE_TEXT);
    const RECT ok = PlaceOf(dialog, IDOK);
    const RECT save = PlaceOf(dialog, IDC_SAVE_REPORT);
    const SIZE words = Measure(dialog, box.body, text.right - text.left);
    const int growth = std::max(0, static_cast<int>(words.cy - (text.bottom - text.top)));
    MoveWindow(GetDlgItem(dialog, IDC_FAILURE_TEXT), text.left, text.top, text.right - text.left,
               text.bottom - text.top + growth, FALSE);
    MoveWindow(GetDlgItem(dialog, IDOK), ok.left, ok.top + growth, ok.right - ok.left, ok.bottom - ok.top, FALSE);
    const int saveWidth = std::max(static_cast<int>(save.right - save.left),
                                   static_cast<int>(Measure(dialog, box.saveLabel, 0).cx) + kButtonPadding);
    MoveWindow(GetDlgItem(dialog, IDC_SAVE_REPORT), save.left, save.top + growth, saveWidth, save.bottom - save.top,
               FALSE);
    RECT frame = {};
    GetWindowRect(dialog, &frame);
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + growth,
                 SWP_NOMOVE | SWP_NOZORDER);
}

void OnInit(HWND dialog, const FailureBox& box)
{
    SetWindowTextW(dialog, box.caption.c_str());
    SetDlgItemTextW(dialog, IDC_FAILURE_TEXT, box.body.c_str());
    SetDlgItemTextW(dialog, IDOK, box.okLabel.c_str());
    SetDlgItemTextW(dialog, IDC_SAVE_REPORT, box.saveLabel.c_str());
    SendDlgItemMessageW(dialog, IDC_FAILURE_ICON, STM_SETICON,
                        reinterpret_cast<WPARAM>(LoadIconW(nullptr, MAKEINTRESOURCEW(32515))), 0);   // IDI_WARNING
    Layout(dialog, box);
    // Centred on its owner, or on the screen without one.
    RECT own = {};
    RECT on = {};
    GetWindowRect(dialog, &own);
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner == nullptr || !IsWindowVisible(owner) || !GetWindowRect(owner, &on)) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &on, 0);
    }
    SetWindowPos(dialog, HWND_TOP, on.left + (on.right - on.left - (own.right - own.left)) / 2,
                 std::max(on.top, on.top + (on.bottom - on.top - (own.bottom - own.top)) / 2), 0, 0, SWP_NOSIZE);
    MessageBeep(MB_ICONEXCLAMATION);
}

INT_PTR CALLBACK FailureBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
        OnInit(dialog, *reinterpret_cast<const FailureBox*>(lParam));
        return TRUE;
    }
    const auto* box = reinterpret_cast<const FailureBox*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    if (box == nullptr || message != WM_COMMAND) {
        return FALSE;
    }
    if (LOWORD(wParam) == IDC_SAVE_REPORT) {
        box->save(dialog);
        SetFocus(GetDlgItem(dialog, IDOK));
    } else if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDOK);
    }
    return TRUE;
}

}  // namespace

void RunWin32FailureBox(HWND__* owner, const FailureBoxTexts& texts, const std::function<void(HWND__* box)>& save)
{
    const FailureBox box{WideText(texts.body), WideText(texts.caption), WideText(texts.okLabel),
                         WideText(texts.saveLabel), save};
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_FAILURE_BOX), owner, FailureBoxProc,
                    reinterpret_cast<LPARAM>(&box));
}
