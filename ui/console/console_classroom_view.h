// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rows of many calculators in console mode, on the error stream: one line
// per calculator, redrawn in place on a terminal (each line fitted to the
// terminal's width, so that the drawing never scrolls: the heading broken
// between words, a progress row giving up its bar and phase before its
// device or numbers, other rows cut at the edge); otherwise one line,
// starting with the time of day, each time a calculator's phase changes and
// one when it ends. The summary goes to
// the output stream, one "RESULT DEVICE REASON" line per calculator.
#include <functional>
#include <map>
#include <ostream>
#include <string>

#include "i18n/catalogue.h"
#include "shell/session/classroom_view.h"
#include "shell/startup/stop_requests.h"
#include "ui/console/console_input.h"
#include "ui/console/terminal_width.h"

class CConsoleClassroomView : public IClassroomView {
public:
    // `stops` (may be null): Ctrl+C asks to stop, SIGTERM ends at once.
    // `in` (may be null): a line typed while a row offers the next
    // calculator on its port (see ClassroomRow::offersNext) asks for it;
    // a row's number typed while its calculator is not answering stops
    // that row's run.
    // `size` (may be null: unknown): the size of the terminal on `err`.
    CConsoleClassroomView(std::ostream& out, std::ostream& err, bool errIsTerminal, StopRequests* stops,
                          IConsoleInput* in = nullptr, CTerminalSize* size = nullptr);

    // Input is never read again (--yes).
    void StopReading() { m_in = nullptr; }

    void ShowRows(const std::vector<ClassroomRow>& rows, const Message& heading) override;
    ClassroomRequest Serve(uint32_t ms) override;
    uint32_t StopNumber() const override { return m_stopNumber; }
    void ShowSummary(const std::vector<Message>& lines, const RunTally& counts) override;
    // The summary's lines are broken between words to fit the terminal
    // `outSize` reports (zeros: no terminal).
    void FitSummaryTo(std::function<TerminalSize()> outSize) { m_outSize = std::move(outSize); }
    // The catalogue the rows are shown in; null: English.
    void SetCatalogue(const MoCatalogue* texts) { m_texts = texts; }
    void CloseRows() override;
    ControlWords Words() const override { return m_serviceWords ? ServiceControlWords() : ConsoleControlWords(); }
    // Run by the service manager: nobody presses Ctrl+C in a service's log.
    void UseServiceWords() { m_serviceWords = true; }

private:
    bool m_serviceWords = false;
    void Redraw(const std::vector<ClassroomRow>& rows, const std::string& heading);
    // Draws the lines of `wrapped`, each cut to `columns`: how many.
    size_t DrawWrapped(const std::string& wrapped, int columns);
    void LogChanges(const std::vector<ClassroomRow>& rows, const std::string& heading);
    // The warnings of the runs not said yet, each naming its device.
    std::vector<std::string> NewWarnings(const std::vector<ClassroomRow>& rows);
    void LogLine(const std::string& line);
    TerminalSize Size();
    // What a typed line asks: a silent row's number stops it; any other
    // line takes the next calculator while a row offers it.
    ClassroomRequest Typed(const std::string& line);
    // A question comes below the rows: they are drawn afresh under it.
    void LeaveRowsAbove();

    std::ostream& m_out;
    std::ostream& m_err;
    bool m_errIsTerminal;
    StopRequests* m_stops;
    IConsoleInput* m_in;
    CTerminalSize* m_size;
    std::function<TerminalSize()> m_outSize;
    const MoCatalogue* m_texts = nullptr;
    bool m_offering = false;   // a row shown offers the next calculator
    bool m_inputEnded = false;
    std::vector<uint32_t> m_silentRows;   // the numbers of the rows that may be stopped
    uint32_t m_stopNumber = 0;
    size_t m_drawnLines = 0;                        // on a terminal: lines to redraw
    std::string m_heading;                          // otherwise: the last heading written
    std::map<std::string, std::string> m_lastLine;  // and each device's last line
    std::map<std::string, std::string> m_shownName;   // and the name it was shown by
    std::map<std::string, size_t> m_warningsSaid;   // how many of each device's warnings were said
};

// A row's text, e.g. "/dev/pts/3  Updating... [####....] 20% 14/70" or
// "/dev/pts/4  failed: the calculator did not answer", fitted to `columns`
// (0: whole): a progress row as FitProgressLine fits it, the device and
// the numbers whole; any other row cut at the edge. A silent row says for
// how long (with the bar, redrawn in place) and, with `typedStop`, how to
// stop it (a logged row; the terminal says it under the rows).
std::string FormatClassroomRow(const ClassroomRow& row, bool withBar, const MoCatalogue* texts = nullptr,
                               int columns = 0, bool typedStop = false);
