// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/guarded_dialog.h"

#include <QCloseEvent>
#include <QKeyEvent>

void CGuardedDialog::reject()
{
    if (m_closeEnabled) {
        QDialog::reject();
        return;
    }
    m_closeRequested = true;
}

void CGuardedDialog::closeEvent(QCloseEvent* event)
{
    if (!m_closeEnabled) {
        m_closeRequested = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CGuardedDialog::keyPressEvent(QKeyEvent* event)
{
    if (!m_closeEnabled && event->key() == Qt::Key_Escape) {
        m_closeRequested = true;   // as the close button: the program decides
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
