// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// --json: the console front end with its output stream given over to the
// event stream. Every box is still asked and answered by the console (on
// the error stream, for whoever answers it) and then becomes a `prompt`
// event; the single run's progress, warnings and end, and the rows of many
// calculators, become events of their own (see CJsonEvents).
#include <map>
#include <string>

#include "shell/screen/progress_ctrl.h"
#include "shell/session/classroom_view.h"
#include "shell/session/front_end.h"
#include "ui/console/console_front_end.h"
#include "ui/console/json_events.h"

// The rows of --all and --watch as events, drawn by the console's view too.
class CJsonClassroomView : public IClassroomView {
public:
    CJsonClassroomView(IClassroomView& console, CJsonEvents& events) : m_console(console), m_events(events) {}

    void ShowRows(const std::vector<ClassroomRow>& rows, const Message& heading) override;
    ClassroomRequest Serve(uint32_t ms) override { return m_console.Serve(ms); }
    void ShowSummary(const std::vector<Message>& lines, const RunTally& counts) override
    {
        m_console.ShowSummary(lines, counts);
    }
    void CloseRows() override
    {
        m_console.CloseRows();
        m_said.clear();   // the next set numbers its runs afresh
    }
    std::string NextDevice() const override { return m_console.NextDevice(); }
    uint32_t StopNumber() const override { return m_console.StopNumber(); }
    void AwaitClose() override { m_console.AwaitClose(); }
    ControlWords Words() const override { return m_console.Words(); }

private:
    // What has been said of a run, by its number.
    struct Said {
        bool taken = false;
        size_t phases = 0;
        size_t warnings = 0;
        bool ended = false;
    };
    void Report(const ClassroomRow& row);

    IClassroomView& m_console;
    CJsonEvents& m_events;
    std::map<uint32_t, Said> m_said;
};

class CJsonFrontEnd : public IFrontEnd {
public:
    CJsonFrontEnd(CConsoleFrontEnd& console, CJsonEvents& events, AnswerSource answers)
        : m_console(console), m_events(events), m_answers(answers), m_classroom(*console.Classroom(), events)
    {
    }

    int MessageBox(const Message& text, const Message& caption, unsigned style, const Message& details = {}) override;
    void PostQuitMessage(int code) override { m_console.PostQuitMessage(code); }

    void OpenProgress(const char* phaseText, int stepCount) override;
    void StepProgress() override;
    void SetProgressPos(int pos) override;
    void SetProgressRange(int upper) override;
    void CloseProgress() override;
    void Warn(const Message& text) override;
    bool SetCloseEnabled(bool enabled) override { return m_console.SetCloseEnabled(enabled); }
    bool KeepWaiting(const ReplyWait& wait) override { return m_console.KeepWaiting(wait); }
    void DeviceTaken(const std::string& path, const UsbLocation& usb) override;
    void RunEnded(const HistoryRecord& record) override;

    IClassroomView* Classroom() override { return &m_classroom; }

private:
    void ProgressChanged();

    CConsoleFrontEnd& m_console;
    CJsonEvents& m_events;
    AnswerSource m_answers;
    CJsonClassroomView m_classroom;
    CProgressCtrl m_bar;
    std::string m_device;   // the calculator of the run under way, once taken
};
