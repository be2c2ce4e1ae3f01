// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/win32_classroom_view.h"

#include "ui/win32/win32_front_end.h"

#include "shell/records/history_file.h"

// After the shell's headers: windows.h defines MessageBox as a macro.
#include <windows.h>
#undef MessageBox

#include <algorithm>
#include <limits>
#include <utility>

#include "device/device_labels.h"
#include "device/win_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/screen/device_name.h"
#include "shell/session/row_speech.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/win32_classroom_painter.h"
#include "ui/win32/win32_history_window.h"
#include "ui/win32/win32_name_dialog.h"
#include "ui/win32/win32_window_class.h"

namespace {

constexpr wchar_t kRowsClassName[] = L"ZentrixClassroom";
constexpr int kClientWidth = 760;    // the window's first width; the user may widen it
constexpr int kScreenMargin = 40;    // left free around the window on the screen
constexpr int kScrollLine = 20;

LRESULT CALLBACK RowsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* view = reinterpret_cast<CWin32ClassroomView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (view == nullptr || view->Window() != window) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return view->OnMessage(message, wParam, lParam);
}

}  // namespace

CWin32ClassroomView::CWin32ClassroomView(CWin32FrontEnd& frontEnd, StopRequests* stops)
    : m_frontEnd(frontEnd), m_stops(stops)
{
}

CWin32ClassroomView::~CWin32ClassroomView()
{
    CloseRows();
}

void CWin32ClassroomView::MakeWindow()
{
    RegisterProgramWindowClass(kRowsClassName, RowsProc);
    if (m_painter == nullptr) {
        m_painter = std::make_unique<CClassroomPainter>();
    }
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_VSCROLL;
    RECT frame = {0, 0, kClientWidth, 10 * m_painter->line};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    RECT room = {0, 0, 1024, 768};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &room, 0);
    const int w = frame.right - frame.left;
    const int h = frame.bottom - frame.top;
    // m_window is null until the window exists: the creation messages go to
    // DefWindowProc (the procedure answers only the view's own window).
    HWND window = CreateWindowExW(0, kRowsClassName, WideText(Message(kWin32ClassroomTitle).Render(m_texts)).c_str(), style,
                                  room.left + (room.right - room.left - w) / 2, room.top + kScreenMargin / 2, w, h,
                                  m_frontEnd.MainWindow(), nullptr, GetModuleHandleW(nullptr), this);
    m_window = window;
    m_scroll = 0;
}

void CWin32ClassroomView::ShowRows(const std::vector<ClassroomRow>& rows, const Message& heading)
{
    if (m_window == nullptr) {
        MakeWindow();
        if (m_window == nullptr) {
            return;
        }
    }
    // A new row or heading (a note added, a count's words) may need more room.
    std::string shownHeading = heading.Render(m_texts);
    const bool grew = rows.size() > m_content.rows.size() || shownHeading != m_content.heading;
    // Shown in the user's language; the rows themselves stay the loop's.
    m_content.heading = std::move(shownHeading);
    m_content.texts = m_texts;
    // What a screen reader reads of the window, said out loud only when a
    // row went silent, failed or ended.
    bool news = false;
    std::string spoken;
    for (size_t i = 0; i < rows.size(); ++i) {
        const ClassroomRow* before = i < m_content.rows.size() && m_content.rows[i].number == rows[i].number
                                         ? &m_content.rows[i]
                                         : nullptr;
        news = NewsOf(before, rows[i]) != RowNews::None || news;
        ClassroomRow named = rows[i];
        if (const auto given = m_named.find(named.device); given != m_named.end()) {
            named.usb.label = given->second;
        }
        spoken += (spoken.empty() ? "" : "\n") + RowSpokenText(rows[i], CalculatorName(named)).Render(m_texts);
    }
    m_speech.Set(m_window, m_content.heading, spoken);
    if (news) {
        m_speech.Announce();
    }
    m_content.rows = rows;
    for (ClassroomRow& row : m_content.rows) {
        if (!row.finished && row.silent) {
            row.phase = Message("%s - %s", {row.phase, SilentText(row)});
        }
    }
    m_content.nextLabel = Message(N_("Next")).Render(m_texts);
    m_content.stopLabel = Message(N_("Stop")).Render(m_texts);
    m_content.historyLabel = Message(N_("History...")).Render(m_texts);
    m_content.nameLabel = Message(N_("Name...")).Render(m_texts);
    m_content.offersName = static_cast<bool>(m_namer);
    ApplyNames();
    if (!IsWindowVisible(m_window)) {
        FitToContent();
        ShowWindow(m_window, SW_SHOW);
    } else if (grew) {
        FitToContent();
    }
    UpdateScrollRange();
    InvalidateRect(m_window, nullptr, FALSE);
}

