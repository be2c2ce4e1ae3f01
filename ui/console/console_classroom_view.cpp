// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/console/console_classroom_view.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "device/safe_text.h"
#include "i18n/message.h"
#include "shell/screen/own_lines.h"
#include "shell/screen/text_columns.h"
#include "ui/console/progress_line.h"

namespace {

constexpr uint32_t kSliceMs = 20;
constexpr const char* kNotAnswering = N_("not answering");
constexpr const char* kUnplugged = N_("unplugged");

// "14:05:09 ": the local time of day that starts a logged line.
std::string TimeOfDay()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[16] = {};
    std::strftime(text, sizeof text, "%H:%M:%S ", &local);
    return text;
}

// The rows to draw in `room` lines, in their order: all when they fit;
// else one line is kept for saying how many are left out, and the rows
// still running or not updated come first.
std::vector<size_t> RowsToDraw(const std::vector<ClassroomRow>& rows, size_t room)
{
    const size_t slots = rows.size() <= room ? rows.size() : room - 1;
    std::vector<size_t> chosen;
    for (const bool updated : {false, true}) {
        for (size_t i = 0; i < rows.size() && chosen.size() < slots; ++i) {
            if ((rows[i].finished && rows[i].result == Success) == updated) {
                chosen.push_back(i);
            }
        }
    }
    std::sort(chosen.begin(), chosen.end());
    return chosen;
}

// " (not answering for 12 s; type 3 and Enter to stop it)"; a logged
// line leaves out the seconds, or it would be logged again every second.
std::string SilentTail(const ClassroomRow& row, bool withSeconds, bool typedStop, const MoCatalogue* texts)
{
    const Message silence = withSeconds ? SilentText(row) : Message(kNotAnswering);
    if (!typedStop) {
        return Message(" (%s)", {silence}).Render(texts);
    }
    return Message(N_(" (%1$s; type %2$s and Enter to stop it)"), {silence, std::to_string(row.number)})
        .Render(texts);
}

// Under the rows of a terminal: "Type 2 and Enter to stop /dev/pts/4."
Message StopHint(const ClassroomRow& row)
{
    return Message(N_("Type %1$s and Enter to stop %2$s, which is not answering."),
                   {std::to_string(row.number), CalculatorName(row)});
}

