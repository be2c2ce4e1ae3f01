// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop front end: message boxes and progress windows in front of the
// main window, its Close command, and the event pump.
#include <QPointer>
#include <functional>

#include "i18n/catalogue.h"
#include "shell/screen/progress_window.h"
#include "shell/screen/stall_notice.h"
#include "shell/session/front_end.h"
#include "shell/startup/stop_requests.h"
#include "ui/qt/guarded_dialog.h"
#include "ui/qt/qt_message_box.h"
#include "ui/qt/qt_classroom_view.h"

class QTimer;

class CQtFrontEnd : public IFrontEnd {
public:
    // `stops` (may be null) carries SIGTERM's request: the run in progress
    // ends, open boxes close, and nothing more is asked.
    explicit CQtFrontEnd(StopRequests* stops = nullptr);
    ~CQtFrontEnd() override;
    CQtFrontEnd(const CQtFrontEnd&) = delete;
    CQtFrontEnd& operator=(const CQtFrontEnd&) = delete;

    // The window that owns every box and progress window; null for none.
    void SetMainWindow(CGuardedDialog* mainWindow)
    {
        m_mainWindow = mainWindow;
        m_classroom.SetMainWindow(mainWindow);
    }

    // The catalogue the texts are shown in (it outlives the front end); null
    // shows them in English.
    void SetCatalogue(const MoCatalogue* texts)
    {
        m_texts = texts;
        m_classroom.SetCatalogue(texts);
    }

    int MessageBox(const Message& text, const Message& caption, unsigned style,
                   const Message& details = {}) override;
    // The failure box, with "Save a problem report..." when `writeReport`
    // is set: it asks for the file and says where the report went or why
    // it could not be written, then the box comes back.
    // The end of a run or a set, with "History..." beside its buttons.
    int EndBox(const Message& text, const Message& caption, unsigned style, const Message& details = {}) override;
    int FailureBox(const Message& text, const Message& caption, const Message& details,
                   const ProblemReportWriter& writeReport) override;
    // A folder chooser in front of the main window.
    bool ChooseImageFolder(std::string& folder, const ImageFolderCheck& check) override;
    // The device chooser in front of the main window; it offers
    // "Allow access..." through m_allowAccess when that is set.
    ChooserAnswer ChooseDevices(const std::vector<ListedDevice>& candidates, bool several,
                                DeviceChooserResult& result) override;
    std::function<bool(const std::string& id)> m_allowAccess;
    void SetCandidateLister(CandidateLister lister) override { m_lister = std::move(lister); }
    void SetCalculatorNamer(CalculatorNamer namer) override
    {
        m_namer = namer;
        m_classroom.SetNamer(std::move(namer));
    }
    // Ends every running event loop once control returns to it; the process
    // then exits with `code`.
    void PostQuitMessage(int code) override;

    // Progress windows are centred on the main window.
    void OpenProgress(const char* phaseText, int stepCount) override { m_progress.Open(phaseText, stepCount); }
    void StepProgress() override { m_progress.Step(); }
    void SetProgressPos(int pos) override { m_progress.SetPos(pos); }
    void SetProgressRange(int upper) override { m_progress.SetRange(upper); }
    void CloseProgress() override { m_progress.Close(); }
    // On standard error: the window is no place for it.
    void Warn(const Message& text) override;
    bool SetCloseEnabled(bool enabled) override;
    // Serves the windows while the calculator is awaited. Once the wait may
    // be ended, the progress window says for how long the calculator has not
    // answered and what to do, and its Stop or Close, or Close on the main
    // window, ends the run.
    bool KeepWaiting(const ReplyWait& wait) override;
    // The progress windows name the calculator from now on.
    // Until the run's first phase, its waits are shown in a window that
    // says it is connecting.
    void DeviceTaken(const std::string& path, const UsbLocation& usb) override;
    void RunEnded(const HistoryRecord& /*record*/) override { m_progress.RunEnded(); }

    IClassroomView* Classroom() override { return &m_classroom; }
    // One of the program's windows is the active one.
    bool WindowActive() override;

    // The open progress window, or null (tests look at it).
    CProgressDlg* ProgressWindow() const { return m_progress.Window(); }

    // The code of the last quit request; 0 when none was made.
    int QuitCode() const { return m_quitCode; }

private:
    bool Terminating() const { return m_stops != nullptr && m_stops->terminate != 0; }
    void CloseBoxesOnTermination();
    void SaveProblemReport(const ProblemReportWriter& writeReport);
    // A box's "History...": the history window over it, until closed.
    BoxAction HistoryAction() const;

    QPointer<CGuardedDialog> m_mainWindow;
    CProgressWindows m_progress;
    CQtClassroomView m_classroom;
    StopRequests* m_stops;
    const MoCatalogue* m_texts = nullptr;
    QTimer* m_watch = nullptr;
    CStallNotice m_notice;
    CandidateLister m_lister;
    CalculatorNamer m_namer;   // gives a calculator a label (the chooser's and the rows' Name...)
    int m_quitCode = 0;
};