void CWin32ClassroomView::ApplyNames()
{
    for (ClassroomRow& row : m_content.rows) {
        if (const auto given = m_named.find(row.device); given != m_named.end()) {
            row.usb.label = given->second;
        }
    }
}

void CWin32ClassroomView::NameRow(size_t line)
{
    if (line >= m_content.rows.size()) {
        return;
    }
    const ClassroomRow& row = m_content.rows[line];
    const std::string device = row.device;
    const std::string label =
        AskCalculatorName(m_window, m_namer, StableNameOf(row.device, row.usb),
                          FriendlyDeviceName(row.device, row.usb).Render(m_texts), row.usb.label, m_texts);
    if (label.empty()) {
        return;
    }
    m_named[device] = label;
    ApplyNames();
    Refresh();
}

void CWin32ClassroomView::Refresh()
{
    FitToContent();
    UpdateScrollRange();
    InvalidateRect(m_window, nullptr, FALSE);
}

// Grows the window to show its rows and question whole, as far as the screen
// allows; beyond that the rows scroll. It never shrinks under the user's hand.
void CWin32ClassroomView::FitToContent()
{
    RECT client = {};
    RECT outer = {};
    GetClientRect(m_window, &client);
    GetWindowRect(m_window, &outer);
    HDC dc = GetDC(m_window);
    const int want = m_painter->Walk(dc, m_content, client.right, 0, false);
    ReleaseDC(m_window, dc);
    RECT room = {0, 0, 1024, 768};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &room, 0);
    const int chrome = (outer.bottom - outer.top) - client.bottom;
    const int height = std::min(std::max(want + chrome, static_cast<int>(outer.bottom - outer.top)),
                                static_cast<int>(room.bottom - room.top) - kScreenMargin);
    const int y = std::min(static_cast<int>(outer.top), static_cast<int>(room.bottom) - kScreenMargin / 2 - height);
    SetWindowPos(m_window, nullptr, outer.left, std::max(static_cast<int>(room.top), y), outer.right - outer.left,
                 height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWin32ClassroomView::UpdateScrollRange()
{
    RECT client = {};
    GetClientRect(m_window, &client);
    HDC dc = GetDC(m_window);
    const int height = m_painter->Walk(dc, m_content, client.right, 0, false);
    ReleaseDC(m_window, dc);
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE;
    info.nMax = height - 1;
    info.nPage = static_cast<UINT>(std::max(0L, client.bottom));
    SetScrollInfo(m_window, SB_VERT, &info, TRUE);
    ScrollTo(m_scroll);
}

void CWin32ClassroomView::ScrollTo(int pos)
{
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(m_window, SB_VERT, &info);
    const int last = std::max(0, info.nMax + 1 - static_cast<int>(info.nPage));
    m_scroll = std::clamp(pos, 0, last);
    info.fMask = SIF_POS;
    info.nPos = m_scroll;
    SetScrollInfo(m_window, SB_VERT, &info, TRUE);
    InvalidateRect(m_window, nullptr, FALSE);
}

void CWin32ClassroomView::OnClick(int x, int y)
{
    const POINT at = {x - m_painter->line, y + m_scroll};
    for (const auto& [button, answer] : {std::pair{&m_painter->okButton, IDOK},
                                         std::pair{&m_painter->retryButton, IDRETRY},
                                         std::pair{&m_painter->cancelButton, IDCANCEL}}) {
        if (PtInRect(button, at) != 0) {
            m_answer = answer;
            return;
        }
    }
    if (PtInRect(&m_painter->historyButton, at) != 0) {
        // Not modal: the rows go on being drawn while it is open.
        ShowHistoryWindow(m_window, m_historyPath.empty() ? HistoryFilePath() : m_historyPath, m_texts);
        return;
    }
    for (size_t i = 0; i < m_painter->nameButtons.size() && i < m_content.rows.size(); ++i) {
        if (PtInRect(&m_painter->nameButtons[i], at) != 0) {
            NameRow(i);
            return;
        }
    }
    for (size_t i = 0; i < m_painter->nextButtons.size() && i < m_content.rows.size(); ++i) {
        const ClassroomRow& row = m_content.rows[i];
        if (PtInRect(&m_painter->nextButtons[i], at) != 0 && row.offersNext) {
            m_nextDevice = row.device;
            m_nextAsked = true;
        } else if (PtInRect(&m_painter->nextButtons[i], at) != 0) {
            m_stopNumber = row.number;
            m_stopAsked = true;
        }
    }
}

void CWin32ClassroomView::MoveFocus(int step)
{
    // The question's buttons in their order on the screen.
    std::vector<int> answers = {IDOK};
    if (!m_content.retryLabel.empty()) {
        answers.push_back(IDRETRY);
    }
    if (!m_content.cancelLabel.empty()) {
        answers.push_back(IDCANCEL);
    }
    const auto at = std::find(answers.begin(), answers.end(), m_content.focused);
    const auto count = static_cast<int>(answers.size());
    const int now = at == answers.end() ? 0 : static_cast<int>(at - answers.begin());
    m_content.focused = answers[static_cast<size_t>((now + step + count) % count)];
    InvalidateRect(m_window, nullptr, FALSE);
}

bool CWin32ClassroomView::HistoryButtonCentre(int& x, int& y) const
{
    if (m_painter == nullptr) {
        return false;
    }
    const RECT& r = m_painter->historyButton;
    x = (r.left + r.right) / 2 + m_painter->line;
    y = (r.top + r.bottom) / 2 - m_scroll;
    return true;
}

bool CWin32ClassroomView::AnswerButtonCentre(int answer, int& x, int& y) const
{
    if (m_painter == nullptr || m_content.question.empty()) {
        return false;
    }
    const RECT& r = answer == IDOK      ? m_painter->okButton
                    : answer == IDRETRY ? m_painter->retryButton
                                        : m_painter->cancelButton;
    if (IsRectEmpty(&r)) {
        return false;
    }
    x = (r.left + r.right) / 2 + m_painter->line;
    y = (r.top + r.bottom) / 2 - m_scroll;
    return true;
}

bool CWin32ClassroomView::NameButtonCentre(size_t row, int& x, int& y) const
{
    if (m_painter == nullptr || row >= m_painter->nameButtons.size() || IsRectEmpty(&m_painter->nameButtons[row])) {
        return false;
    }
    const RECT& r = m_painter->nameButtons[row];
    x = (r.left + r.right) / 2 + m_painter->line;
    y = (r.top + r.bottom) / 2 - m_scroll;
    return true;
}

bool CWin32ClassroomView::NextButtonCentre(size_t row, int& x, int& y) const
{
    if (m_painter == nullptr || row >= m_painter->nextButtons.size() || IsRectEmpty(&m_painter->nextButtons[row])) {
        return false;
    }
    const RECT& r = m_painter->nextButtons[row];
    x = (r.left + r.right) / 2 + m_painter->line;
    y = (r.top + r.bottom) / 2 - m_scroll;
    return true;
}

long long CWin32ClassroomView::OnMessage(unsigned message, unsigned long long wParam, long long lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint = {};
        HDC dc = BeginPaint(m_window, &paint);
        RECT client = {};
        GetClientRect(m_window, &client);
        // Drawn off screen and copied: ten redraws a second do not flicker.
        HDC buffer = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max(1L, client.right), std::max(1L, client.bottom));
        HGDIOBJ old = SelectObject(buffer, bitmap);
        FillRect(buffer, &client, GetSysColorBrush(COLOR_WINDOW));
        m_painter->Walk(buffer, m_content, client.right, -m_scroll, true);
        BitBlt(dc, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
        SelectObject(buffer, old);
        DeleteObject(bitmap);
        DeleteDC(buffer);
        EndPaint(m_window, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
        UpdateScrollRange();
        return 0;
    case WM_VSCROLL: {
        RECT client = {};
        GetClientRect(m_window, &client);
        SCROLLINFO info = {};
        info.cbSize = sizeof info;
        info.fMask = SIF_TRACKPOS;
        GetScrollInfo(m_window, SB_VERT, &info);
        switch (LOWORD(wParam)) {
        case SB_LINEUP: ScrollTo(m_scroll - kScrollLine); break;
        case SB_LINEDOWN: ScrollTo(m_scroll + kScrollLine); break;
        case SB_PAGEUP: ScrollTo(m_scroll - client.bottom); break;
        case SB_PAGEDOWN: ScrollTo(m_scroll + client.bottom); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: ScrollTo(info.nTrackPos); break;
        default: break;
        }
        return 0;
    }
    case WM_MOUSEWHEEL:
        ScrollTo(m_scroll - GET_WHEEL_DELTA_WPARAM(wParam) * 3 * kScrollLine / WHEEL_DELTA);
        return 0;
    case WM_LBUTTONUP:
        OnClick(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            m_closeAsked = true;
        } else if ((wParam == VK_TAB || wParam == VK_LEFT || wParam == VK_RIGHT) && !m_content.question.empty()) {
            MoveFocus(wParam == VK_LEFT || (wParam == VK_TAB && GetKeyState(VK_SHIFT) < 0) ? -1 : 1);
        } else if (wParam == VK_RETURN && !m_content.question.empty()) {
            m_answer = m_content.focused != 0 ? m_content.focused : IDOK;
        } else if (wParam == VK_RETURN && std::any_of(m_content.rows.begin(), m_content.rows.end(),
                                                      [](const ClassroomRow& row) { return row.offersNext; })) {
            // Enter is the Next of every row that offers it, as the station's heading says.
            m_nextDevice.clear();
            m_nextAsked = true;
        }
        return 0;
    case WM_CLOSE:
        // Closing the window (or Escape) asks to close; the update loop decides.
        m_closeAsked = true;
        return 0;
    default:
        return DefWindowProcW(m_window, message, wParam, lParam);
    }
}

bool CWin32ClassroomView::Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));   // for the modal loop
            return false;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

