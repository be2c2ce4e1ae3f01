// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt/qt_front_end.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>
#include <QWidget>
#include <cstring>
#include <iostream>

#include "device/safe_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"
#include "shell/screen/device_name.h"
#include "shell/screen/own_lines.h"
#include "shell/screen/stall_notice.h"
#include "shell/session/updater_app.h"
#include "shell/startup/command_line.h"
#include "shell/records/history_file.h"
#include "ui/qt/qt_device_chooser.h"
#include "ui/qt/qt_history_dialog.h"
#include "ui/qt/qt_image_folder_dialog.h"
#include "ui/qt/qt_message_box.h"
#include "ui/qt/qt_progress_dlg.h"
#include "ui/qt/screen_rect.h"

namespace {

constexpr int kWatchMs = 100;
constexpr unsigned kInformationIcon = 0x40;

constexpr const char* kErrorCaption = N_("Error");

}  // namespace

CQtFrontEnd::CQtFrontEnd(StopRequests* stops)
    : m_progress([this] { return std::make_unique<CQtProgressDlg>(m_mainWindow, FrameRect(m_mainWindow), m_texts); }),
      m_classroom(stops),
      m_stops(stops)
{
    if (m_stops != nullptr) {
        m_watch = new QTimer();
        QObject::connect(m_watch, &QTimer::timeout, [this] { CloseBoxesOnTermination(); });
        m_watch->start(kWatchMs);
    }
}

bool CQtFrontEnd::WindowActive()
{
    return QApplication::activeWindow() != nullptr;
}

CQtFrontEnd::~CQtFrontEnd()
{
    delete m_watch;
}

int CQtFrontEnd::MessageBox(const Message& text, const Message& caption, unsigned style, const Message& details)
{
    const int escapeAnswer = (style & 0xFu) == MB_OKCANCEL ? IDCANCEL : IDOK;
    if (Terminating()) {
        // Nobody is asked anything more: the box's first line and the reason
        // go where a terminal may read them.
        const std::string shown = text.Render(m_texts);
        const COwnLines said(std::cerr, m_texts, StandardErrorColumns);
        said.SayShown(shown.substr(0, shown.find_first_of("\r\n")), OwnLineKind::Plain);
        if (!details.Empty()) {
            said.Say(details, OwnLineKind::Error);
        }
        return escapeAnswer;
    }
    return ShowMessageBox(m_mainWindow, text.Render(m_texts).c_str(), caption.Render(m_texts).c_str(), style,
                          details.Render(m_texts), m_classroom.Window());
}

BoxAction CQtFrontEnd::HistoryAction() const
{
    return {Message(N_("History...")).Render(m_texts), [this] {
                CHistoryDialog history(m_mainWindow, HistoryFilePath(), m_texts);
                history.exec();
            }};
}

int CQtFrontEnd::EndBox(const Message& text, const Message& caption, unsigned style, const Message& details)
{
    if (Terminating()) {
        return MessageBox(text, caption, style, details);
    }
    return ShowMessageBox(m_mainWindow, text.Render(m_texts).c_str(), caption.Render(m_texts).c_str(), style,
                          details.Render(m_texts), m_classroom.Window(), {HistoryAction()});
}

int CQtFrontEnd::FailureBox(const Message& text, const Message& caption, const Message& details,
                            const ProblemReportWriter& writeReport)
{
    if (Terminating() || !writeReport) {
        return MessageBox(text, caption, MB_OK | MB_ICONEXCLAMATION, details);
    }
    const std::vector<BoxAction> actions = {
        {Message(kSaveReportButton).Render(m_texts), [this, &writeReport] { SaveProblemReport(writeReport); }},
        HistoryAction()};
    return ShowMessageBox(m_mainWindow, text.Render(m_texts).c_str(), caption.Render(m_texts).c_str(),
                          MB_OK | MB_ICONEXCLAMATION, details.Render(m_texts), m_classroom.Window(), actions);
}

void CQtFrontEnd::SaveProblemReport(const ProblemReportWriter& writeReport)
{
    // Where --report-problem puts it without a FILE.
    const QString proposed = QDir::current().filePath(QString::fromLatin1(kDefaultProblemReportFile));
    const QString chosen = QFileDialog::getSaveFileName(
        m_mainWindow, QString::fromStdString(Message(kSaveReportTitle).Render(m_texts)), proposed);
    if (chosen.isEmpty() || Terminating()) {
        return;
    }
    const std::string file = chosen.toLocal8Bit().toStdString();
    Message problem;
    if (writeReport(file, problem)) {
        MessageBox(Message(kReportSaved, {SafeText(file), std::string(kReportAddress)}), Message(kReportCaption), MB_OK | kInformationIcon);
    } else {
        MessageBox(problem, Message(kErrorCaption), MB_OK | MB_ICONEXCLAMATION);
    }
}

bool CQtFrontEnd::ChooseImageFolder(std::string& folder, const ImageFolderCheck& check)
{
    CImageFolderDialog dialog(
        m_mainWindow,
        QString::fromStdString(Message(N_("Choose the folder that holds UpdateExe.bin and UpdateCode.bin")).Render(m_texts)),
        check, m_texts);
    if (!folder.empty()) {
        dialog.setDirectory(QString::fromLocal8Bit(folder.c_str()));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    folder = dialog.selectedFiles().constFirst().toLocal8Bit().toStdString();
    return true;
}

ChooserAnswer CQtFrontEnd::ChooseDevices(const std::vector<ListedDevice>& candidates, bool several,
                                         DeviceChooserResult& result)
{
    if (Terminating()) {
        return ChooserAnswer::Cancelled;
    }
    return RunDeviceChooser(m_mainWindow, candidates, several, result, m_allowAccess, m_texts, m_lister, m_namer);
}

void CQtFrontEnd::Warn(const Message& text)
{
    COwnLines(std::cerr, m_texts, StandardErrorColumns).Say(text, OwnLineKind::Warning);
}

bool CQtFrontEnd::SetCloseEnabled(bool enabled)
{
    if (m_mainWindow == nullptr) {
        return false;
    }
    m_mainWindow->SetCloseEnabled(enabled);
    m_mainWindow->TakeCloseRequest();
    return true;
}

bool CQtFrontEnd::KeepWaiting(const ReplyWait& wait)
{
    QCoreApplication::processEvents();
    if (Terminating()) {
        return false;
    }
    m_progress.Waiting(kConnectingPhaseText);   // before the run's first phase
    CProgressDlg* window = m_progress.Window();
    if (window != nullptr) {
        m_notice.Show(*window, wait);
    }
    // A Close or Stop while the calculator still answers is refused and forgotten.
    const bool stopAsked = window != nullptr && window->TakeStopRequest();
    const bool closeAsked = m_mainWindow != nullptr && m_mainWindow->TakeCloseRequest();
    return !((closeAsked || stopAsked) && wait.endable);
}

void CQtFrontEnd::DeviceTaken(const std::string& path, const UsbLocation& usb)
{
    m_progress.SetDevice(FriendlyDeviceName(path, usb));
    m_progress.AwaitFirstPhase();
}

void CQtFrontEnd::PostQuitMessage(int code)
{
    m_quitCode = code;
    QCoreApplication::exit(code);
}

void CQtFrontEnd::CloseBoxesOnTermination()
{
    if (!Terminating()) {
        return;
    }
    // A box that is up is closed as Escape would; the loop then ends.
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != m_mainWindow) {
        modal->close();
    }
    if (m_mainWindow != nullptr && m_mainWindow->IsCloseEnabled()) {
        PostQuitMessage(kQuitCode);
    }
}
