// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/win32_history_window.h"

#include "i18n/message.h"
#include "shell/reports/history_reader.h"
#include "shell/reports/history_report.h"
#include "shell/reports/history_table.h"

// After the shell's headers, whose constants windows.h defines as macros.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "device/win_text.h"
#include "ui/win32/win32_child_text.h"
#include "ui/win32/win32_save_dialog.h"
#include "ui/win32/win32_window_class.h"

namespace {

constexpr wchar_t kHistoryClassName[] = L"ZentrixHistory";
constexpr size_t kShownRuns = 2000;   // the rest are in --history and the CSV
constexpr int kDetailsHeight = 120;   // the box under the table with the selected run in full
constexpr const char* kNothingYet = N_("No calculator has been updated on this computer yet.");
// The window's children.
constexpr int kRuns = 1;
constexpr int kDetails = 2;
constexpr int kResultFilter = 3;
constexpr int kTextFilter = 4;
constexpr int kSave = 5;
constexpr int kClose = 6;
constexpr int kFilterHeight = 30;     // the line of the filters above the table
constexpr int kButtonsHeight = 36;    // the line of "Save as CSV..." and Close under the details
constexpr int kButtonWidth = 130;
constexpr int kResultFilterWidth = 200;

// What the window shows: the headings, each run's cells (as shown and as
// the filter reads them), its start and result as recorded (the start in
// UTC, which sorts as text), the results recorded (the filter's choices),
// how the rows are sorted, and what is said under any run (warnings).
struct HistoryView {
    std::vector<std::wstring> headings;
    std::vector<std::vector<std::wstring>> cells;
    std::vector<std::vector<std::string>> texts;
    std::vector<std::wstring> started;
    std::vector<std::string> recorded;
    std::vector<std::string> results;
    std::wstring notes;
    std::string path;                 // the history shown, which "Save as CSV..." reads again whole
    const MoCatalogue* catalogue = nullptr;
    int sortColumn = kRunStarted;
    bool ascending = false;
    HFONT font = nullptr;
};

HistoryView* ViewOf(HWND window)
{
    return reinterpret_cast<HistoryView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

std::unique_ptr<HistoryView> ReadView(const std::string& path, const MoCatalogue* texts)
{
    auto view = std::make_unique<HistoryView>();
    view->path = path;
    view->catalogue = texts;
    for (const std::string& heading : HistoryWindowHeadings(texts)) {
        view->headings.push_back(WideText(heading));
    }
    uint64_t total = 0;
    std::vector<Message> warnings;
    const std::vector<HistoryRecord> records = ReadNewestRecords(path, kShownRuns, total, warnings);
    for (const HistoryRecord& record : records) {
        std::vector<std::wstring> row;
        std::vector<std::string> shown = HistoryWindowCells(record, texts);
        for (const std::string& cell : shown) {
            row.push_back(WideText(cell));
        }
        view->cells.push_back(std::move(row));
        view->texts.push_back(std::move(shown));
        view->started.push_back(WideText(record[kStarted].value_or("")));
        view->recorded.push_back(record[kResult].value_or(""));
        const std::string& result = view->recorded.back();
        if (!result.empty() && std::find(view->results.begin(), view->results.end(), result) == view->results.end()) {
            view->results.push_back(result);
        }
    }
    std::sort(view->results.begin(), view->results.end());
    if (records.empty() && warnings.empty()) {
        warnings.push_back(Message(kNothingYet));
    }
    if (total > records.size()) {
        warnings.push_back(Message(N_("Only the newest %d of %d runs are shown; the CSV holds them all."),
                                   {std::to_string(records.size()), std::to_string(total)}));
    }
    for (const Message& warning : warnings) {
        view->notes += WideText(warning.Render(texts)) + L"\r\n";
    }
    return view;
}

int CALLBACK CompareRuns(LPARAM a, LPARAM b, LPARAM context)
{
    const auto& view = *reinterpret_cast<const HistoryView*>(context);
    const auto key = [&view](LPARAM run) -> const std::wstring& {
        const auto at = static_cast<size_t>(run);
        return view.sortColumn == kRunStarted ? view.started[at] : view.cells[at][view.sortColumn];
    };
    int order = key(a).compare(key(b));
    order = order != 0 ? order : view.started[static_cast<size_t>(a)].compare(view.started[static_cast<size_t>(b)]);
    return view.ascending ? order : -order;
}

void Sort(HWND list, HistoryView& view)
{
    SendMessageW(list, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&view), reinterpret_cast<LPARAM>(&CompareRuns));
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    for (int c = 0; c < kRunColumnCount; ++c) {
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        item.fmt |= c != view.sortColumn ? 0 : view.ascending ? HDF_SORTUP : HDF_SORTDOWN;
        SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&item));
    }
}

