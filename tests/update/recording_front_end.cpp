#include "recording_front_end.h"

std::unique_ptr<CProgressDlg> RecordingFrontEnd::NewProgressDlg()
{
    return std::make_unique<RecordingProgressDlg>(*this);
}

std::vector<std::string> RecordingFrontEnd::Summary() const
{
    std::vector<std::string> out;
    int steps = 0;
    auto flush = [&] {
        if (steps > 0) {
            out.push_back("step x" + std::to_string(steps));
            steps = 0;
        }
    };
    for (const std::string& e : events) {
        if (e == "step") {
            ++steps;
            continue;
        }
        flush();
        out.push_back(e);
    }
    flush();
    return out;
}

RecordingProgressDlg::~RecordingProgressDlg()
{
    if (!m_destroyed) {
        m_owner.events.push_back("deleted without DestroyWindow");
    }
}

void RecordingProgressDlg::DestroyWindow()
{
    m_destroyed = true;
    --m_owner.openWindows;
    m_owner.events.push_back("close");
}

void RecordingProgressDlg::SetPhaseText(const char* text)
{
    m_text = text;
}

void RecordingProgressDlg::ShowWindow()
{
    m_shown = true;
    m_owner.events.push_back("open " + m_text + " 0-" + std::to_string(m_progress.Upper()) +
                             " title=" + m_title);
    if (m_owner.onWindowShown) {
        m_owner.onWindowShown(m_text);
    }
}

void RecordingProgressDlg::OnProgressMessage(unsigned message, uintptr_t wParam, intptr_t lParam)
{
    if (!m_shown) {
        return;   // the set-up messages of Start
    }
    switch (message) {
    case PBM_STEPIT: m_owner.events.push_back("step"); break;
    case PBM_SETPOS: m_owner.events.push_back("pos " + std::to_string(wParam)); break;
    case PBM_SETRANGE:
        m_owner.events.push_back("range 0-" + std::to_string(static_cast<uint32_t>(lParam) >> 16));
        break;
    default: m_owner.events.push_back("message " + std::to_string(message)); break;
    }
}
