// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/win32_front_end.h"

// After the shell's headers: windows.h defines MessageBox as a macro.
#include <windows.h>
#include <commctrl.h>
#undef MessageBox
#undef SetWindowText

#include <algorithm>
#include <string>
#include <utility>

#include "device/safe_text.h"
#include "device/win_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/screen/box_text.h"
#include "shell/screen/device_name.h"
#include "shell/startup/command_line.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/win32_device_chooser.h"
#include "ui/win32/win32_failure_box.h"
#include "ui/win32/win32_folder_dialog.h"
#include "ui/win32/win32_history_window.h"
#include "ui/win32/win32_save_dialog.h"
#include "shell/records/history_file.h"

namespace {

constexpr const char* kErrorCaption = N_("Error");
constexpr unsigned kInformationIcon = 0x40;

HINSTANCE Instance()
{
    return GetModuleHandleA(nullptr);
}

// A progress window from dialog 129, owned by the main window; the bar is
// the standard progress control, driven by the PBM_* messages the shell's
// bar state handles, its percentage in the text beside it.
class CWin32ProgressDlg : public CProgressDlg, private IProgressView {
public:
    CWin32ProgressDlg(HWND main, const MoCatalogue* texts) : m_main(main), m_texts(texts) { m_progress.SetView(this); }
    ~CWin32ProgressDlg() override
    {
        DestroyWindow();
        if (m_font != nullptr) {
            DeleteObject(m_font);
        }
    }
    void DestroyWindow() override
    {
        if (m_window != nullptr) {
            ::DestroyWindow(m_window);
            m_window = nullptr;
        }
    }
    void ShowNotice(const Message& notice) override
    {
        if (m_window == nullptr) {
            return;
        }
        const bool shown = !notice.Empty();
        ::SetWindowTextW(GetDlgItem(m_window, IDC_NOTICE_TEXT), WideText(notice.Render(m_texts)).c_str());
        ::ShowWindow(GetDlgItem(m_window, IDC_NOTICE_TEXT), shown ? SW_SHOW : SW_HIDE);
        ::ShowWindow(GetDlgItem(m_window, IDC_STOP), shown ? SW_SHOW : SW_HIDE);
        m_stoppable = shown;
        const int growth = shown ? FitNotice() : 0;
        RECT own = {};
        GetWindowRect(m_window, &own);
        SetWindowPos(m_window, nullptr, 0, 0, own.right - own.left, shown ? m_fullHeight + growth : m_compactHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void ShowDevice(const Message& name) override { SetText(IDC_DEVICE_TEXT, name.Render(m_texts)); }
    void ShowTimeLeft(const Message& text) override { SetText(IDC_TIME_LEFT_TEXT, text.Render(m_texts)); }
    bool TakeStopRequest() override { return std::exchange(m_stopAsked, false); }

protected:
    void Create() override
    {
        m_window = CreateDialogParamA(Instance(), MAKEINTRESOURCEA(IDD_PROGRESS_DIALOG), m_main, Proc,
                                      reinterpret_cast<LPARAM>(this));
        if (m_window == nullptr) {
            return;
        }
        SetText(IDC_STOP, Message(N_("Stop")).Render(m_texts));
        // Without the notice the window ends where the notice begins.
        RECT frame = {};
        RECT notice = {};
        GetWindowRect(m_window, &frame);
        GetWindowRect(GetDlgItem(m_window, IDC_NOTICE_TEXT), &notice);
        m_fullHeight = frame.bottom - frame.top;
        m_compactHeight = notice.top - frame.top;
        MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&notice), 2);
        m_notice = notice;
        RECT stop = {};
        GetWindowRect(GetDlgItem(m_window, IDC_STOP), &stop);
        MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&stop), 2);
        m_stop = stop;
        SetWindowPos(m_window, nullptr, 0, 0, frame.right - frame.left, m_compactHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void PlaceWindow() override
    {
        RECT c = {};
        RECT own = {};
        if (m_window == nullptr || !GetWindowRect(m_main, &c) || !GetWindowRect(m_window, &own)) {
            return;
        }
        const int w = own.right - own.left;
        const int h = own.bottom - own.top;
        const int x = c.left + (c.right - c.left) / 2 - w / 2;
        const int y = c.top + (c.bottom - c.top) / 2 - h / 2;
        MoveWindow(m_window, x, y, w, h, TRUE);
    }
    void SetWindowText(const char* title) override
    {
        ::SetWindowTextW(m_window, WideText(Message(title).Render(m_texts)).c_str());
    }
    bool HasPhaseTextControl() override { return GetDlgItem(m_window, IDC_PHASE_TEXT) != nullptr; }
    void SetPhaseText(const char* phaseText) override
    {
        HWND text = GetDlgItem(m_window, IDC_PHASE_TEXT);
        HDC dc = GetDC(m_window);
        const int pixelsPerInch = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(m_window, dc);
        // 14-point bold in the dialogs' face, with the glyphs of any language.
        m_font = CreateFontW(MulDiv(14, -pixelsPerInch, 72), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS,
                             L"MS Shell Dlg 2");
        SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
        ::SetWindowTextW(text, WideText(phaseText).c_str());
    }
    void ShowWindow() override { ::ShowWindow(m_window, SW_SHOW); }

private:
    // Stop, and Close while the notice is shown, ask to end the run.
    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
            return TRUE;
        }
        auto* self = reinterpret_cast<CWin32ProgressDlg*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        const bool stop = (message == WM_COMMAND && LOWORD(wParam) == IDC_STOP) ||
                          (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) || message == WM_CLOSE;
        if (self != nullptr && stop) {
            self->m_stopAsked = self->m_stoppable;
            return TRUE;
        }
        return FALSE;
    }

    // The notice is shown whole: a longer one (a language's) grows its text
    // downwards, the Stop button below it. How many pixels it grew.
    int FitNotice()
    {
        HWND text = GetDlgItem(m_window, IDC_NOTICE_TEXT);
        const int width = m_notice.right - m_notice.left;
        std::wstring words(static_cast<size_t>(GetWindowTextLengthW(text)) + 1, L'\0');
        GetWindowTextW(text, words.data(), static_cast<int>(words.size()));
        HDC dc = GetDC(text);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(text, WM_GETFONT, 0, 0)));
        RECT need = {0, 0, width, 0};
        DrawTextW(dc, words.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
        SelectObject(dc, old);
        ReleaseDC(text, dc);
        const int growth = std::max(0, static_cast<int>(need.bottom) - static_cast<int>(m_notice.bottom - m_notice.top));
        MoveWindow(text, m_notice.left, m_notice.top, width, m_notice.bottom - m_notice.top + growth, TRUE);
        MoveWindow(GetDlgItem(m_window, IDC_STOP), m_stop.left, m_stop.top + growth, m_stop.right - m_stop.left,
                   m_stop.bottom - m_stop.top, TRUE);
        return growth;
    }

    void SetText(int control, const std::string& text)
    {
        if (m_window != nullptr) {
            HWND item = GetDlgItem(m_window, control);
            ::SetWindowTextW(item, WideText(text).c_str());
            UpdateWindow(item);   // painted now, beside the bar that moves with it
        }
    }
    void OnProgressChanged() override
    {
        const int range = m_progress.Upper() - m_progress.Lower();
        const int percent = range > 0 ? (m_progress.Pos() - m_progress.Lower()) * 100 / range : 0;
        if (percent != m_percentShown) {
            m_percentShown = percent;
            SetText(IDC_PERCENT_TEXT, std::to_string(percent) + "%");
        }
    }
    void OnProgressMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override
    {
        if (m_window != nullptr) {
            SendMessageA(GetDlgItem(m_window, IDC_PROGRESS), message, wParam, lParam);
        }
    }

    HWND m_main;
    const MoCatalogue* m_texts;
    HWND m_window = nullptr;
    HFONT m_font = nullptr;   // lives as long as the text control can paint with it
    int m_compactHeight = 0;
    int m_fullHeight = 0;
    RECT m_notice = {};   // the notice's and the Stop button's places in the template
    RECT m_stop = {};
    int m_percentShown = -1;
    bool m_stoppable = false;
    bool m_stopAsked = false;
};

