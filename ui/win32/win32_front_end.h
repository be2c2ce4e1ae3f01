// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Windows front end: the gradient main window (dialog 102), message
// boxes through MessageBoxA, progress windows (dialog 129) on the standard
// progress control, Close greyed through the main window's system menu;
// the rows of many calculators in a window of their own.
#include <memory>
#include <utility>

#include "i18n/catalogue.h"
#include "shell/screen/main_window.h"
#include "shell/screen/progress_window.h"
#include "shell/screen/stall_notice.h"
#include "shell/session/front_end.h"
#include "shell/startup/stop_requests.h"
#include "ui/win32/win32_classroom_view.h"

struct HWND__;
using WindowHandle = HWND__*;

class CWin32FrontEnd : public IFrontEnd {
public:
    // `stops` (may be null): the console's Ctrl+C and Ctrl+Break.
    explicit CWin32FrontEnd(StopRequests* stops = nullptr);
    ~CWin32FrontEnd() override;
    CWin32FrontEnd(const CWin32FrontEnd&) = delete;
    CWin32FrontEnd& operator=(const CWin32FrontEnd&) = delete;

    // The main window for `owner` (a window handle number; 0: none).
    std::unique_ptr<IMainWindow> NewMainWindow(int owner, StartLoop start);

    int MessageBox(const Message& text, const Message& caption, unsigned style,
                   const Message& details = {}) override;
    // The failure box with "Save a problem report...", which asks where and
    // says where the report went (or why not); the box then comes back.
    int FailureBox(const Message& text, const Message& caption, const Message& details,
                   const ProblemReportWriter& writeReport) override;
    void PostQuitMessage(int code) override;
    // The system's folder dialog, asked again after a folder the check refuses.
    bool ChooseImageFolder(std::string& folder, const ImageFolderCheck& check) override;
    // The device chooser in front of the main window.
    ChooserAnswer ChooseDevices(const std::vector<ListedDevice>& candidates, bool several,
                                DeviceChooserResult& result) override;
    void SetCandidateLister(CandidateLister lister) override { m_lister = std::move(lister); }
    // The chooser's and the rows' Name... keep a label through it.
    void SetCalculatorNamer(CalculatorNamer namer) override
    {
        m_namer = namer;
        m_classroom.SetNamer(std::move(namer));
    }
    // A run's phase in a progress window of its own.
    void OpenProgress(const char* phaseText, int stepCount) override;
    void StepProgress() override { m_progress.Step(); }
    void SetProgressPos(int pos) override { m_progress.SetPos(pos); }
    void SetProgressRange(int upper) override { m_progress.SetRange(upper); }
    void CloseProgress() override { m_progress.Close(); }
    void Warn(const Message& text) override;
    bool SetCloseEnabled(bool enabled) override;
    // Serves the windows (drains the thread's message queue); once the wait
    // may be ended, the progress window says the calculator is not
    // answering, and its Stop or Close ends the run.
    bool KeepWaiting(const ReplyWait& wait) override;
    // The progress windows name the calculator from now on; until the run's
    // first phase, its waits are shown in a window of their own.
    void DeviceTaken(const std::string& path, const UsbLocation& usb) override;
    void RunEnded(const HistoryRecord& /*record*/) override { m_progress.RunEnded(); }

    IClassroomView* Classroom() override { return &m_classroom; }

    int QuitCode() const { return m_quitCode; }
    WindowHandle MainWindow() const { return m_main; }
    void SetMainWindow(WindowHandle main) { m_main = main; }
    // The main window's Close (Escape) while greyed: while the rows are
    // shown, it asks to stop as the rows' own Close does.
    void NoteCloseRequest() { m_closeAsked = m_classroom.Window() != nullptr; }
    bool TakeCloseRequest() { return std::exchange(m_closeAsked, false); }
    // The catalogue the texts are shown in (it outlives the front end); null
    // shows them in English.
    const MoCatalogue* Texts() const { return m_texts; }
    void SetCatalogue(const MoCatalogue* texts)
    {
        m_texts = texts;
        m_classroom.SetCatalogue(texts);
    }

private:
    void SaveProblemReport(WindowHandle box, const ProblemReportWriter& writeReport);

    WindowHandle m_main = nullptr;
    CProgressWindows m_progress;
    CWin32ClassroomView m_classroom;
    const MoCatalogue* m_texts = nullptr;
    int m_quitCode = 0;
    bool m_closeAsked = false;
    CStallNotice m_notice;
    CandidateLister m_lister;   // the chooser lists again through it
    CalculatorNamer m_namer;    // gives a calculator a label
};