bool AllDigits(const std::string& text)
{
    return !text.empty() && text.size() < 10 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string FormatClassroomRow(const ClassroomRow& row, bool withBar, const MoCatalogue* texts, int columns,
                               bool typedStop)
{
    std::string line = CalculatorName(row).Render(texts) + "  ";
    if (row.finished) {
        // The time last: the result and its reason read as they always did.
        line += row.resultWord.Render(texts);
        if (!row.reason.Empty()) {
            line += ": " + row.reason.Render(texts);
        }
        if (!row.took.Empty()) {
            line += " (" + row.took.Render(texts) + ")";
        }
        return FitToColumns(line, columns);
    }
    const std::string tail = row.silent ? SilentTail(row, withBar, typedStop, texts) : std::string();
    const std::string phase = row.phase.Render(texts);
    if (withBar && row.upper > 0) {
        return FitProgressLine({line, phase, tail}, ProgressState{0, row.upper, row.pos}, columns);
    }
    return FitToColumns(line + phase + tail, columns);
}

CConsoleClassroomView::CConsoleClassroomView(std::ostream& out, std::ostream& err, bool errIsTerminal,
                                             StopRequests* stops, IConsoleInput* in,
                                             CTerminalSize* size)
    : m_out(out),
      m_err(err),
      m_errIsTerminal(errIsTerminal),
      m_stops(stops),
      m_in(in),
      m_size(size)
{
}

TerminalSize CConsoleClassroomView::Size()
{
    return m_size != nullptr ? m_size->Get() : TerminalSize{};
}

void CConsoleClassroomView::ShowRows(const std::vector<ClassroomRow>& rows, const Message& heading)
{
    m_offering = std::any_of(rows.begin(), rows.end(), [](const ClassroomRow& row) { return row.offersNext; });
    m_silentRows.clear();
    for (const ClassroomRow& row : rows) {
        if (row.silent && !row.finished) {
            m_silentRows.push_back(row.number);
        }
    }
    const std::vector<std::string> warnings = NewWarnings(rows);
    if (m_errIsTerminal) {
        if (!warnings.empty() && m_drawnLines > 0) {
            // Said above the rows, which are drawn afresh below them.
            m_err << "\x1b[" << m_drawnLines << "A\r\x1b[J";
            m_drawnLines = 0;
        }
        const COwnLines said(m_err, m_texts, [this] { return Size().columns; });
        for (const std::string& warning : warnings) {
            m_err << "\r\x1b[K";
            said.SayShown(warning);
        }
        Redraw(rows, heading.Render(m_texts));
    } else {
        for (const std::string& warning : warnings) {
            LogLine(warning);
        }
        LogChanges(rows, heading.Render(m_texts));
    }
    m_err.flush();
}

std::vector<std::string> CConsoleClassroomView::NewWarnings(const std::vector<ClassroomRow>& rows)
{
    std::vector<std::string> warnings;
    for (const ClassroomRow& row : rows) {
        size_t& said = m_warningsSaid[row.device];
        said = said > row.warnings.size() ? 0 : said;   // the next calculator on the same port
        for (; said < row.warnings.size(); ++said) {
            warnings.push_back(CalculatorName(row).Render(m_texts) + ": " + row.warnings[said].Render(m_texts));
        }
    }
    return warnings;
}

void CConsoleClassroomView::Redraw(const std::vector<ClassroomRow>& rows, const std::string& heading)
{
    if (m_drawnLines > 0) {
        m_err << "\x1b[" << m_drawnLines << 'A';   // back to the heading
    }
    // One line of text per line of the terminal, or the lines that wrap
    // would push the drawing down and the next one would start too low.
    const TerminalSize size = Size();
    const int columns = size.columns;
    // The heading breaks between words, so that a station's counts at the
    // end of its long first line stay in sight.
    const size_t headingLines = DrawWrapped(WrapAtWords(heading, columns), columns);
    // How to stop a silent row, under the rows: broken between words, so
    // that it is read whole however narrow the terminal is.
    std::string hints;
    for (const ClassroomRow& row : rows) {
        if (m_in != nullptr && row.silent && !row.finished) {
            hints += (hints.empty() ? "" : "\n") + WrapAtWords(StopHint(row).Render(m_texts), columns);
        }
    }
    const size_t hintLines = hints.empty() ? 0 : 1 + static_cast<size_t>(std::count(hints.begin(), hints.end(), '\n'));
    // Never taller than the terminal, or moving back up to redraw would
    // stop at its top and the drawings would pile up.
    const auto lines = static_cast<size_t>(size.lines);
    const size_t above = headingLines + hintLines + 1;
    const size_t room = lines > above ? lines - above : 1;
    const std::vector<size_t> drawn = RowsToDraw(rows, lines > 0 ? room : rows.size());
    for (const size_t i : drawn) {
        m_err << "\r\x1b[K" << FormatClassroomRow(rows[i], true, m_texts, columns) << '\n';
    }
    size_t noteLines = 0;
    if (drawn.size() < rows.size()) {
        const auto left = static_cast<long>(rows.size() - drawn.size());
        const Message note = Message::Count("%d more calculator is not shown", "%d more calculators are not shown",
                                            static_cast<unsigned long>(left), {std::to_string(left)});
        m_err << "\r\x1b[K" << FitToColumns(note.Render(m_texts), columns) << '\n';
        noteLines = 1;
    }
    if (lines == 0 || headingLines + drawn.size() + noteLines + hintLines < lines) {
        noteLines += hints.empty() ? 0 : DrawWrapped(hints, columns);
    }
    m_err << "\x1b[J";   // rows that were dropped since the last drawing
    m_drawnLines = drawn.size() + noteLines + headingLines;
}

size_t CConsoleClassroomView::DrawWrapped(const std::string& wrapped, int columns)
{
    size_t count = 0;
    for (size_t start = 0; start <= wrapped.size(); ++count) {
        const size_t end = std::min(wrapped.find('\n', start), wrapped.size());
        m_err << "\r\x1b[K" << FitToColumns(wrapped.substr(start, end - start), columns) << '\n';
        start = end + 1;
    }
    return count;
}

void CConsoleClassroomView::LogChanges(const std::vector<ClassroomRow>& rows, const std::string& heading)
{
    if (heading != m_heading) {
        // Only the heading's new lines: a note that stays is said once.
        size_t start = 0;
        while (start <= heading.size()) {
            const size_t end = std::min(heading.find('\n', start), heading.size());
            const std::string line = heading.substr(start, end - start);
            if (("\n" + m_heading + "\n").find("\n" + line + "\n") == std::string::npos) {
                LogLine(line);
            }
            start = end + 1;
        }
        m_heading = heading;
    }
    for (const ClassroomRow& row : rows) {
        std::string line = FormatClassroomRow(row, false, m_texts, 0, m_in != nullptr);
        std::string& last = m_lastLine[row.device];
        m_shownName[row.device] = CalculatorName(row).Render(m_texts);
        if (line != last) {
            LogLine(line);
            last = std::move(line);
        }
    }
    // A row is dropped when its calculator has been unplugged; a calculator
    // plugged in there again starts afresh.
    for (auto it = m_lastLine.begin(); it != m_lastLine.end();) {
        bool shown = false;
        for (const ClassroomRow& row : rows) {
            shown = shown || row.device == it->first;
        }
        if (shown) {
            ++it;
        } else {
            LogLine(m_shownName[it->first] + "  " + Message(kUnplugged).Render(m_texts));
            m_shownName.erase(it->first);
            it = m_lastLine.erase(it);
        }
    }
}

void CConsoleClassroomView::LogLine(const std::string& line)
{
    m_err << TimeOfDay() << line << '\n';
}

ClassroomRequest CConsoleClassroomView::Serve(uint32_t ms)
{
    for (uint32_t waited = 0;; waited += kSliceMs) {
        if (m_stops != nullptr && m_stops->terminate != 0) {
            return ClassroomRequest::Terminate;
        }
        if (m_stops != nullptr && m_stops->interrupt != 0) {
            m_stops->interrupt = 0;
            LeaveRowsAbove();   // the loop may ask whether to stop
            return ClassroomRequest::Stop;
        }
        const bool listening = m_offering || !m_silentRows.empty();
        if (listening && m_in != nullptr && !m_inputEnded && m_in->LineWaiting()) {
            std::string line;
            const InputLine got = m_in->ReadLine(line);
            m_inputEnded = got == InputLine::End;
            if (got == InputLine::Line) {
                // The line typed below the rows moved the terminal's cursor down one.
                m_drawnLines += m_errIsTerminal && m_drawnLines > 0 ? 1 : 0;
                const ClassroomRequest request = Typed(line);
                if (request != ClassroomRequest::None) {
                    return request;
                }
            }
        }
        if (waited >= ms) {
            return ClassroomRequest::None;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMs));
    }
}

