// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/console/console_progress_dlg.h"

#include "ui/console/progress_line.h"

CConsoleProgressDlg::CConsoleProgressDlg(std::ostream& err, bool isTerminal, CTerminalSize* size)
    : m_err(err), m_isTerminal(isTerminal), m_size(size)
{
}

CConsoleProgressDlg::~CConsoleProgressDlg()
{
    m_progress.SetView(nullptr);
}

void CConsoleProgressDlg::Create()
{
    m_progress.SetView(this);
}

void CConsoleProgressDlg::ShowWindow()
{
    m_shown = true;
    Draw();
}

void CConsoleProgressDlg::DestroyWindow()
{
    if (m_shown && m_isTerminal) {
        m_err << '\n';
        m_err.flush();
    }
    m_shown = false;
    m_progress.SetView(nullptr);
}

void CConsoleProgressDlg::OnProgressChanged()
{
    if (m_shown) {
        Draw();
    }
}

void CConsoleProgressDlg::Draw()
{
    const ProgressState state{m_progress.Lower(), m_progress.Upper(), m_progress.Pos()};
    if (m_isTerminal) {
        const int columns = m_size != nullptr ? m_size->Get().columns : 0;
        std::string line = FitProgressLine({{}, m_phaseText, {}}, state, columns);
        if (line != m_lastLine) {
            m_err << "\r\x1b[K" << line;
            m_err.flush();
            m_lastLine = std::move(line);
        }
        return;
    }
    const int tenth = ProgressPercent(state) / 10;
    if (tenth != m_lastTenth) {
        m_err << FormatProgressLine(m_phaseText, state) << '\n';
        m_err.flush();
        m_lastTenth = tenth;
    }
}
