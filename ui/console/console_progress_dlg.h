// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress window in console mode: one line on the error stream with
// the phase text, a bar, the percent and the step counts. On a terminal the
// line is redrawn in place, fitted to the terminal's width so that it never
// wraps; otherwise a new line is written only when the progress has moved
// into another tenth.
#include <ostream>
#include <string>

#include "shell/screen/progress_window.h"
#include "ui/console/terminal_width.h"

class CConsoleProgressDlg : public CProgressDlg, private IProgressView {
public:
    // `size` (may be null: unknown): the size of the terminal on `err`.
    CConsoleProgressDlg(std::ostream& err, bool isTerminal, CTerminalSize* size = nullptr);
    ~CConsoleProgressDlg() override;

    void DestroyWindow() override;

protected:
    void Create() override;
    void PlaceWindow() override {}
    void SetWindowText(const char*) override {}
    bool HasPhaseTextControl() override { return true; }
    void SetPhaseText(const char* phaseText) override { m_phaseText = phaseText; }
    void ShowWindow() override;

private:
    void OnProgressChanged() override;
    void Draw();

    std::ostream& m_err;
    bool m_isTerminal;
    CTerminalSize* m_size;
    bool m_shown = false;
    std::string m_phaseText;
    std::string m_lastLine;
    int m_lastTenth = -1;
};