// The main window from dialog 102: empty, painted as a vertical grey
// gradient; its first paint runs the update loop.
class CWin32UpdaterDlg : public IMainWindow {
public:
    CWin32UpdaterDlg(CWin32FrontEnd& frontEnd, HWND owner, StartLoop start)
        : m_frontEnd(frontEnd), m_owner(owner), m_start(std::move(start)),
          m_icon(LoadIconA(Instance(), MAKEINTRESOURCEA(IDR_MAINFRAME)))
    {
    }

    void DoModal() override
    {
        // The owner is disabled for the modal run and enabled after it.
        DialogBoxParamA(Instance(), MAKEINTRESOURCEA(IDD_UPDATER_DIALOG), m_owner, Proc,
                        reinterpret_cast<LPARAM>(this));
        m_frontEnd.SetMainWindow(nullptr);
    }

private:
    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
        }
        auto* self = reinterpret_cast<CWin32UpdaterDlg*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self == nullptr) {
            return FALSE;
        }
        switch (message) {
        case WM_INITDIALOG:
            self->OnInitDialog(window);
            return TRUE;
        case WM_PAINT:
            self->OnPaint(window);
            return TRUE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(self->m_icon);
        case WM_SYSCOMMAND:
            // The system menu's "History...": every run kept on this computer.
            if ((wParam & 0xFFF0) == kHistoryCommand) {
                ShowHistoryWindow(window, HistoryFilePath(), self->m_frontEnd.Texts());
                return TRUE;
            }
            return FALSE;
        case WM_COMMAND:
            // OK, Escape and Close end the window only while Close is not greyed.
            if ((LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) && CloseEnabled(window)) {
                EndDialog(window, LOWORD(wParam));
            } else if (LOWORD(wParam) == IDCANCEL) {
                self->m_frontEnd.NoteCloseRequest();
            }
            return TRUE;
        default:
            return FALSE;
        }
    }

    static bool CloseEnabled(HWND window)
    {
        HMENU menu = GetSystemMenu(window, FALSE);
        return menu == nullptr || (GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED) == 0;
    }

    // The system menu's own command ids stay below 0xF000; the low four
    // bits are the system's.
    static constexpr WPARAM kHistoryCommand = 0x0110;

    void OnInitDialog(HWND window)
    {
        m_frontEnd.SetMainWindow(window);
        if (HMENU menu = GetSystemMenu(window, FALSE)) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(menu, MF_STRING, kHistoryCommand,
                        WideText(Message(N_("History...")).Render(m_frontEnd.Texts())).c_str());
        }
        SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
        SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
        // Centred on the owner, or on the screen without one.
        RECT own = {};
        RECT on = {};
        GetWindowRect(window, &own);
        if (m_owner == nullptr || !GetWindowRect(m_owner, &on)) {
            SystemParametersInfoA(SPI_GETWORKAREA, 0, &on, 0);
        }
        const int w = own.right - own.left;
        const int h = own.bottom - own.top;
        SetWindowPos(window, nullptr, on.left + (on.right - on.left - w) / 2, on.top + (on.bottom - on.top - h) / 2,
                     0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }

    void OnPaint(HWND window)
    {
        SetWindowTextA(window, "Zentrix OS Update");
        RECT client = {};
        GetClientRect(window, &client);
        PAINTSTRUCT paint = {};
        HDC dc = BeginPaint(window, &paint);
        if (IsIconic(window)) {
            SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
            const int cx = GetSystemMetrics(SM_CXICON);
            const int cy = GetSystemMetrics(SM_CYICON);
            DrawIcon(dc, (client.right - client.left - cx + 1) / 2, (client.bottom - client.top - cy + 1) / 2, m_icon);
        } else {
            const int band = (client.bottom - client.top) / 127;
            RECT r = {client.left, client.top, client.right, client.top};
            for (int i = 0; i < 127; ++i) {
                r.bottom = r.top + band;
                FillSolid(dc, r, RGB(255 - 2 * i, 255 - 2 * i, 255 - 2 * i));
                r.top += band;
            }
            r.bottom = client.bottom;
            FillSolid(dc, r, RGB(3, 3, 3));
        }
        EndPaint(window, &paint);
        if (m_firstPaint) {
            m_firstPaint = false;
            m_start();
        }
    }

    static void FillSolid(HDC dc, const RECT& r, COLORREF colour)
    {
        SetBkColor(dc, colour);
        ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
    }

    CWin32FrontEnd& m_frontEnd;
    HWND m_owner;
    StartLoop m_start;
    HICON m_icon;
    bool m_firstPaint = true;
};

}  // namespace

