// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/qt_progress_dlg.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

#include "i18n/message.h"
#include "i18n/text_format.h"
#include "ui/qt/dialog_units.h"
#include "ui_progress_dlg.h"

namespace {

constexpr int kFormPointSize = 9;
constexpr int kCaptionPointSize = 14;
constexpr const char* kStop = N_("Stop");

// The phase text's font: bold, 14 points as a character height in pixels
// for the window's vertical density; the face is left to the font system.
QFont CaptionFont(const QWidget& window)
{
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(MulDiv(kCaptionPointSize, window.logicalDpiY(), 72));
    font.setBold(true);
    return font;
}

}  // namespace

void CProgressWindow::closeEvent(QCloseEvent* event)
{
    AskStop();   // the run ends and takes the window along
    event->ignore();
}

CQtProgressDlg::CQtProgressDlg(QWidget* owner, const ScreenRect& centreOn, const MoCatalogue* texts)
    : m_owner(owner), m_centreOn(centreOn), m_texts(texts)
{
}

CQtProgressDlg::~CQtProgressDlg()
{
    DestroyWindow();
}

void CQtProgressDlg::Create()
{
    // A dialog of the main window is a separate top-level window that stays
    // in front of it; its close button is the only one in its title bar.
    m_window = new CProgressWindow(m_owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                Qt::WindowCloseButtonHint);
    Ui::ProgressForm form;
    form.setupUi(m_window);
    QFont formFont = m_window->font();
    formFont.setPointSize(kFormPointSize);
    ConvertFormFromDialogUnits(*m_window, formFont);
    form.stopButton->setText(QString::fromStdString(Message(kStop).Render(m_texts)));
    QObject::connect(form.stopButton, &QPushButton::clicked, m_window.data(), &CProgressWindow::AskStop);
    form.noticeText->hide();
    form.stopButton->hide();
    m_noticeHeight = form.noticeText->height();
    m_stopGap = form.stopButton->geometry().top() - (form.noticeText->geometry().bottom() + 1);
    m_bottomMargin = m_window->height() - (form.stopButton->geometry().bottom() + 1);
    m_compactHeight = form.noticeText->geometry().top();
    m_window->setFixedHeight(m_compactHeight);
    m_progress.SetView(this);
    OnProgressChanged();
}

void CQtProgressDlg::PlaceWindow()
{
    if (m_window == nullptr) {
        return;
    }
    const ScreenRect own = FrameRect(m_window);
    int x = 0;
    int y = 0;
    CentreOn(m_centreOn, own.right - own.left, own.bottom - own.top, x, y);
    m_window->move(x, y);
    m_placedFrame = QRect(QPoint(x, y), m_window->frameGeometry().size());
}

void CQtProgressDlg::SetWindowText(const char* title)
{
    m_title = QString::fromStdString(Message(title).Render(m_texts));
    if (m_window != nullptr) {
        m_window->setWindowTitle(m_title);
    }
}

bool CQtProgressDlg::HasPhaseTextControl()
{
    return PhaseTextControl() != nullptr;
}

void CQtProgressDlg::SetPhaseText(const char* phaseText)
{
    QLabel* label = PhaseTextControl();
    label->setFont(CaptionFont(*m_window));
    m_phase = QString::fromStdString(Message(phaseText).Render(m_texts));
    label->setText(m_phase);
    NameTheBar();
}

void CQtProgressDlg::ShowDevice(const Message& name)
{
    m_device = QString::fromStdString(name.Render(m_texts));
    if (QLabel* label = Label("deviceText"); label != nullptr) {
        label->setText(m_device);
    }
    NameTheBar();
}

void CQtProgressDlg::ShowTimeLeft(const Message& text)
{
    if (QLabel* label = Label("timeLeftText"); label != nullptr) {
        label->setText(QString::fromStdString(text.Render(m_texts)));
    }
}

// What a screen reader says of the bar: which calculator and which phase;
// the bar itself adds the percentage.
void CQtProgressDlg::NameTheBar()
{
    QProgressBar* bar = Bar();
    if (bar == nullptr) {
        return;
    }
    const std::string phase = m_phase.toStdString();
    bar->setAccessibleName(
        m_device.isEmpty()
            ? m_phase
            : QString::fromStdString(
                  Message(N_("Calculator %1$s: %2$s"), {m_device.toStdString(), phase}).Render(m_texts)));
}

void CQtProgressDlg::ShowWindow()
{
    if (m_window == nullptr) {
        return;
    }
    m_window->show();
    // The window's frame is known only once it is shown; keep the frame's
    // centre where the placement put it.
    const QSize frame = m_window->frameGeometry().size();
    if (frame != m_placedFrame.size()) {
        const int centreX = m_placedFrame.left() + m_placedFrame.width() / 2;
        const int centreY = m_placedFrame.top() + m_placedFrame.height() / 2;
        m_window->move(centreX - frame.width() / 2, centreY - frame.height() / 2);
    }
}

void CQtProgressDlg::ShowNotice(const Message& notice)
{
    QLabel* label = Label("noticeText");
    QPushButton* stop = StopButton();
    if (label == nullptr || stop == nullptr) {
        return;
    }
    const bool shown = !notice.Empty();
    label->setText(shown ? QString::fromStdString(notice.Render(m_texts)).replace(QStringLiteral("\r\n"),
                                                                                  QStringLiteral("\n"))
                         : QString());
    label->setVisible(shown);
    stop->setVisible(shown);
    m_window->SetStoppable(shown);
    if (shown) {
        // The notice is shown whole, however many lines its language takes.
        label->resize(label->width(), std::max(m_noticeHeight, label->heightForWidth(label->width())));
        stop->move(stop->x(), label->geometry().bottom() + 1 + m_stopGap);
    }
    m_window->setFixedHeight(shown ? stop->geometry().bottom() + 1 + m_bottomMargin : m_compactHeight);
    if (shown) {
        stop->setFocus();
    }
}

bool CQtProgressDlg::TakeStopRequest()
{
    return m_window != nullptr && m_window->TakeStopRequest();
}

void CQtProgressDlg::DestroyWindow()
{
    m_progress.SetView(nullptr);
    delete m_window;   // null-safe; the owner may already have taken it along
}

void CQtProgressDlg::OnProgressChanged()
{
    QProgressBar* bar = Bar();
    if (bar == nullptr) {
        return;
    }
    // An empty range shows an empty bar (the toolkit's bar would turn into a
    // busy indicator instead).
    if (m_progress.Upper() > m_progress.Lower()) {
        bar->setRange(m_progress.Lower(), m_progress.Upper());
        bar->setValue(m_progress.Pos());
    } else {
        bar->setRange(0, 1);
        bar->setValue(0);
    }
}

QProgressBar* CQtProgressDlg::Bar() const
{
    return m_window != nullptr ? m_window->findChild<QProgressBar*>(QStringLiteral("bar")) : nullptr;
}

QLabel* CQtProgressDlg::Label(const char* name) const
{
    return m_window != nullptr ? m_window->findChild<QLabel*>(QString::fromLatin1(name)) : nullptr;
}

QPushButton* CQtProgressDlg::StopButton() const
{
    return m_window != nullptr ? m_window->findChild<QPushButton*>(QStringLiteral("stopButton")) : nullptr;
}

QLabel* CQtProgressDlg::PhaseTextControl() const
{
    return m_window != nullptr ? m_window->findChild<QLabel*>(QStringLiteral("phaseText"))
                               : nullptr;
}
