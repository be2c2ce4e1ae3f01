// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/session/row_port.h"

#include "device/safe_text.h"
#include "i18n/text_format.h"

namespace {

constexpr const char* kStarting = N_("Starting...");
constexpr const char* kNotStarted = N_("not started");

}  // namespace

CRowPort::CRowPort(std::string device, uint32_t number)
{
    m_row.number = number;
    m_row.device = SafeText(device, kRowPathChars);
    m_row.phase = Message(kStarting);
}

void CRowPort::OpenProgress(const char* phaseText, int stepCount)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_row.phase = Message(phaseText);
    m_row.phases.emplace_back(phaseText);
    m_bar.SendMessage(PBM_SETRANGE, 0, MakeRangeParam(0, stepCount));
    m_bar.SendMessage(PBM_SETPOS, 0, 0);
    m_bar.SendMessage(PBM_SETSTEP, 1, 0);
}

void CRowPort::StepProgress()
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_bar.SendMessage(PBM_STEPIT, 0, 0);
}

void CRowPort::SetProgressPos(int pos)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_bar.SendMessage(PBM_SETPOS, static_cast<uintptr_t>(pos), 0);
}

void CRowPort::SetProgressRange(int upper)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_bar.SendMessage(PBM_SETRANGE, 0, MakeRangeParam(0, upper));
}

void CRowPort::CloseProgress()
{
    // The phase text stays until the next phase or the result replaces it.
}

void CRowPort::Warn(const Message& text)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_row.warnings.push_back(Message::OneLine(text));
}

void CRowPort::DeviceTaken(const std::string& /*path*/, const UsbLocation& usb)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_row.taken = true;
    m_row.usb = usb;
}

void CRowPort::DeviceReturned(const std::string& path, const UsbLocation& /*usb*/)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_pathNow = path;
}

std::string CRowPort::PathNow() const
{
    const std::lock_guard<std::mutex> hold(m_lock);
    return m_pathNow;
}

void CRowPort::Locate(const UsbLocation& usb)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_row.usb = usb;
}

bool CRowPort::KeepWaiting(const ReplyWait& wait)
{
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_row.silent = wait.endable;
        m_row.silentMs = wait.endable ? wait.waitedMs : 0;
    }
    return !m_abandon;
}

void CRowPort::NotStarted(const Message& reason)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_row.result = Failed;
    m_row.resultWord = Message(kNotStarted);
    m_row.reason = reason;
    m_row.finished = true;
    m_finished = true;
}

void CRowPort::Skipped(const Message& why)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_row.skipped = true;
    m_row.resultWord = why;
    m_row.finished = true;
    m_finished = true;
}

void CRowPort::Waiting(const Message& reason)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_row.phase = Message(N_("Waiting: %s"), {reason});
}

void CRowPort::OfferNext(bool offer)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_row.offersNext = offer;
}

void CRowPort::Began()
{
    const std::lock_guard<std::mutex> hold(m_lock);
    m_began = std::chrono::steady_clock::now();
}

void CRowPort::Finish(const UpdateOutcome& outcome, std::optional<HistoryRecord> record)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    if (m_began) {
        m_row.took = DurationText(std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::steady_clock::now() - *m_began + std::chrono::milliseconds(500)));
    }
    m_row.record = std::move(record);
    m_row.result = outcome.result;
    m_row.resultWord = Message(ResultWord(outcome.result));
    m_row.reason = outcome.result == Checked ? CheckedText(outcome.facts)
                                             : Message::OneLine(outcome.reason);   // whoever made it, one line and no escapes
    m_row.silent = false;
    m_row.silentMs = 0;
    m_row.finished = true;
    m_finished = true;
}

ClassroomRow CRowPort::Row() const
{
    const std::lock_guard<std::mutex> hold(m_lock);
    ClassroomRow row = m_row;
    row.pos = m_bar.Pos() - m_bar.Lower();
    row.upper = m_bar.Upper() - m_bar.Lower();
    return row;
}
