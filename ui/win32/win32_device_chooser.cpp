// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/win32_device_chooser.h"

// After the shell's headers: windows.h defines MessageBox as a macro.
#include <windows.h>
#include <commctrl.h>
#undef MessageBox

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>

#include "device/device_watch.h"

#include "device/device_labels.h"
#include "device/safe_text.h"
#include "device/win_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/screen/device_name.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/win32_name_dialog.h"

namespace {

constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchPeriodMs = 250;
// Without the system's device events (wine, older Windows) the candidates
// are listed again this often.
constexpr ULONGLONG kRescanMs = 2000;

struct Chooser {
    std::vector<ListedDevice> candidates;
    bool several;
    DeviceChooserResult& result;
    const MoCatalogue* texts;
    CandidateLister lister;
    CalculatorNamer namer;
    std::map<std::string, std::string> named = {};   // the labels given here, by path
    HWND list = nullptr;
    HWND tip = nullptr;
    LRESULT tipRow = -1;     // the row the tooltip speaks of
    std::wstring tipText = {};
    std::unique_ptr<CDeviceWatch> watch = nullptr;
    ULONGLONG listedAt = 0;
    bool relisted = false;   // the candidates are no longer the ones given
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

const char* IntroText(const Chooser& chooser)
{
    if (chooser.candidates.empty()) {
        return chooser.lister ? N_("No calculator is configured, and nothing connected looks like one yet.\n"
                                   "Connect the calculator: it is listed here as soon as it is found.")
                              : N_("No calculator is configured, and nothing connected looks like one.\n"
                                   "Connect the calculator, then start the program again.");
    }
    return chooser.several ? N_("No calculator is configured. Choose the ones to update:")
                           : N_("No calculator is configured. Choose the one to update:");
}

// The candidates into the list, and the words above it that fit them.
void FillList(const Chooser& chooser, HWND dialog)
{
    SetDlgItemTextW(dialog, IDC_CHOOSER_TEXT, Shown(chooser.texts, IntroText(chooser)).c_str());
    SendMessageW(chooser.list, LB_RESETCONTENT, 0, 0);
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
}

// One tooltip over the whole list; it names the row under the pointer.
HWND MakeTip(HWND dialog, HWND list)
{
    HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, 0, 0,
                               0, 0, dialog, nullptr, GetModuleHandleW(nullptr), nullptr);
    TOOLINFOW tool = {};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(list);
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 480);
    return tip;
}

// The row under the pointer, or -1.
LRESULT RowUnderPointer(HWND list)
{
    POINT at = {};
    GetCursorPos(&at);
    ScreenToClient(list, &at);
    const LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(at.x, at.y));
    return HIWORD(hit) != 0 ? -1 : static_cast<LRESULT>(LOWORD(hit));
}

// The pointer moved over the list: a new row gets its own tooltip.
void FollowPointer(Chooser& chooser)
{
    const LRESULT row = RowUnderPointer(chooser.list);
    if (row != chooser.tipRow) {
        chooser.tipRow = row;
        SendMessageW(chooser.tip, TTM_UPDATE, 0, 0);
    }
}

void OnTipText(Chooser& chooser, NMTTDISPINFOW& info)
{
    const LRESULT row = RowUnderPointer(chooser.list);
    chooser.tipText = row >= 0 && static_cast<size_t>(row) < chooser.candidates.size()
                          ? WideText(ChooserRowTip(chooser.candidates[static_cast<size_t>(row)], chooser.texts))
                          : std::wstring();
    info.lpszText = chooser.tipText.data();
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

void Pick(const Chooser& chooser, size_t row)
{
    if (chooser.several) {
        SendMessageW(chooser.list, LB_SETSEL, TRUE, static_cast<LPARAM>(row));
    } else {
        SendMessageW(chooser.list, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    }
}

// The port's path typed under the list, without the spaces around it.
std::string TypedPath(HWND dialog)
{
    wchar_t wide[1024] = {};
    GetDlgItemTextW(dialog, IDC_CHOOSER_PATH, wide, static_cast<int>(std::size(wide)));
    char text[4096] = {};
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    std::string path = text;
    const size_t first = path.find_first_not_of(" \t");
    const size_t last = path.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : path.substr(first, last - first + 1);
}

// The row Name... names: the one picked, or the picked one with the caret
// among several; -1 when none is.
LRESULT NamedRow(const Chooser& chooser)
{
    const LRESULT row = SendMessageW(chooser.list, chooser.several ? LB_GETCARETINDEX : LB_GETCURSEL, 0, 0);
    const bool picked = row >= 0 && static_cast<size_t>(row) < chooser.candidates.size() &&
                        SendMessageW(chooser.list, LB_GETSEL, static_cast<WPARAM>(row), 0) > 0;
    return picked ? row : -1;
}

void UpdateOk(const Chooser& chooser, HWND dialog)
{
    EnableWindow(GetDlgItem(dialog, IDOK),
                 !Picked(chooser.list, chooser.several).empty() || !TypedPath(dialog).empty());
    EnableWindow(GetDlgItem(dialog, IDC_CHOOSER_NAME), NamedRow(chooser) >= 0);
}

// Name...: the picked row's calculator gets a label, shown at once in its row.
void NamePicked(Chooser& chooser, HWND dialog)
{
    const LRESULT row = NamedRow(chooser);
    if (row < 0) {
        return;
    }
    ListedDevice& device = chooser.candidates[static_cast<size_t>(row)];
    const std::string label =
        AskCalculatorName(dialog, chooser.namer, StableNameOf(device.path, {device.serialNumber, device.portChain, "", ""}),
                          device.path, device.label, chooser.texts);
    if (label.empty()) {
        return;
    }
    device.label = label;
    chooser.named[device.path] = label;
    const std::wstring text = WideText(ChooserRowText(device, chooser.texts));
    SendMessageW(chooser.list, LB_DELETESTRING, static_cast<WPARAM>(row), 0);
    SendMessageW(chooser.list, LB_INSERTSTRING, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.c_str()));
    Pick(chooser, static_cast<size_t>(row));
    UpdateOk(chooser, dialog);
}

bool SameRows(const std::vector<ListedDevice>& a, const std::vector<ListedDevice>& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const ListedDevice& x, const ListedDevice& y) {
               return ChooserRowText(x) == ChooserRowText(y);
           });
}

