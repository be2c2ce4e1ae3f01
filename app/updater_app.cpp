#include "app/updater_app.h"

#include "app/command_line.h"
#include "ui/front_end.h"
#include "update/image_files.h"

CUpdaterApp* g_pApp = nullptr;
IMainWindow* g_pMainDlg = nullptr;

namespace {

constexpr const char* kConnectText = "Please connect the calculator.";
constexpr const char* kConnectCaption = "Connect the calculator.";
constexpr const char* kDataLossText =
    "Updating deletes all data in the calculator's Main Memory.\r\n"
    "If you need the data, make sure you back it up before updating.\r\n"
    "Use the MEMORY mode backup function to backup data.\r\n"
    "\r\n"
    "Do you want to continue with the update?";
constexpr const char* kDataLossCaption = "Warning";
constexpr const char* kSureText = "Are you sure?";
constexpr const char* kSureCaption = "Delete all data in calculator's Main Memory.";
constexpr const char* kFailedText = "Update failed.";
constexpr const char* kUnsupportedText = "Your calculator is a model that is not supported.";
constexpr const char* kAlreadyCurrentText =
    "The operating system of your calculator is the same as or later than the operating "
    "system you are trying to update to.\r\n"
    "You do not need to update your operating system.";
constexpr const char* kErrorCaption = "Error";
constexpr const char* kCompleteText =
    "Update is complete.\r\nDo you want to continue with the update?";
constexpr const char* kCompleteCaption = "Complete";

constexpr unsigned kExclamationOk = MB_OK | MB_ICONEXCLAMATION;
constexpr unsigned kWarningOkCancel = MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2;

}  // namespace

CUpdaterApp::CUpdaterApp()
{
    g_pApp = this;
}

CUpdaterApp::~CUpdaterApp()
{
    if (g_pApp == this) {
        g_pApp = nullptr;
    }
}

bool CUpdaterApp::InitInstance(const std::vector<std::string>& arguments)
{
    CUpdaterCommandLineInfo info;
    ParseCommandLine(arguments, info);
    const int owner = OwnerNumberFromText(info.m_strPrinterName);

    std::unique_ptr<IMainWindow> mainWindow =
        m_createMainWindow ? m_createMainWindow(owner) : nullptr;
    if (mainWindow == nullptr) {
        return false;   // no window to show: nothing happens
    }
    m_pMainWnd = mainWindow.get();
    g_pMainDlg = mainWindow.get();
    g_strBaseDir = BaseDirectoryFor(info.m_strFileName);

    mainWindow->DoModal();

    m_pMainWnd = nullptr;
    g_pMainDlg = nullptr;
    return false;
}

void CUpdaterApp::RunUpdateLoop()
{
    for (;;) {
        if (!PromptConnect() || !PromptDataLoss()) {
            return;
        }
        // Close stays greyed until the report of this run has been answered.
        const bool hasCloseCommand = FrontEnd().SetCloseEnabled(false);
        const UpdateResult result = m_runUpdate(*this);
        const bool again = ReportResult(result);
        if (hasCloseCommand) {
            FrontEnd().SetCloseEnabled(true);
        }
        if (!again) {
            return;
        }
    }
}

bool CUpdaterApp::PromptConnect()
{
    // A box with only OK answers OK unless it cannot be shown; then the loop
    // ends without a quit request and the main window stays up.
    return FrontEnd().MessageBox(kConnectText, kConnectCaption, kExclamationOk) == IDOK;
}

bool CUpdaterApp::PromptDataLoss()
{
    if (FrontEnd().MessageBox(kDataLossText, kDataLossCaption, kWarningOkCancel) == IDOK &&
        FrontEnd().MessageBox(kSureText, kSureCaption, kWarningOkCancel) == IDOK) {
        return true;
    }
    PostQuit();
    return false;
}

bool CUpdaterApp::ReportFailure(const char* text)
{
    FrontEnd().MessageBox(text, kErrorCaption, kExclamationOk);
    PostQuit();
    return false;
}

bool CUpdaterApp::PromptContinue()
{
    if (FrontEnd().MessageBox(kCompleteText, kCompleteCaption, MB_OKCANCEL) == IDOK) {
        return true;
    }
    PostQuit();
    return false;
}

bool CUpdaterApp::ReportResult(UpdateResult result)
{
    switch (result) {
    case Failed:
        return ReportFailure(kFailedText);
    case UnsupportedModel:
        return ReportFailure(kUnsupportedText);
    case AlreadyCurrent:
        return ReportFailure(kAlreadyCurrentText);
    default:
        return PromptContinue();
    }
}

void CUpdaterApp::PostQuit()
{
    FrontEnd().PostQuitMessage(kQuitCode);
}
