// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress window on the desktop: made from the progress form, no close
// button, kept in front of the main window, its bar following m_progress.
#include <QDialog>
#include <QPointer>

#include "i18n/catalogue.h"
#include "shell/progress_window.h"
#include "ui/qt/screen_rect.h"

class QLabel;
class QProgressBar;

// The window itself: it cannot be closed by the user.
class CProgressWindow : public QDialog {
public:
    using QDialog::QDialog;
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;
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
    // In the title bar, after the window's title.
    void ShowNotice(const char* notice) override;

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

    QPointer<QWidget> m_owner;
    ScreenRect m_centreOn;
    const MoCatalogue* m_texts;
    QString m_title;
    QPointer<CProgressWindow> m_window;
    QRect m_placedFrame;   // where MoveWindow put the frame, and its size then
};
