// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/win32_device_chooser.h"

// After the shell's headers: windows.h defines MessageBox as a macro.
#include <windows.h>
#undef MessageBox

#include <cstdio>

#include "device/safe_text.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/win32_text.h"

namespace {

struct Chooser {
    const std::vector<ListedDevice>& candidates;
    bool several;
    DeviceChooserResult& result;
    HWND list = nullptr;
};

HWND MakeList(HWND dialog, bool several)
{
    // Made here, where one pick or many is known, in the place the template keeps for it.
    HWND place = GetDlgItem(dialog, IDC_CHOOSER_LIST);
    RECT r = {};
    GetWindowRect(place, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    DestroyWindow(place);
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | WS_BORDER | LBS_NOTIFY |
                        LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | (several ? LBS_MULTIPLESEL : 0);
    HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"", style, r.left, r.top, r.right - r.left,
                                r.bottom - r.top, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_CHOOSER_LIST)),
                                GetModuleHandleW(nullptr), nullptr);
    SendMessageW(list, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
    // Placed first among the controls: it has the focus first.
    SetWindowPos(list, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return list;
}

void Fill(Chooser& chooser, HWND dialog)
{
    const bool none = chooser.candidates.empty();
    SetWindowTextW(dialog, chooser.several ? L"Choose the calculators" : L"Choose the calculator");
    SetDlgItemTextW(dialog, IDC_CHOOSER_TEXT,
                    none ? L"No calculator is configured, and nothing connected looks like one.\r\n"
                           L"Connect the calculator, then start the program again."
                         : chooser.several ? L"No calculator is configured. Choose the ones to update:"
                                           : L"No calculator is configured. Choose the one to update:");
    SetDlgItemTextW(dialog, IDC_CHOOSER_REMEMBER,
                    chooser.several ? L"Remember these calculators" : L"Remember this calculator");
    chooser.list = MakeList(dialog, chooser.several);
    int widest = 0;
    HDC dc = GetDC(chooser.list);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(chooser.list, WM_GETFONT, 0, 0)));
    for (const ListedDevice& device : chooser.candidates) {
        const std::wstring row = WideText(ChooserRowText(device));
        SendMessageW(chooser.list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row.c_str()));
        SIZE size = {};
        GetTextExtentPoint32W(dc, row.c_str(), static_cast<int>(row.size()), &size);
        widest = size.cx > widest ? size.cx : widest;
    }
    SelectObject(dc, old);
    ReleaseDC(chooser.list, dc);
    SendMessageW(chooser.list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    SetFocus(chooser.list);
}

std::vector<size_t> Picked(HWND list, bool several)
{
    std::vector<size_t> picked;
    if (!several) {
        const LRESULT row = SendMessageW(list, LB_GETCURSEL, 0, 0);
        if (row != LB_ERR) {
            picked.push_back(static_cast<size_t>(row));
        }
        return picked;
    }
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT row = 0; row < count; ++row) {
        if (SendMessageW(list, LB_GETSEL, static_cast<WPARAM>(row), 0) > 0) {
            picked.push_back(static_cast<size_t>(row));
        }
    }
    return picked;
}

INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
        Fill(*reinterpret_cast<Chooser*>(lParam), dialog);
        return FALSE;   // the focus is set
    }
    auto* chooser = reinterpret_cast<Chooser*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    if (chooser == nullptr || message != WM_COMMAND) {
        return FALSE;
    }
    switch (LOWORD(wParam)) {
    case IDC_CHOOSER_LIST:
        if (HIWORD(wParam) == LBN_SELCHANGE) {
            EnableWindow(GetDlgItem(dialog, IDOK), !Picked(chooser->list, chooser->several).empty());
        }
        return TRUE;
    case IDOK:
        chooser->result.chosen = Picked(chooser->list, chooser->several);
        if (chooser->result.chosen.empty()) {
            return TRUE;   // Return with nothing picked
        }
        chooser->result.remember = IsDlgButtonChecked(dialog, IDC_CHOOSER_REMEMBER) == BST_CHECKED;
        EndDialog(dialog, IDOK);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

std::string ChooserRowText(const ListedDevice& device)
{
    std::string text = device.productName.empty() ? (device.usb ? "USB device" : "Serial port")
                                                   : SafeLine(device.productName);
    if (!device.manufacturer.empty()) {
        text += " (" + SafeLine(device.manufacturer) + ")";
    }
    text += " - " + SafeLine(device.path);
    if (device.usb && device.found) {
        char id[24];
        std::snprintf(id, sizeof id, " - ID %04x:%04x", device.vendor, device.product);
        text += id;
    }
    if (!device.serialNumber.empty()) {
        text += " - serial " + SafeLine(device.serialNumber);
    }
    return text + (device.mayOpen ? " - you may open it" : " - you may not open it: " + SafeLine(device.problem));
}

ChooserAnswer RunWin32DeviceChooser(HWND__* owner, const std::vector<ListedDevice>& candidates, bool several,
                                    DeviceChooserResult& result)
{
    Chooser chooser{candidates, several, result};
    const INT_PTR answer = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DEVICE_CHOOSER), owner,
                                           Proc, reinterpret_cast<LPARAM>(&chooser));
    return answer == IDOK ? ChooserAnswer::Chosen : ChooserAnswer::Cancelled;
}
