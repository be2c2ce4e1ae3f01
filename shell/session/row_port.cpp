// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/session/row_port.h"

#include <cstring>

#include "device/safe_text.h"
#include "i18n/text_format.h"
#include "update/image_transfer.h"

namespace {

constexpr const char* kStarting = N_("Starting...");
constexpr const char* kNotStarted = N_("not started");

}  // namespace

CRowPort::CRowPort(std::string device, uint32_t number, Clock now) : m_now(now)
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
    // The OS image is most of a run: what is left is judged from it.
    m_osPhaseDone = m_osPhaseDone || m_inOsPhase;
    m_inOsPhase = std::strcmp(phaseText, kOsPhaseText) == 0;
    m_phaseBegan = m_now();
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
    m_began = m_now();
}

void CRowPort::Finish(const UpdateOutcome& outcome, std::optional<HistoryRecord> record)
{
    const std::lock_guard<std::mutex> hold(m_lock);
    if (m_began) {
        m_row.took = DurationText(std::chrono::duration_cast<std::chrono::seconds>(
            m_now() - *m_began + std::chrono::milliseconds(500)));
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
    row.leftSeconds = m_finished ? 0 : LeftSeconds(row.pos, row.upper);
    return row;
}

int CRowPort::LeftSeconds(int pos, int upper) const
{
    if (m_osPhaseDone) {
        return 0;   // only the check and the restart are left: not counted
    }
    if (!m_inOsPhase || pos <= 0) {
        return -1;
    }
    if (pos >= upper) {
        return 0;   // written: its tail is checked
    }
    // Judged once the image has run a while and a part of it is written:
    // the first blocks say little of the link's pace.
    const auto ran = std::chrono::duration_cast<std::chrono::milliseconds>(m_now() -
                                                                          m_phaseBegan);
    if (ran < kJudgeAfter || static_cast<long long>(pos) * 20 < upper) {
        return -1;
    }
    const long long leftMs = ran.count() * (upper - pos) / pos;
    return static_cast<int>(leftMs / 1000);
}