// As wide as the column's heading (with room for the sort arrow) and its
// widest cell, in the table's font.
LPARAM ColumnWidth(HWND list, const HistoryView& view, int column)
{
    const auto width = [list](const std::wstring& text) {
        return static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
    };
    int widest = width(view.headings[static_cast<size_t>(column)]) + 40;
    for (const std::vector<std::wstring>& row : view.cells) {
        widest = std::max(widest, width(row[static_cast<size_t>(column)]) + 16);
    }
    return widest;
}

// The runs the filters let through into the table, sorted as it is; the
// selected run stays selected while it is shown.
void ShowRuns(HWND window, HistoryView& view)
{
    HWND list = GetDlgItem(window, kRuns);
    LVITEMW selected = {};
    selected.mask = LVIF_PARAM;
    selected.iItem = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    selected.lParam = -1;
    if (selected.iItem >= 0) {
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&selected));
    }
    const auto picked = SendDlgItemMessageW(window, kResultFilter, CB_GETCURSEL, 0, 0);
    const std::string result =
        picked > 0 && static_cast<size_t>(picked) <= view.results.size() ? view.results[static_cast<size_t>(picked) - 1]
                                                                         : std::string();
    const std::string text = ChildText(window, kTextFilter);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    int shown = 0;
    for (size_t run = 0; run < view.cells.size(); ++run) {
        if (!HistoryRunShown(view.recorded[run], view.texts[run], result, text)) {
            continue;
        }
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = shown++;
        item.lParam = static_cast<LPARAM>(run);
        item.pszText = view.cells[run][0].data();
        const LRESULT at = SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        for (int c = 1; c < kRunColumnCount; ++c) {
            LVITEMW cell = {};
            cell.iSubItem = c;
            cell.pszText = view.cells[run][static_cast<size_t>(c)].data();
            SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&cell));
        }
    }
    Sort(list, view);
    LVFINDINFOW find = {};
    find.flags = LVFI_PARAM;
    find.lParam = selected.lParam;
    if (const auto at = SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find));
        selected.lParam >= 0 && at >= 0) {
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = state.stateMask;
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&state));
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

// The columns, as wide as every run needs (the filters do not change them).
void FillTable(HWND list, HistoryView& view)
{
    for (int c = 0; c < kRunColumnCount; ++c) {
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = view.headings[static_cast<size_t>(c)].data();
        column.cx = 100;
        column.iSubItem = c;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
    }
    for (int c = 0; c < kRunReason; ++c) {
        SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c), ColumnWidth(list, view, c));
    }
}

// The selected run in full, the reason first, then what is said under any run.
void ShowSelected(HWND window, const HistoryView& view)
{
    HWND list = GetDlgItem(window, kRuns);
    const auto selected = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    std::wstring text;
    if (selected >= 0) {
        LVITEMW item = {};
        item.mask = LVIF_PARAM;
        item.iItem = selected;
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        const std::vector<std::wstring>& cells = view.cells[static_cast<size_t>(item.lParam)];
        for (const int c : {kRunReason, kRunStarted, kRunResult, kRunLabel, kRunDevice, kRunSerial, kRunModel,
                            kRunOsBefore, kRunImage, kRunMode}) {
            if (c != kRunReason || !cells[kRunReason].empty()) {
                text += view.headings[static_cast<size_t>(c)] + L": " + cells[static_cast<size_t>(c)] + L"\r\n";
            }
        }
        text += L"\r\n";
    }
    SetWindowTextW(GetDlgItem(window, kDetails), (text + view.notes).c_str());
}

