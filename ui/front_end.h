#pragma once
// The seam between the update loop / update run and whatever shows the
// program: a Qt GUI, the console, or a scripted front end in tests.
#include <memory>

class CProgressDlg;

// Message-box results and style bits (the values the launcher's platform uses).
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_DEFBUTTON2 = 0x100;

// A rectangle in screen coordinates; right and bottom are exclusive.
struct ScreenRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class IFrontEnd {
public:
    virtual ~IFrontEnd() = default;

    // Shows a modal message box; returns IDOK or IDCANCEL, or 0 when the box
    // cannot be shown at all.
    virtual int MessageBox(const char* text, const char* caption, unsigned style) = 0;

    // The main window's rectangle on the screen (progress windows centre on it).
    virtual ScreenRect MainWindowRect() = 0;

    // A new, not yet created progress window of this front end.
    virtual std::unique_ptr<CProgressDlg> NewProgressDlg() = 0;

    // Greys (false) or enables (true) the main window's Close command.
    // Returns false when the main window has no Close command to change.
    virtual bool SetCloseEnabled(bool enabled) = 0;

    // Processes pending user-interface events; the channel calls it while it
    // waits for the calculator.
    virtual void Pump() = 0;

    // Asks the process to end with `code` once the update loop has returned.
    virtual void PostQuitMessage(int code) = 0;
};
