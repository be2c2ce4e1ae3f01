#pragma once
// The application object: start-up and the update loop with its prompts.
#include <string>
#include <vector>

#include "app/main_window.h"
#include "update/run_update.h"

// Exit code of the process after the update loop's quit request.
inline constexpr int kQuitCode = 18;

class CUpdaterApp : public CUpdateHost {
public:
    using RunUpdateFn = UpdateResult (*)(CUpdateHost& app);

    // Stores this object's address in g_pApp.
    CUpdaterApp();
    ~CUpdaterApp() override;
    CUpdaterApp(const CUpdaterApp&) = delete;
    CUpdaterApp& operator=(const CUpdaterApp&) = delete;

    // Start-up: reads the command line (program name first), sets the base
    // directory, makes the main window through m_createMainWindow and runs it
    // modally. Always returns false: no application loop follows.
    bool InitInstance(const std::vector<std::string>& arguments);

    // Asks, runs update runs one calculator after another and reports each
    // result; every way out but a connect prompt that cannot be shown posts
    // the quit request 18.
    void RunUpdateLoop();

    // One update run; tests put a scripted run here.
    RunUpdateFn m_runUpdate = &RunUpdate;
    // Makes the main window of the active front end.
    MainWindowFactory m_createMainWindow;
    // The main window while start-up runs it; null otherwise.
    IMainWindow* m_pMainWnd = nullptr;

private:
    bool PromptConnect();
    bool PromptDataLoss();
    bool ReportFailure(const char* text);
    bool PromptContinue();
    bool ReportResult(UpdateResult result);
    void PostQuit();
};

extern CUpdaterApp* g_pApp;
extern IMainWindow* g_pMainDlg;
