// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rows of many calculators in a Windows window: one row per calculator
// with its device, the phase and a bar; once it has ended, its result and
// reason (wrapped) where the phase was, and a full bar only when it was
// updated. The window grows to its rows, up to the screen, and scrolls
// beyond. Once the set is done the heading says what happened (the counts)
// and each row keeps its result; the question that follows is asked below
// the rows, never in a box on top of them. Only the thread that runs the
// update loop touches it: the runs write their rows, the loop copies them
// out and hands them over here. A "History..." button shows the runs kept
// so far. Given a namer, a row whose run has taken its calculator offers
// "Name...", which gives it a label shown at once in its row.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shell/session/classroom_view.h"
#include "shell/session/front_end.h"
#include "shell/startup/stop_requests.h"

#include "ui/win32/win32_classroom_content.h"
#include "ui/win32/win32_window_speech.h"

class MoCatalogue;   // i18n/catalogue.h

class CClassroomPainter;

struct HWND__;
class CWin32FrontEnd;

inline constexpr const char* kWin32ClassroomTitle = N_("Zentrix OS Update - calculators");

class CWin32ClassroomView : public IClassroomView {
public:
    // The boxes' owner and the main window's Close come from `frontEnd`;
    // `stops` (may be null): Ctrl+Break and the end of the session end the
    // runs without asking, Ctrl+C asks to stop. Close and Escape ask to close
    // (the idle station asks the user first); Enter is every offering row's
    // Next.
    CWin32ClassroomView(CWin32FrontEnd& frontEnd, StopRequests* stops);
    ~CWin32ClassroomView() override;
    CWin32ClassroomView(const CWin32ClassroomView&) = delete;
    CWin32ClassroomView& operator=(const CWin32ClassroomView&) = delete;

    void ShowRows(const std::vector<ClassroomRow>& rows, const Message& heading) override;
    ClassroomRequest Serve(uint32_t ms) override;
    void ShowSummary(const std::vector<Message>& lines, const RunTally& counts) override;
    void CloseRows() override;
    // The question and its OK and Cancel below the rows; Enter is OK, Escape,
    // Close, Ctrl+C and Ctrl+Break are Cancel.
    int Ask(const char* question, const Message& retry = {}) override;
    std::string NextDevice() const override { return m_nextDevice; }
    uint32_t StopNumber() const override { return m_stopNumber; }
    // The end below the rows with a Close button; Enter, Escape, Close,
    // Ctrl+C and Ctrl+Break close it as well.
    void AwaitClose() override;

    // The window while it is shown, else null.
    HWND__* Window() const { return m_window; }
    // What the window shows now, in the user's language.
    const ClassroomContent& Content() const { return m_content; }
    // The centre of row `row`'s Next button in the window's client area;
    // false when the row shows none (tests press it).
    bool NextButtonCentre(size_t row, int& x, int& y) const;
    // Likewise of row `row`'s Name... button.
    bool NameButtonCentre(size_t row, int& x, int& y) const;
    // Likewise of the "History..." button, and of the question's button
    // that answers `answer` (IDOK, IDCANCEL, IDRETRY).
    bool HistoryButtonCentre(int& x, int& y) const;
    bool AnswerButtonCentre(int answer, int& x, int& y) const;
    // Tab, Shift+Tab and the arrows move the question's focus (Enter presses it).
    void MoveFocus(int step);
    // The history its "History..." button shows (default: HistoryFilePath()).
    void SetHistoryPath(const std::string& path) { m_historyPath = path; }
    // The catalogue the rows are shown in; null shows them in English.
    void SetCatalogue(const MoCatalogue* texts) { m_texts = texts; }
    // Keeps the labels the rows' Name... gives; none: no row offers it.
    void SetNamer(CalculatorNamer namer) { m_namer = std::move(namer); }
    // Its window procedure's work (WPARAM, LPARAM and LRESULT of Win64).
    long long OnMessage(unsigned message, unsigned long long wParam, long long lParam);

private:
    void MakeWindow();
    void FitToContent();
    void UpdateScrollRange();
    void ScrollTo(int pos);
    void OnClick(int x, int y);
    void Refresh();
    // Takes the messages waiting; false at WM_QUIT (posted again for the
    // modal loop).
    bool Pump();
    bool StopAsked() const;
    // Serves the window until the question below the rows is answered.
    int AwaitAnswer();
    // Name...: asks for row `line`'s name and shows it in the row.
    void NameRow(size_t line);
    // The labels given here on the rows' copies, which the loop's rows have not.
    void ApplyNames();

    CWin32FrontEnd& m_frontEnd;
    StopRequests* m_stops;
    HWND__* m_window = nullptr;
    std::unique_ptr<CClassroomPainter> m_painter;
    ClassroomContent m_content;
    CWindowSpeech m_speech;               // the heading and the rows, for a screen reader
    const MoCatalogue* m_texts = nullptr;
    int m_scroll = 0;                     // pixels of content above the window's top
    std::string m_historyPath;
    std::string m_nextDevice;             // the row whose Next was pressed
    bool m_nextAsked = false;
    uint32_t m_stopNumber = 0;            // the silent row whose Stop was pressed
    bool m_stopAsked = false;
    bool m_closeAsked = false;
    int m_answer = 0;                     // the question's IDOK or IDCANCEL; 0 while unanswered
    CalculatorNamer m_namer;
    std::map<std::string, std::string> m_named;   // the labels given by Name..., by device
};