CWin32FrontEnd::CWin32FrontEnd(StopRequests* stops)
    : m_progress([this]() -> std::unique_ptr<CProgressDlg> { return std::make_unique<CWin32ProgressDlg>(m_main, m_texts); }),
      m_classroom(*this, stops)
{
}

CWin32FrontEnd::~CWin32FrontEnd() = default;

std::unique_ptr<IMainWindow> CWin32FrontEnd::NewMainWindow(int owner, StartLoop start)
{
    HWND ownerWindow = reinterpret_cast<HWND>(static_cast<intptr_t>(owner));
    return std::make_unique<CWin32UpdaterDlg>(*this, ownerWindow, std::move(start));
}

int CWin32FrontEnd::MessageBox(const Message& text, const Message& caption, unsigned style, const Message& details)
{
    // The reason of a failure follows the text after a blank line.
    // A caption the title bar would cut is read in the body as well.
    const std::string shownCaption = caption.Render(m_texts);
    const std::string translated = BoxBody(text.Render(m_texts), shownCaption);
    const std::string shown =
        details.Empty() ? translated : translated + "\r\n\r\n" + SafeLine(details.Render(m_texts));
    // In front of the rows while they are shown.
    HWND owner = m_classroom.Window() != nullptr ? m_classroom.Window() : m_main;
    const int answer = m_texts == nullptr ? MessageBoxA(owner, shown.c_str(), shownCaption.c_str(), style)
                                          : MessageBoxW(owner, WideText(shown).c_str(), WideText(shownCaption).c_str(), style);
    return answer == IDOK ? IDOK : answer == 0 ? 0 : IDCANCEL;
}

