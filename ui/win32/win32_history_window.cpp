// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/win32_history_window.h"

#include "i18n/message.h"
#include "shell/history_report.h"

// After the shell's headers, whose constants windows.h defines as macros.
#include <windows.h>

#include "device/win_text.h"
#include "ui/win32/win32_window_class.h"

namespace {

constexpr wchar_t kClassName[] = L"ZentrixHistory";

// The table with Windows' line ends, as the text box wants them.
std::wstring TableText(const std::string& path, const MoCatalogue* texts)
{
    const HistoryReport report = ReportHistory({"zentrix-update", "--history"}, path, texts);
    std::string text;
    for (const char c : report.err + report.out) {
        text += c == '\n' ? "\r\n" : std::string(1, c);
    }
    return WideText(text);
}

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        MoveWindow(GetWindow(window, GW_CHILD), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_DESTROY:
        // The text box's font goes with the window.
        DeleteObject(reinterpret_cast<HGDIOBJ>(SendMessageW(GetWindow(window, GW_CHILD), WM_GETFONT, 0, 0)));
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

HWND__* ShowHistoryWindow(HWND__* owner, const std::string& path, const MoCatalogue* texts)
{
    RegisterProgramWindowClass(kClassName, Proc);
    HWND window = CreateWindowExW(0, kClassName, WideText(Message(kWin32HistoryTitle).Render(texts)).c_str(),
                                  WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 900, 420, owner, nullptr, GetModuleHandleW(nullptr),
                                  nullptr);
    if (window == nullptr) {
        return nullptr;
    }
    HWND text = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", TableText(path, texts).c_str(),
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                                    ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                                0, 0, 0, 0, window, nullptr, GetModuleHandleW(nullptr), nullptr);
    // The table lines up in a fixed-pitch font.
    HFONT font = CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Consolas");
    SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    RECT client = {};
    GetClientRect(window, &client);
    MoveWindow(text, 0, 0, client.right, client.bottom, FALSE);
    ShowWindow(window, SW_SHOW);
    return window;
}