LRESULT Notify(HWND window, const NMHDR& note)
{
    HistoryView* view = ViewOf(window);
    if (view == nullptr || note.idFrom != kRuns) {
        return 0;
    }
    if (note.code == LVN_COLUMNCLICK) {
        const int column = reinterpret_cast<const NMLISTVIEW&>(note).iSubItem;
        view->ascending = column == view->sortColumn ? !view->ascending : column != kRunStarted;
        view->sortColumn = column;
        Sort(note.hwndFrom, *view);
    } else if (note.code == LVN_ITEMCHANGED && (reinterpret_cast<const NMLISTVIEW&>(note).uChanged & LVIF_STATE)) {
        ShowSelected(window, *view);
    }
    return 0;
}

// Every run of the history as CSV into `file`, through a temporary file
// beside it put in place whole; false when it could not be.
bool WriteCsv(const std::string& history, const std::wstring& file)
{
    CHistoryReader reader;
    Message problem;
    if (!reader.Open(history, problem)) {
        return false;
    }
    const std::wstring temporary = file + L".part";
    HANDLE out = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        return false;
    }
    const auto write = [out](const std::string& text) {
        DWORD written = 0;
        return WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0 &&
               written == text.size();
    };
    bool whole = write(HistoryCsvHeader());
    HistoryRecord record;
    while (whole && reader.Next(record)) {
        whole = write(HistoryCsvRow(record));
    }
    whole = FlushFileBuffers(out) != 0 && whole;
    CloseHandle(out);
    if (!whole || MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

// "Save as CSV...": asks where, then says when it could not be saved.
void SaveAsCsv(HWND window, const HistoryView& view)
{
    std::wstring file = L"zentrix-update-history.csv";
    const std::wstring title = WideText(Message(N_("Save the history as CSV")).Render(view.catalogue));
    const std::wstring filter = WideText(Message(N_("CSV files (*.csv)")).Render(view.catalogue)) + L'\0' + L"*.csv" + L'\0';
    if (!AskWhereToSave(window, title, filter, L"csv", file)) {
        return;
    }
    if (!WriteCsv(view.path, file)) {
        const Message text(N_("The history could not be saved to %s."), {Utf8Text(file)});
        MessageBoxW(window, WideText(text.Render(view.catalogue)).c_str(),
                    WideText(Message(kWin32HistoryTitle).Render(view.catalogue)).c_str(), MB_OK | MB_ICONEXCLAMATION);
    }
}

LRESULT CALLBACK HistoryProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE: {
        const int width = LOWORD(lParam);
        const int height = HIWORD(lParam);
        const int buttons = height > 4 * kButtonsHeight ? kButtonsHeight : 0;
        const int details = (height - buttons > 2 * kDetailsHeight ? kDetailsHeight : (height - buttons) / 2);
        // The result's list drops below the line; the text takes the rest of it.
        MoveWindow(GetDlgItem(window, kResultFilter), 4, 4, kResultFilterWidth, 300, TRUE);
        MoveWindow(GetDlgItem(window, kTextFilter), kResultFilterWidth + 10, 4,
                   std::max(40, width - kResultFilterWidth - 14), kFilterHeight - 8, TRUE);
        MoveWindow(GetDlgItem(window, kRuns), 0, kFilterHeight, width,
                   std::max(0, height - buttons - details - kFilterHeight), TRUE);
        // The reason takes what the other columns leave.
        SendMessageW(GetDlgItem(window, kRuns), LVM_SETCOLUMNWIDTH, kRunReason, LVSCW_AUTOSIZE_USEHEADER);
        MoveWindow(GetDlgItem(window, kDetails), 0, height - buttons - details, width, details, TRUE);
        // At the bottom right, Close last.
        MoveWindow(GetDlgItem(window, kClose), width - kButtonWidth - 6, height - buttons + 6, kButtonWidth,
                   buttons - 12, TRUE);
        MoveWindow(GetDlgItem(window, kSave), width - 2 * kButtonWidth - 12, height - buttons + 6, kButtonWidth,
                   buttons - 12, TRUE);
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == kClose && HIWORD(wParam) == BN_CLICKED) {
            DestroyWindow(window);
            return 0;
        }
        if (LOWORD(wParam) == kSave && HIWORD(wParam) == BN_CLICKED) {
            if (const HistoryView* view = ViewOf(window); view != nullptr) {
                SaveAsCsv(window, *view);
            }
            return 0;
        }
        // A filter changed: the table shows the runs it lets through.
        if ((LOWORD(wParam) == kResultFilter && HIWORD(wParam) == CBN_SELCHANGE) ||
            (LOWORD(wParam) == kTextFilter && HIWORD(wParam) == EN_CHANGE)) {
            if (HistoryView* view = ViewOf(window); view != nullptr) {
                ShowRuns(window, *view);
                ShowSelected(window, *view);
            }
        }
        return 0;
    case WM_ERASEBKGND: {
        // The strip of the buttons, in the dialogs' colour.
        RECT client = {};
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_NOTIFY:
        return Notify(window, *reinterpret_cast<const NMHDR*>(lParam));
    case WM_DESTROY: {
        // What the window kept goes with it.
        std::unique_ptr<HistoryView> view(ViewOf(window));
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        if (view != nullptr && view->font != nullptr) {
            DeleteObject(view->font);
        }
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND MakeChild(HWND window, const wchar_t* kind, DWORD style, int id)
{
    return CreateWindowExW(WS_EX_CLIENTEDGE, kind, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

HWND__* ShowHistoryWindow(HWND__* owner, const std::string& path, const MoCatalogue* texts)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterProgramWindowClass(kHistoryClassName, HistoryProc);
    HWND window = CreateWindowExW(0, kHistoryClassName, WideText(Message(kWin32HistoryTitle).Render(texts)).c_str(),
                                  WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 1100, 480, owner, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        return nullptr;
    }
    std::unique_ptr<HistoryView> view = ReadView(path, texts);
    HWND results = CreateWindowExW(0, WC_COMBOBOXW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
                                   0, 0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kResultFilter)),
                                   GetModuleHandleW(nullptr), nullptr);
    SendMessageW(results, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(WideText(Message(N_("All results")).Render(texts)).c_str()));
    for (const std::string& word : view->results) {
        SendMessageW(results, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideText(ShownResultWord(word, texts)).c_str()));
    }
    SendMessageW(results, CB_SETCURSEL, 0, 0);
    HWND text = MakeChild(window, WC_EDITW, ES_AUTOHSCROLL | WS_TABSTOP, kTextFilter);
    SendMessageW(text, EM_SETCUEBANNER, TRUE,
                 reinterpret_cast<LPARAM>(WideText(Message(N_("Show only the runs with this text")).Render(texts)).c_str()));
    HWND list = MakeChild(window, WC_LISTVIEWW, LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, kRuns);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER);
    HWND details = MakeChild(window, L"EDIT", WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, kDetails);
    const auto button = [window, texts](const char* label, int id) {
        return CreateWindowExW(0, L"BUTTON", WideText(Message(label).Render(texts)).c_str(),
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, window,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    };
    HWND save = button(N_("Save as CSV..."), kSave);
    HWND close = button(N_("Close"), kClose);
    EnableWindow(save, view->cells.empty() ? FALSE : TRUE);
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) != 0) {
        view->font = CreateFontIndirectW(&metrics.lfMessageFont);
        SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(view->font), FALSE);
        for (HWND child : {details, results, text, save, close}) {
            SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(view->font), FALSE);
        }
    }
    FillTable(list, *view);
    ShowRuns(window, *view);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view.release()));
    ShowSelected(window, *ViewOf(window));
    RECT client = {};
    GetClientRect(window, &client);
    SendMessageW(window, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
    ShowWindow(window, SW_SHOW);
    return window;
}