int CWin32FrontEnd::FailureBox(const Message& text, const Message& caption, const Message& details,
                               const ProblemReportWriter& writeReport)
{
    if (!writeReport) {
        return MessageBox(text, caption, MB_OK | MB_ICONEXCLAMATION, details);
    }
    const std::string shownCaption = caption.Render(m_texts);
    const std::string body = BoxBody(text.Render(m_texts), shownCaption);
    const FailureBoxTexts texts{details.Empty() ? body : body + "\r\n\r\n" + SafeLine(details.Render(m_texts)),
                                shownCaption, Message(N_("OK")).Render(m_texts),
                                Message(kSaveReportButton).Render(m_texts)};
    HWND owner = m_classroom.Window() != nullptr ? m_classroom.Window() : m_main;
    RunWin32FailureBox(owner, texts, [this, &writeReport](HWND box) { SaveProblemReport(box, writeReport); });
    return IDOK;
}

void CWin32FrontEnd::SaveProblemReport(HWND box, const ProblemReportWriter& writeReport)
{
    // Where --report-problem puts it without a FILE.
    wchar_t file[MAX_PATH] = {};
    const DWORD folder = GetCurrentDirectoryW(MAX_PATH, file);
    const std::wstring proposed = WideText(kDefaultProblemReportFile);
    if (folder == 0 || folder + 1 + proposed.size() >= MAX_PATH) {
        file[0] = L'\0';
    } else {
        lstrcatW(file, L"\\");
    }
    lstrcatW(file, proposed.c_str());
    std::wstring where = file;
    if (!AskWhereToSave(box, WideText(Message(kSaveReportTitle).Render(m_texts)), L"", nullptr, where)) {
        return;
    }
    char chosen[4 * MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, 0, where.c_str(), -1, chosen, sizeof chosen, nullptr, nullptr);
    Message problem;
    const bool written = writeReport(chosen, problem);
    const std::string shown = written ? Message(kReportSaved, {SafeText(chosen), std::string(kReportAddress)}).Render(m_texts)
                                      : SafeLine(problem.Render(m_texts));
    const std::string caption = Message(written ? kReportCaption : kErrorCaption).Render(m_texts);
    MessageBoxW(box, WideText(shown).c_str(), WideText(caption).c_str(),
                MB_OK | (written ? kInformationIcon : MB_ICONEXCLAMATION));
}

bool CWin32FrontEnd::ChooseImageFolder(std::string& folder, const ImageFolderCheck& check)
{
    return RunWin32FolderDialog(m_main, folder, check, m_texts);
}

ChooserAnswer CWin32FrontEnd::ChooseDevices(const std::vector<ListedDevice>& candidates, bool several,
                                            DeviceChooserResult& result)
{
    return RunWin32DeviceChooser(m_main, candidates, several, result, m_texts, m_lister, m_namer);
}

void CWin32FrontEnd::OpenProgress(const char* phaseText, int stepCount)
{
    m_progress.Open(Message(phaseText).Render(m_texts).c_str(), stepCount);
}

void CWin32FrontEnd::PostQuitMessage(int code)
{
    m_quitCode = code;
    ::PostQuitMessage(code);
}

void CWin32FrontEnd::Warn(const Message& text)
{
    MessageBoxW(m_main, WideText(SafeLine(text.Render(m_texts))).c_str(), L"Zentrix OS Update", MB_OK | MB_ICONWARNING);
}

bool CWin32FrontEnd::SetCloseEnabled(bool enabled)
{
    HMENU menu = m_main != nullptr ? GetSystemMenu(m_main, FALSE) : nullptr;
    if (menu == nullptr) {
        return false;
    }
    EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    return true;
}

bool CWin32FrontEnd::KeepWaiting(const ReplyWait& wait)
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));   // for the modal loop
            break;
        }
        // A window's keys as a dialog takes them: Escape is its Close.
        HWND active = GetActiveWindow();
        if (active != nullptr && IsDialogMessageA(active, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // Once the calculator has not answered for a while the progress window
    // says so, and its Stop or Close ends the run. Before the run's first
    // phase the window says it is connecting.
    m_progress.Waiting(Message(kConnectingPhaseText).Render(m_texts).c_str());
    CProgressDlg* window = m_progress.Window();
    if (window == nullptr) {
        return true;
    }
    m_notice.Show(*window, wait);
    return !(window->TakeStopRequest() && wait.endable);
}

void CWin32FrontEnd::DeviceTaken(const std::string& path, const UsbLocation& usb)
{
    m_progress.SetDevice(FriendlyDeviceName(path, usb));
    m_progress.AwaitFirstPhase();
}
