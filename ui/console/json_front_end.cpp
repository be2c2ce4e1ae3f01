// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/console/json_front_end.h"

void CJsonClassroomView::ShowRows(const std::vector<ClassroomRow>& rows, const Message& heading)
{
    m_console.ShowRows(rows, heading);
    for (const ClassroomRow& row : rows) {
        Report(row);
    }
}

void CJsonClassroomView::Report(const ClassroomRow& row)
{
    Said& said = m_said[row.number];
    if (said.ended) {
        return;
    }
    if (row.taken && !said.taken) {
        said.taken = true;
        m_events.RunStarted(row.device, row.usb);
    }
    for (; said.phases < row.phases.size(); ++said.phases) {
        m_events.Phase(row.device, row.phases[said.phases]);
    }
    if (!row.phases.empty()) {
        m_events.Progress(row.device, row.pos, row.upper);
    }
    for (; said.warnings < row.warnings.size(); ++said.warnings) {
        m_events.Warning(row.device, row.warnings[said.warnings].English());
    }
    if (row.finished && row.record) {
        said.ended = true;
        m_events.RunEnded(row.device, *row.record);
    }
}

int CJsonFrontEnd::MessageBox(const Message& text, const Message& caption, unsigned style, const Message& details)
{
    // Ended unasked when the program was being ended before the box, or
    // when the end came while it waited for a line.
    const bool ending = m_console.Terminating();
    const int answer = m_console.MessageBox(text, caption, style, details);
    const bool stopped = ending || (m_answers == AnswerSource::Input && m_console.Terminating());
    // The events are in English, whatever the language of the box.
    const std::string english[] = {text.English(), caption.English(), details.English()};
    m_events.Prompt({english[0].c_str(), english[1].c_str(), style, answer, stopped ? AnswerSource::Stop : m_answers,
                     &english[2]});
    return answer;
}

void CJsonFrontEnd::OpenProgress(const char* phaseText, int stepCount)
{
    m_console.OpenProgress(phaseText, stepCount);
    m_bar.SendMessage(PBM_SETRANGE, 0, MakeRangeParam(0, stepCount));
    m_bar.SendMessage(PBM_SETPOS, 0, 0);
    m_bar.SendMessage(PBM_SETSTEP, 1, 0);
    m_events.Phase(m_device, phaseText);
    ProgressChanged();
}

void CJsonFrontEnd::StepProgress()
{
    m_console.StepProgress();
    m_bar.SendMessage(PBM_STEPIT, 0, 0);
    ProgressChanged();
}

void CJsonFrontEnd::SetProgressPos(int pos)
{
    m_console.SetProgressPos(pos);
    m_bar.SendMessage(PBM_SETPOS, static_cast<uintptr_t>(pos), 0);
    ProgressChanged();
}

void CJsonFrontEnd::SetProgressRange(int upper)
{
    m_console.SetProgressRange(upper);
    m_bar.SendMessage(PBM_SETRANGE, 0, MakeRangeParam(0, upper));
    ProgressChanged();
}

void CJsonFrontEnd::CloseProgress()
{
    m_console.CloseProgress();
    m_events.FlushProgress(m_device);
}

void CJsonFrontEnd::ProgressChanged()
{
    m_events.Progress(m_device, m_bar.Pos() - m_bar.Lower(), m_bar.Upper() - m_bar.Lower());
}

void CJsonFrontEnd::Warn(const Message& text)
{
    m_console.Warn(text);
    m_events.Warning(m_device, text.English());
}

void CJsonFrontEnd::DeviceTaken(const std::string& path, const UsbLocation& usb)
{
    m_device = path;
    m_events.RunStarted(path, usb);
}

void CJsonFrontEnd::RunEnded(const HistoryRecord& record)
{
    m_events.RunEnded(m_device, record);
    m_device.clear();
}