bool CWin32ClassroomView::StopAsked() const
{
    return m_stops != nullptr && (m_stops->terminate != 0 || m_stops->interrupt != 0);
}

ClassroomRequest CWin32ClassroomView::Serve(uint32_t ms)
{
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        if (!Pump()) {
            return ClassroomRequest::Terminate;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= end || StopAsked()) {
            break;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
    if (m_stops != nullptr && m_stops->terminate != 0) {
        return ClassroomRequest::Terminate;
    }
    bool closed = std::exchange(m_closeAsked, false);
    closed = m_frontEnd.TakeCloseRequest() || closed;
    bool interrupted = false;
    if (m_stops != nullptr && m_stops->interrupt != 0) {
        m_stops->interrupt = 0;
        interrupted = true;
    }
    return TakeRequest(closed, interrupted, m_stopAsked, m_nextAsked);
}

void CWin32ClassroomView::ShowSummary(const std::vector<Message>& /*lines*/, const RunTally& counts)
{
    if (m_window == nullptr) {
        return;
    }
    // The heading says what happened; each row keeps its result and reason,
    // so the summary lines are left to the console and the record.
    m_content.heading = CountsText(counts).Render(m_texts);
    // The end of the set is said.
    std::string spoken;
    for (const ClassroomRow& row : m_content.rows) {
        spoken += (spoken.empty() ? "" : "\n") + RowSpokenText(row, CalculatorName(row)).Render(m_texts);
    }
    m_speech.Set(m_window, m_content.heading, spoken);
    m_speech.Announce();
    Refresh();
}

int CWin32ClassroomView::Ask(const char* question, const Message& retry)
{
    if (m_window == nullptr) {
        return 0;
    }
    m_content.question = Message(question).Render(m_texts);
    m_content.okLabel = Message(N_("OK")).Render(m_texts);
    m_content.cancelLabel = Message(N_("Cancel")).Render(m_texts);
    m_content.retryLabel = retry.Render(m_texts);
    m_content.focused = IDOK;
    const int answer = AwaitAnswer();
    m_content.retryLabel.clear();
    return answer;
}

void CWin32ClassroomView::AwaitClose()
{
    if (m_window == nullptr) {
        return;
    }
    // Nothing more is taken once it has ended: no row offers Next.
    for (ClassroomRow& row : m_content.rows) {
        row.offersNext = false;
    }
    m_content.question = Message(N_("Each row shows how its calculator ended.")).Render(m_texts);
    m_content.okLabel = Message(N_("Close")).Render(m_texts);
    m_content.cancelLabel.clear();
    m_content.focused = IDOK;
    AwaitAnswer();
}

int CWin32ClassroomView::AwaitAnswer()
{
    Refresh();
    ScrollTo(std::numeric_limits<int>::max());   // the question in view, however many rows
    m_answer = 0;
    m_closeAsked = false;
    m_frontEnd.TakeCloseRequest();
    while (m_answer == 0) {
        bool cancelled = !Pump();
        cancelled = std::exchange(m_closeAsked, false) || cancelled;
        cancelled = m_frontEnd.TakeCloseRequest() || cancelled;
        if (m_answer == 0 && (cancelled || StopAsked())) {
            m_answer = IDCANCEL;
        } else if (m_answer == 0) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
    }
    m_content.question.clear();
    InvalidateRect(m_window, nullptr, FALSE);
    return std::exchange(m_answer, 0);
}

void CWin32ClassroomView::CloseRows()
{
    if (m_window != nullptr) {
        HWND window = m_window;
        m_window = nullptr;
        m_speech.Forget();
        DestroyWindow(window);
    }
    m_content = {};
    m_nextAsked = false;
    m_stopAsked = false;
    m_closeAsked = false;
    m_answer = 0;
    m_frontEnd.TakeCloseRequest();   // asked of rows that are gone: not of the next set's
}
