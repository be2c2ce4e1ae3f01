// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: an empty dialog painted as a grey gradient from white at
// the top to near black at the bottom. Its first paint starts the update
// loop, right after that paint has been handled.
#include <QPixmap>
#include <memory>

#include "shell/screen/main_window.h"
#include "ui/qt/guarded_dialog.h"

class QWindow;

inline constexpr const char* kMainWindowTitle = "Zentrix OS Update";

class CUpdaterDlg : public CGuardedDialog, public IMainWindow {
public:
    // `owner` is the launcher's window number (0: none); `start` runs once,
    // right after the first paint has been handled.
    CUpdaterDlg(int owner, StartLoop start);
    ~CUpdaterDlg() override;

    // Shows the window in front of its owner and runs it modally. Shows
    // nothing when the owner number names no window.
    void DoModal() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool AttachToOwner();
    void PaintGradient(QPainter& painter, const QRect& client);
    void PaintMinimizedIcon(QPainter& painter, const QRect& client);

    bool m_bFirstPaint = true;
    StartLoop m_start;
    QPixmap m_hIcon;
    int m_owner;
    std::unique_ptr<QWindow> m_ownerWindow;
};