// Lists the candidates again, keeping what was picked; a lone newcomer is
// picked when one calculator is chosen and none was.
void Relist(Chooser& chooser, HWND dialog)
{
    std::vector<ListedDevice> now = chooser.lister();
    chooser.listedAt = GetTickCount64();
    for (ListedDevice& device : now) {
        if (const auto given = chooser.named.find(device.path); given != chooser.named.end()) {
            device.label = given->second;   // the lister knows the labels it was given with
        }
    }
    if (SameRows(now, chooser.candidates)) {
        return;
    }
    std::vector<std::string> picked;
    for (const size_t row : Picked(chooser.list, chooser.several)) {
        picked.push_back(chooser.candidates[row].path);
    }
    chooser.candidates = std::move(now);
    chooser.relisted = true;
    FillList(chooser, dialog);
    for (size_t row = 0; row < chooser.candidates.size(); ++row) {
        if (std::find(picked.begin(), picked.end(), chooser.candidates[row].path) != picked.end()) {
            Pick(chooser, row);
        }
    }
    if (chooser.candidates.size() == 1 && !chooser.several && picked.empty()) {
        Pick(chooser, 0);   // the one that just arrived
    }
    UpdateOk(chooser, dialog);
}

// The path's label as wide as its words (a language's may be longer than
// the template's place), the field taking the rest of the line.
void FitPathLabel(HWND dialog)
{
    HWND label = GetDlgItem(dialog, IDC_CHOOSER_PATH_LABEL);
    HWND field = GetDlgItem(dialog, IDC_CHOOSER_PATH);
    RECT l = {};
    RECT f = {};
    GetWindowRect(label, &l);
    GetWindowRect(field, &f);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&l), 2);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&f), 2);
    std::wstring words(static_cast<size_t>(GetWindowTextLengthW(label)) + 1, L'\0');
    GetWindowTextW(label, words.data(), static_cast<int>(words.size()));
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32W(dc, words.c_str(), static_cast<int>(words.size()) - 1, &size);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    const int width = std::max(static_cast<int>(size.cx) + 2, static_cast<int>(l.right - l.left));
    const int fieldLeft = l.left + width + (f.left - l.right);
    MoveWindow(label, l.left, l.top, width, l.bottom - l.top, TRUE);
    MoveWindow(field, fieldLeft, f.top, f.right - fieldLeft, f.bottom - f.top, TRUE);
}

void FillChooser(Chooser& chooser, HWND dialog)
{
    const MoCatalogue* texts = chooser.texts;
    SetWindowTextW(dialog, Shown(texts, chooser.several ? N_("Choose the calculators") : N_("Choose the calculator"))
                               .c_str());
    SetDlgItemTextW(dialog, IDC_CHOOSER_REMEMBER,
                    Shown(texts, chooser.several ? N_("Remember these calculators") : N_("Remember this calculator"))
                        .c_str());
    SetDlgItemTextW(dialog, IDC_CHOOSER_PATH_LABEL, Shown(texts, N_("Or type the port's path:")).c_str());
    FitPathLabel(dialog);
    SetDlgItemTextW(dialog, IDOK, Shown(texts, N_("OK")).c_str());
    SetDlgItemTextW(dialog, IDCANCEL, Shown(texts, N_("Cancel")).c_str());
    if (chooser.namer) {
        SetDlgItemTextW(dialog, IDC_CHOOSER_NAME, Shown(texts, N_("Name...")).c_str());
        ShowWindow(GetDlgItem(dialog, IDC_CHOOSER_NAME), SW_SHOW);
    }
    chooser.list = MakeList(dialog, chooser.several);
    chooser.tip = MakeTip(dialog, chooser.list);
    FillList(chooser, dialog);
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    if (chooser.lister) {
        // The device watch says when something was plugged or pulled.
        SetDlgItemTextW(dialog, IDC_CHOOSER_REFRESH, Shown(texts, N_("Refresh")).c_str());
        ShowWindow(GetDlgItem(dialog, IDC_CHOOSER_REFRESH), SW_SHOW);
        chooser.watch = std::make_unique<CDeviceWatch>(std::vector<std::string>{});
        chooser.listedAt = GetTickCount64();
        SetTimer(dialog, kWatchTimer, kWatchPeriodMs, nullptr);
    }
    SetFocus(chooser.list);
}

