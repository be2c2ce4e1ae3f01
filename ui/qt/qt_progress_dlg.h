// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress window on the desktop: made from the progress form, kept in
// front of the main window, its bar following m_progress and showing its
// percentage; below it the calculator's name and the time left. Its close
// button and its Stop button end the run only while it says the calculator
// is not answering.
#include <QDialog>
#include <QPointer>
#include <utility>

#include "i18n/catalogue.h"
#include "shell/screen/progress_window.h"
#include "ui/qt/screen_rect.h"

class QLabel;
class QProgressBar;
class QPushButton;

// The window itself: the user cannot close it; closing it while it may be
// stopped asks for the stop instead.
class CProgressWindow : public QDialog {
public:
    using QDialog::QDialog;
    void reject() override {}

    void SetStoppable(bool stoppable) { m_stoppable = stoppable; }
    void AskStop() { m_stopAsked = m_stoppable; }
    bool TakeStopRequest() { return std::exchange(m_stopAsked, false); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool m_stoppable = false;
    bool m_stopAsked = false;
};

class CQtProgressDlg : public CProgressDlg, private IProgressView {
public:
    // `owner` is the main window (may be null); the window stays in front of
    // it and is centred on `centreOn`, the main window's frame when the
    // window was made.
    // `texts` (null: English) is the catalogue its texts are shown in.
    CQtProgressDlg(QWidget* owner, const ScreenRect& centreOn, const MoCatalogue* texts = nullptr);
    ~CQtProgressDlg() override;
    CQtProgressDlg(const CQtProgressDlg&) = delete;
    CQtProgressDlg& operator=(const CQtProgressDlg&) = delete;

    void DestroyWindow() override;
    // In the body, in full, above the Stop button.
    void ShowNotice(const Message& notice) override;
    void ShowDevice(const Message& name) override;
    void ShowTimeLeft(const Message& text) override;
    bool TakeStopRequest() override;

    // The window while it exists (tests and screenshots look at it).
    QDialog* Window() const { return m_window; }

protected:
    void Create() override;
    void PlaceWindow() override;
    void SetWindowText(const char* title) override;
    bool HasPhaseTextControl() override;
    void SetPhaseText(const char* phaseText) override;
    void ShowWindow() override;

private:
    void OnProgressChanged() override;
    QProgressBar* Bar() const;
    QLabel* PhaseTextControl() const;
    QLabel* Label(const char* name) const;
    QPushButton* StopButton() const;
    void NameTheBar();

    QPointer<QWidget> m_owner;
    ScreenRect m_centreOn;
    const MoCatalogue* m_texts;
    QString m_title;
    QString m_phase;    // translated
    QString m_device;   // translated
    int m_compactHeight = 0;   // without the notice and its Stop button
    int m_noticeHeight = 0;    // the notice's in the form, at the least
    int m_stopGap = 0;         // between the notice and the Stop button
    int m_bottomMargin = 0;    // below the Stop button
    QPointer<CProgressWindow> m_window;
    QRect m_placedFrame;   // where MoveWindow put the frame, and its size then
};
