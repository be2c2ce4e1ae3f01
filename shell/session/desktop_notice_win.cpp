// SPDX-License-Identifier: GPL-3.0-or-later
// The notification on Windows: a balloon from an icon in the notification
// area, which a thread of its own puts there and takes away again once the
// balloon has been seen (or at the latest after half a minute).
#include <windows.h>

#include <shellapi.h>

#include <thread>

#include "device/win_text.h"
#include "shell/session/desktop_notice.h"

namespace {

constexpr UINT kIconId = 1;
constexpr DWORD kShownMs = 30000;

// Copies `text` into a fixed field of the icon's data, cut to fit.
template <size_t N>
void Fill(wchar_t (&field)[N], const std::wstring& text)
{
    const size_t length = text.size() < N - 1 ? text.size() : N - 1;
    text.copy(field, length);
    field[length] = L'\0';
}

// The icon's window: a message-only one, on the thread that shows it.
void ShowBalloon(std::wstring summary, std::wstring body)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"Zentrix OS Update", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        return;
    }
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = window;
    icon.uID = kIconId;
    icon.uFlags = NIF_ICON | NIF_TIP | NIF_INFO;
    icon.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_INFORMATION));
    Fill(icon.szTip, summary);
    Fill(icon.szInfoTitle, summary);
    Fill(icon.szInfo, body);
    icon.dwInfoFlags = NIIF_INFO;
    if (Shell_NotifyIconW(NIM_ADD, &icon)) {
        // The balloon stays while the icon does: its messages are served
        // until it is clicked away or times out, or for half a minute.
        const DWORD until = GetTickCount() + kShownMs;
        MSG message;
        for (DWORD now = GetTickCount(); static_cast<LONG>(until - now) > 0; now = GetTickCount()) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, until - now, QS_ALLINPUT);
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&message);
            }
        }
        Shell_NotifyIconW(NIM_DELETE, &icon);
    }
    DestroyWindow(window);
}

}  // namespace

bool ShowDesktopNotice(const std::string& summary, const std::string& body, std::string& why)
{
    try {
        std::thread(ShowBalloon, WideText(summary), WideText(body)).detach();
    } catch (const std::system_error& error) {
        why = std::string("no thread for the notification: ") + error.what();
        return false;
    }
    return true;
}
