// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/win32_device_chooser.h"

// After the shell's headers: windows.h defines MessageBox as a macro.
#include <windows.h>
#undef MessageBox

#include <cstdio>

#include "device/safe_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/win32_text.h"

namespace {

struct Chooser {
    const std::vector<ListedDevice>& candidates;
    bool several;
    DeviceChooserResult& result;
    const MoCatalogue* texts;
    HWND list = nullptr;
};

// A text of the chooser in the user's language, with Windows' line ends.
std::wstring Shown(const MoCatalogue* texts, const char* english)
{
    std::string text;
    for (const char c : Message(english).Render(texts)) {
        text += c == '\n' ? "\r\n" : std::string(1, c);
    }
    return WideText(text);
}

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
    const MoCatalogue* texts = chooser.texts;
    SetWindowTextW(dialog, Shown(texts, chooser.several ? N_("Choose the calculators") : N_("Choose the calculator"))
                               .c_str());
    SetDlgItemTextW(dialog, IDC_CHOOSER_TEXT,
                    Shown(texts, none ? N_("No calculator is configured, and nothing connected looks like one.\n"
                                           "Connect the calculator, then start the program again.")
                                 : chooser.several ? N_("No calculator is configured. Choose the ones to update:")
                                                   : N_("No calculator is configured. Choose the one to update:"))
                        .c_str());
    SetDlgItemTextW(dialog, IDC_CHOOSER_REMEMBER,
                    Shown(texts, chooser.several ? N_("Remember these calculators") : N_("Remember this calculator"))
                        .c_str());
    chooser.list = MakeList(dialog, chooser.several);
    int widest = 0;
    HDC dc = GetDC(chooser.list);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(chooser.list, WM_GETFONT, 0, 0)));
    for (const ListedDevice& device : chooser.candidates) {
        const std::wstring row = WideText(ChooserRowText(device, chooser.texts));
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

std::string ChooserRowText(const ListedDevice& device, const MoCatalogue* texts)
{
    std::string text = device.productName.empty()
                           ? Message(device.usb ? N_("USB device") : N_("Serial port")).Render(texts)
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
        text += " - " + Message(N_("serial ")).Render(texts) + SafeLine(device.serialNumber);
    }
    return text + " - " +
           (device.mayOpen ? Message(N_("you may open it")).Render(texts)
                           : Message(N_("you may not open it: ")).Render(texts) +
                                 SafeLine(Message::Word(device.problem).Render(texts)));
}

ChooserAnswer RunWin32DeviceChooser(HWND__* owner, const std::vector<ListedDevice>& candidates, bool several,
                                    DeviceChooserResult& result, const MoCatalogue* texts)
{
    Chooser chooser{candidates, several, result, texts};
    const INT_PTR answer = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DEVICE_CHOOSER), owner,
                                           Proc, reinterpret_cast<LPARAM>(&chooser));
    return answer == IDOK ? ChooserAnswer::Chosen : ChooserAnswer::Cancelled;
}