void OnTimer(Chooser& chooser, HWND dialog)
{
    const bool rescan = !chooser.watch->Watching() && GetTickCount64() - chooser.listedAt >= kRescanMs;
    if (chooser.watch->TakeChange() || rescan) {
        Relist(chooser, dialog);
    }
}

// The picks, a typed path (the one calculator, unless several may be
// chosen) and the Remember tick.
void TakeResult(const Chooser& chooser, HWND dialog)
{
    DeviceChooserResult& result = chooser.result;
    const std::string typed = TypedPath(dialog);
    result.chosen.clear();
    for (const size_t row : Picked(chooser.list, chooser.several)) {
        if (typed.empty() || chooser.several) {
            result.chosen.push_back(row);
        }
    }
    if (chooser.relisted || !typed.empty()) {
        result.shown = chooser.candidates;
    }
    if (!typed.empty()) {
        ListedDevice device;
        device.path = typed;
        result.chosen.push_back(result.shown.size());
        result.shown.push_back(std::move(device));
    }
    result.remember = IsDlgButtonChecked(dialog, IDC_CHOOSER_REMEMBER) == BST_CHECKED;
}

INT_PTR OnCommand(Chooser& chooser, HWND dialog, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDC_CHOOSER_LIST:
    case IDC_CHOOSER_PATH:
        if (HIWORD(wParam) == LBN_SELCHANGE || HIWORD(wParam) == EN_CHANGE) {
            UpdateOk(chooser, dialog);
        }
        return TRUE;
    case IDC_CHOOSER_REFRESH:
        Relist(chooser, dialog);
        return TRUE;
    case IDC_CHOOSER_NAME:
        NamePicked(chooser, dialog);
        return TRUE;
    case IDOK:
        TakeResult(chooser, dialog);
        if (chooser.result.chosen.empty()) {
            return TRUE;   // Return with nothing picked
        }
        EndDialog(dialog, IDOK);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK ChooserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
        FillChooser(*reinterpret_cast<Chooser*>(lParam), dialog);
        return FALSE;   // the focus is set
    }
    auto* chooser = reinterpret_cast<Chooser*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    if (chooser == nullptr) {
        return FALSE;
    }
    switch (message) {
    case WM_COMMAND:
        return OnCommand(*chooser, dialog, wParam);
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == chooser->list) {
            FollowPointer(*chooser);
        }
        return FALSE;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->hwndFrom == chooser->tip && header->code == TTN_GETDISPINFOW) {
            OnTipText(*chooser, *reinterpret_cast<NMTTDISPINFOW*>(lParam));
        }
        return FALSE;
    }
    case WM_TIMER:
        if (wParam == kWatchTimer && chooser->watch != nullptr) {
            OnTimer(*chooser, dialog);
        }
        return TRUE;
    case WM_DESTROY:
        KillTimer(dialog, kWatchTimer);
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

std::string ChooserRowText(const ListedDevice& device, const MoCatalogue* texts)
{
    // The name the user gave it first.
    std::string text = device.label.empty() ? std::string() : SafeText(device.label, kLabelChars) + " - ";
    text += device.productName.empty()
                           ? Message(device.usb ? N_("USB device") : N_("Serial port")).Render(texts)
                           : SafeLine(device.productName);
    if (!device.manufacturer.empty()) {
        text += " (" + SafeLine(device.manufacturer) + ")";
    }
    // A COM port by the name Device Manager shows; the whole path in the tooltip.
    text += " - " + SafeLine(FriendlyDeviceName(device.path, {}).Render(texts));
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
                                 SafeLine(device.problem.reason.Render(texts)));
}

std::string ChooserRowTip(const ListedDevice& device, const MoCatalogue* texts)
{
    return SafeLine(device.path) + "\r\n" +
           (device.mayOpen ? Message(N_("you may open it")).Render(texts)
                           : Message(N_("you may not open it: ")).Render(texts) +
                                 SafeLine(device.problem.reason.Render(texts)));
}

ChooserAnswer RunWin32DeviceChooser(HWND__* owner, const std::vector<ListedDevice>& candidates, bool several,
                                    DeviceChooserResult& result, const MoCatalogue* texts, CandidateLister lister,
                                    CalculatorNamer namer)
{
    Chooser chooser{candidates, several, result, texts, std::move(lister), std::move(namer)};
    const INT_PTR answer = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DEVICE_CHOOSER), owner,
                                           ChooserProc, reinterpret_cast<LPARAM>(&chooser));
    return answer == IDOK ? ChooserAnswer::Chosen : ChooserAnswer::Cancelled;
}