ClassroomRequest CConsoleClassroomView::Typed(const std::string& line)
{
    const size_t start = line.find_first_not_of(" \t");
    const size_t end = line.find_last_not_of(" \t\r");
    const std::string word = start == std::string::npos ? std::string() : line.substr(start, end - start + 1);
    if (AllDigits(word)) {
        const auto number = static_cast<uint32_t>(std::stoul(word));
        if (std::find(m_silentRows.begin(), m_silentRows.end(), number) != m_silentRows.end()) {
            m_stopNumber = number;
            return ClassroomRequest::StopRow;
        }
    }
    return m_offering ? ClassroomRequest::Next : ClassroomRequest::None;
}

void CConsoleClassroomView::LeaveRowsAbove()
{
    if (m_errIsTerminal && m_drawnLines > 0) {
        m_err << "\r\x1b[K";   // the ^C the terminal echoed
        m_err.flush();
        m_drawnLines = 0;
    }
}

void CConsoleClassroomView::ShowSummary(const std::vector<Message>& lines, const RunTally& /*counts*/)
{
    const int columns = m_outSize ? m_outSize().columns : 0;
    for (const Message& line : lines) {
        m_out << WrapAtWords(line.Render(m_texts), columns) << '\n';
    }
    m_out.flush();
}

void CConsoleClassroomView::CloseRows()
{
    m_drawnLines = 0;
    if (m_size != nullptr) {
        m_size->Forget();   // the next rows read the size afresh
    }
    m_heading.clear();
    m_lastLine.clear();
    m_warningsSaid.clear();
}
