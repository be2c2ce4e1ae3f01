// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/updater_dlg.h"

#include <QPainter>
#include <QTimer>
#include <QWindow>

#include "ui/qt/owner_window.h"
#include "ui/qt/updater_icon.h"
#include "ui/qt/dialog_units.h"
#include "ui_updater_dlg.h"

namespace {

constexpr int kFontPointSize = 8;
constexpr int kBands = 127;
constexpr int kIconSize = 32;

}  // namespace

CUpdaterDlg::CUpdaterDlg(int owner, StartLoop start)
    : CGuardedDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                  Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_start(std::move(start)),
      m_hIcon(DrawUpdaterIcon(kIconSize)),
      m_owner(owner)
{
    Ui::UpdaterForm form;
    form.setupUi(this);
    QFont formFont = font();
    formFont.setPointSize(kFontPointSize);
    ConvertFormFromDialogUnits(*this, formFont);
    setWindowIcon(UpdaterIcon());
}

CUpdaterDlg::~CUpdaterDlg() = default;

void CUpdaterDlg::DoModal()
{
    if (!AttachToOwner()) {
        return;
    }
    exec();
}

bool CUpdaterDlg::AttachToOwner()
{
    const OwnerWindow owner = LookUpOwnerWindow(m_owner);
    if (owner.lookup == OwnerLookup::Missing) {
        return false;
    }
    if (owner.lookup == OwnerLookup::Found) {
        winId();   // the native window must exist to name its owner
        m_ownerWindow.reset(QWindow::fromWinId(static_cast<WId>(static_cast<uint32_t>(m_owner))));
        windowHandle()->setTransientParent(m_ownerWindow.get());
        const QRect frame = frameGeometry();
        move(owner.geometry.center() - QPoint(frame.width() / 2, frame.height() / 2));
    }
    return true;
}

void CUpdaterDlg::paintEvent(QPaintEvent* /*event*/)
{
    setWindowTitle(QString::fromLatin1(kMainWindowTitle));
    {
        QPainter painter(this);
        if (isMinimized()) {
            PaintMinimizedIcon(painter, rect());
        } else {
            PaintGradient(painter, rect());
        }
    }
    if (m_bFirstPaint) {
        m_bFirstPaint = false;
        // The loop runs once this paint has been handled, never inside it.
        QTimer::singleShot(0, this, [this] {
            if (m_start) {
                m_start();
            }
        });
    }
}

void CUpdaterDlg::PaintGradient(QPainter& painter, const QRect& client)
{
    const int bandHeight = client.height() / kBands;
    QRect band(client.left(), client.top(), client.width(), bandHeight);
    for (int i = 0; i < kBands; ++i) {
        const int g = 255 - 2 * i;
        painter.fillRect(band, QColor(g, g, g));
        band.translate(0, bandHeight);
    }
    // The rows left over (client height modulo 127) take the last band's colour.
    const QRect rest(client.left(), band.top(), client.width(), client.bottom() + 1 - band.top());
    painter.fillRect(rest, QColor(3, 3, 3));
}

void CUpdaterDlg::PaintMinimizedIcon(QPainter& painter, const QRect& client)
{
    painter.fillRect(client, palette().window());
    const int x = (client.width() - kIconSize + 1) / 2;
    const int y = (client.height() - kIconSize + 1) / 2;
    painter.drawPixmap(x, y, m_hIcon);
}
