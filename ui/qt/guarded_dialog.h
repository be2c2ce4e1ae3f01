// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A top-level dialog whose Close command can be greyed: while it is, the
// dialog refuses to close by any means (title-bar button, window manager
// close, Alt+F4, Escape).
#include <QDialog>

class CGuardedDialog : public QDialog {
public:
    using QDialog::QDialog;

    void SetCloseEnabled(bool enabled) { m_closeEnabled = enabled; }
    bool IsCloseEnabled() const { return m_closeEnabled; }
    // Whether the user tried to close the dialog while Close was greyed
    // since the last call; the request is forgotten.
    bool TakeCloseRequest()
    {
        const bool asked = m_closeRequested;
        m_closeRequested = false;
        return asked;
    }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_closeEnabled = true;
    bool m_closeRequested = false;
};
