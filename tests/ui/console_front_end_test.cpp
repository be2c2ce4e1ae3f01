// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>

#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <csignal>
#include <thread>
#include <regex>
#include <sstream>
#include <string>

#include "i18n/catalogue.h"
#include "shell/screen/own_lines.h"
#include "shell/screen/text_columns.h"
#include "tests/e2e/terminal_screen.h"
#include "ui/console/console_answer.h"
#include "ui/console/console_front_end.h"
#include "ui/console/console_input.h"
#include "ui/console/json_events.h"
#include "ui/console/json_front_end.h"
#include "ui/console/progress_line.h"
#include "ui/console/terminal_width.h"

namespace {

constexpr unsigned kWarningStyle = 0x131;   // OK Cancel, exclamation, Cancel default
constexpr unsigned kOkOnlyStyle = 0x30;
constexpr unsigned kOkCancelStyle = 0x1;    // OK default

struct Console {
    explicit Console(const std::string& input, bool terminal = false)
        : in(input), lines(in), frontEnd(lines, out, err, terminal, &stops)
    {
    }
    std::istringstream in;
    CStreamInput lines;
    std::ostringstream out;
    std::ostringstream err;
    StopRequests stops;
    CConsoleFrontEnd frontEnd;
};

int Answer(const std::string& input, unsigned style)
{
    Console console(input);
    return console.frontEnd.MessageBox(Message::Raw("text"), Message::Raw("caption"), style);
}

TEST(ConsoleAnswer, WordsInAnyCaseEmptyIsDefaultOthersUnknown)
{
    for (const char* ok : {"ok", "O", "Yes", "y", "  OK \r"}) {
        EXPECT_EQ(ParseConsoleAnswer(ok), ConsoleAnswer::Ok) << ok;
    }
    for (const char* cancel : {"cancel", "C", "NO", "n"}) {
        EXPECT_EQ(ParseConsoleAnswer(cancel), ConsoleAnswer::Cancel) << cancel;
    }
    EXPECT_EQ(ParseConsoleAnswer(""), ConsoleAnswer::Default);
    EXPECT_EQ(ParseConsoleAnswer(" \t\r"), ConsoleAnswer::Default);
    for (const char* other : {"okay", "yes please", "0", "nope"}) {
        EXPECT_EQ(ParseConsoleAnswer(other), ConsoleAnswer::Unknown) << other;
    }
    // The buttons' words in the user's language answer too; the English ones still do.
    EXPECT_EQ(ParseConsoleAnswer("abbrechen", {"OK", "ja"}, {"Abbrechen", "nein"}), ConsoleAnswer::Cancel);
    EXPECT_EQ(ParseConsoleAnswer("Nein ", {"OK", "ja"}, {"Abbrechen", "nein"}), ConsoleAnswer::Cancel);
    EXPECT_EQ(ParseConsoleAnswer("JA", {"OK", "ja"}, {"Abbrechen", "nein"}), ConsoleAnswer::Ok);
    EXPECT_EQ(ParseConsoleAnswer("oui", {"OK", "ja"}, {"Abbrechen", "nein"}), ConsoleAnswer::Unknown);
    EXPECT_EQ(ParseConsoleAnswer(" Aceptar", {"Aceptar", "s\xC3\xAD"}, {"Cancelar", "no"}), ConsoleAnswer::Ok);
    EXPECT_EQ(ParseConsoleAnswer("s\xC3\xAD", {"Aceptar", "s\xC3\xAD"}, {"Cancelar", "no"}), ConsoleAnswer::Ok);
    EXPECT_EQ(ParseConsoleAnswer("cancel", {"Aceptar"}, {"Cancelar"}), ConsoleAnswer::Cancel);
    EXPECT_EQ(ParseConsoleAnswer("annul", {"OK", "oui"}, {"Annuler", "non"}), ConsoleAnswer::Unknown);
}

TEST(ConsoleMessageBox, ShowsCaptionTextLinesAndMarkedDefault)
{
    Console console("\n");
    EXPECT_EQ(console.frontEnd.MessageBox(Message::Raw("one\r\ntwo\r\n\r\nthree"), Message::Raw("Warning"), kWarningStyle),
              IDCANCEL);
    EXPECT_EQ(console.out.str(), "== Warning ==\none\ntwo\n\nthree\nOK [Cancel]\n");

    Console ok("\n");
    EXPECT_EQ(ok.frontEnd.MessageBox(Message::Raw("Update is complete."), Message::Raw("Complete"), kOkCancelStyle), IDOK);
    EXPECT_EQ(ok.out.str(), "== Complete ==\nUpdate is complete.\n[OK] Cancel\n");

    Console only("\n");
    EXPECT_EQ(only.frontEnd.MessageBox(Message::Raw("Please connect."), Message::Raw("Connect"), kOkOnlyStyle), IDOK);
    EXPECT_EQ(only.out.str(), "== Connect ==\nPlease connect.\n[OK]\n");
}

TEST(ConsoleMessageBox, AnswersDefaultsAndEndOfInput)
{
    EXPECT_EQ(Answer("y\n", kWarningStyle), IDOK);
    EXPECT_EQ(Answer("no\n", kOkCancelStyle), IDCANCEL);
    EXPECT_EQ(Answer("\n", kWarningStyle), IDCANCEL);
    EXPECT_EQ(Answer("\n", kOkCancelStyle), IDOK);
    EXPECT_EQ(Answer("", kWarningStyle), IDCANCEL);
    EXPECT_EQ(Answer("", kOkCancelStyle), IDCANCEL);
    EXPECT_EQ(Answer("", kOkOnlyStyle), IDOK);
    EXPECT_EQ(Answer("cancel\n", kOkOnlyStyle), IDOK);   // as Escape on a box with only OK
    EXPECT_EQ(Answer("ok", kWarningStyle), IDOK);         // a last line without line feed
}

TEST(ConsoleMessageBox, AnythingElseAsksAgainUntilAnAnswerOrEndOfInput)
{
    Console console("maybe\nsure\nOK\n");
    EXPECT_EQ(console.frontEnd.MessageBox(Message::Raw("Are you sure?"), Message::Raw("Delete"), kWarningStyle), IDOK);
    EXPECT_EQ(console.out.str(),
              "== Delete ==\nAre you sure?\nOK [Cancel]\n"
              "Please answer OK or Cancel.\nOK [Cancel]\n"
              "Please answer OK or Cancel.\nOK [Cancel]\n");

    Console endsEarly("what\n");
    EXPECT_EQ(endsEarly.frontEnd.MessageBox(Message::Raw("x"), Message::Raw("y"), kOkCancelStyle), IDCANCEL);

    // Each box reads exactly one answer line.
    Console two("y\nn\n");
    EXPECT_EQ(two.frontEnd.MessageBox(Message::Raw("a"), Message::Raw("b"), kWarningStyle), IDOK);
    EXPECT_EQ(two.frontEnd.MessageBox(Message::Raw("a"), Message::Raw("b"), kWarningStyle), IDCANCEL);
}

TEST(ConsoleFrontEnd, QuitCodeIsTheLastRequested)
{
    Console console("");
    EXPECT_EQ(console.frontEnd.QuitCode(), 0);
    console.frontEnd.PostQuitMessage(18);
    EXPECT_EQ(console.frontEnd.QuitCode(), 18);
}

TEST(ConsoleFrontEnd, CtrlCStopsARunOnlyWhenTheCalculatorIsSilentSigtermAlways)
{
    Console console("");
    ASSERT_TRUE(console.frontEnd.SetCloseEnabled(false));   // a run starts
    const ReplyWait answering{200, false};
    const ReplyWait silent{10000, true};

    console.stops.interrupt = 1;
    EXPECT_TRUE(console.frontEnd.KeepWaiting(answering));   // not cut off half-way
    EXPECT_EQ(console.stops.interrupt, 0);
    console.stops.interrupt = 1;
    EXPECT_TRUE(console.frontEnd.KeepWaiting(answering));
    EXPECT_TRUE(console.frontEnd.KeepWaiting(silent));       // no Ctrl+C: waits on
    console.stops.interrupt = 1;
    EXPECT_FALSE(console.frontEnd.KeepWaiting(silent));
    // Each thing is said once: the busy hint, then the silence.
    EXPECT_EQ(console.err.str(),
              "zentrix-update: an update is under way and is not stopped half-way; Ctrl+C stops it only "
              "once the calculator has stopped answering for 10 s\n"
              "zentrix-update: the calculator is not answering; press Ctrl+C to stop the update\n");

    console.stops.terminate = 1;
    EXPECT_FALSE(console.frontEnd.KeepWaiting(answering));
    // Terminated: nothing more is asked; the box's first line and its reason
    // go to the error stream, and the box answers as Escape does.
    console.err.str("");
    EXPECT_EQ(console.frontEnd.MessageBox(Message::Raw("Update failed.\r\nmore"), Message::Raw("Error"), kOkOnlyStyle, Message::Raw("stopped")), IDOK);
    EXPECT_EQ(console.frontEnd.MessageBox(Message::Raw("Go on?"), Message::Raw("Complete"), kOkCancelStyle), IDCANCEL);
    EXPECT_EQ(console.err.str(), "zentrix-update: Update failed.\nzentrix-update: stopped\nzentrix-update: Go on?\n");
    EXPECT_TRUE(console.out.str().empty());
}

TEST(ConsoleFrontEnd, AReasonFollowsTheBoxOnTheErrorStreamAndTheOutputStaysAsItWas)
{
    Console console("\n");
    EXPECT_EQ(console.frontEnd.MessageBox(Message::Raw("Update failed."), Message::Raw("Error"), kOkOnlyStyle, Message::Raw("no calculator found")), IDOK);
    EXPECT_EQ(console.out.str(), "== Error ==\nUpdate failed.\n[OK]\n");
    EXPECT_EQ(console.err.str(), "zentrix-update: no calculator found\n");
}

TEST(ConsoleInput, EndlessLinesAreCutAndInterruptedReadsAnswerCancel)
{
    // A 20 MB line keeps 4 KiB; the next line is read as it is.
    std::istringstream in(std::string(20u << 20, 'x') + "\nok\nlast");
    CStreamInput lines(in);
    std::string line;
    ASSERT_EQ(lines.ReadLine(line), InputLine::Line);
    EXPECT_EQ(line.size(), kMaxAnswerLength);
    ASSERT_EQ(lines.ReadLine(line), InputLine::Line);
    EXPECT_EQ(line, "ok");
    ASSERT_EQ(lines.ReadLine(line), InputLine::Line);   // no line feed at the end
    EXPECT_EQ(line, "last");
    EXPECT_EQ(lines.ReadLine(line), InputLine::End);

    // On a descriptor, a signal that leaves a request ends the wait for an
    // answer: the box answers Cancel and the request is taken.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigaction(SIGUSR1, &action, nullptr);   // no restart
    StopRequests stops;
    CFdInput fdLines(pipeFds[0], &stops);
    std::ostringstream out;
    std::ostringstream err;
    CConsoleFrontEnd frontEnd(fdLines, out, err, false, &stops);
    const pthread_t reader = pthread_self();
    std::thread interrupter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stops.interrupt = 1;
        pthread_kill(reader, SIGUSR1);
    });
    EXPECT_EQ(frontEnd.MessageBox(Message::Raw("Are you sure?"), Message::Raw("Warning"), kWarningStyle), IDCANCEL);
    interrupter.join();
    EXPECT_EQ(stops.interrupt, 0);
    ASSERT_EQ(write(pipeFds[1], "o", 1), 1);   // a line cut by the end of input still counts
    close(pipeFds[1]);
    EXPECT_EQ(frontEnd.MessageBox(Message::Raw("Are you sure?"), Message::Raw("Warning"), kWarningStyle), IDOK);
    close(pipeFds[0]);
}

TEST(ProgressLine, ShowsPhaseBarPercentAndCounts)
{
    EXPECT_EQ(FormatProgressLine("Updating...", {0, 256, 128}),
              "Updating... [##########..........] 50% 128/256");
    EXPECT_EQ(FormatProgressLine("Sending data...", {0, 0, 0}),
              "Sending data... [....................] 0% 0/0");
    EXPECT_EQ(FormatProgressLine("x", {0, 3, 3}), "x [####################] 100% 3/3");
    EXPECT_EQ(ProgressPercent({0, 65535, 65534}), 99);
}

// Short of room the bar shrinks, then goes, then the phase is cut at a
// word, ending in "…"; the name before it and the numbers stay whole.
TEST(ProgressLine, FitsTheTerminalGivingUpBarThenPhaseNeverNameOrNumbers)
{
    const ProgressLineParts version{"", "Checking the calculator version...", ""};
    const ProgressLineParts row{"/dev/pts/13  ", "Updating...", ""};
    const ProgressLineParts silent{"/dev/pts/13  ", "Updating...", " (not answering)"};
    const ProgressState done{0, 256, 256};
    const ProgressState half{0, 19532, 10004};
    const struct {
        ProgressLineParts parts;
        ProgressState state;
        int columns;
        const char* line;
    } cases[] = {
        {version, done, 0, "Checking the calculator version... [####################] 100% 256/256"},
        {version, done, 80, "Checking the calculator version... [####################] 100% 256/256"},
        {version, done, 60, "Checking the calculator version... [#########] 100% 256/256"},
        {version, done, 50, "Checking the calculator version... 100% 256/256"},
        {version, done, 30, "Checking the\xE2\x80\xA6 100% 256/256"},
        {version, done, 16, "100% 256/256"},
        {version, done, 10, "100%\xE2\x80\xA6"},   // narrower than the numbers: cut after one
        {row, half, 60, "/dev/pts/13  Updating... [#######........] 51% 10004/19532"},
        {row, half, 45, "/dev/pts/13  Updating... 51% 10004/19532"},
        {row, half, 40, "/dev/pts/13  Updating\xE2\x80\xA6 51% 10004/19532"},
        {silent, half, 60, "/dev/pts/13  Updating... 51% 10004/19532 (not answering)"},
        {silent, half, 52, "/dev/pts/13  Upda\xE2\x80\xA6 51% 10004/19532 (not answering)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FitProgressLine(c.parts, c.state, c.columns), c.line) << c.columns;
    }
    // At every width the line fits short of the last column, and the bar
    // keeps its width while the numbers grow.
    for (int columns = 30; columns <= 90; ++columns) {
        const std::string start = FitProgressLine(row, {0, 19532, 0}, columns);
        const std::string end = FitProgressLine(row, {0, 19532, 19532}, columns);
        EXPECT_LT(TextColumns(start), static_cast<size_t>(columns));
        EXPECT_LT(TextColumns(end), static_cast<size_t>(columns));
        EXPECT_EQ(start.find(']'), end.find(']')) << start << "\n" << end;
        EXPECT_EQ(end.rfind("/dev/pts/13  ", 0), 0u);
        EXPECT_EQ(end.substr(end.size() - 16), "100% 19532/19532");
    }
}

// Box texts break between words at a terminal's width, the words as they
// were; a word longer than a line keeps a line of its own.
TEST(WrapAtWords, BreaksLongLinesBetweenWordsOnly)
{
    const struct {
        std::string text;
        int columns;
        std::string wrapped;
    } cases[] = {
        {"If you need the data, make sure you back it up before updating.", 30,
         "If you need the data, make\nsure you back it up before\nupdating."},
        {"If you need the data, make sure you back it up before updating.", 0,
         "If you need the data, make sure you back it up before updating."},
        {"Fits.\nsee /a/very/long/path/name here", 10, "Fits.\nsee\n/a/very/long/path/name\nhere"},
        {"\xC3\x9C""ber \xC3\xA4\xC3\xB6\xC3\xBC \xC3\x84\xC3\x96", 9,
         "\xC3\x9C""ber \xC3\xA4\xC3\xB6\xC3\xBC\n\xC3\x84\xC3\x96"},
        {"  indented words stay indented", 20, "  indented words\nstay indented"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WrapAtWords(c.text, c.columns), c.wrapped) << c.text;
    }
}

// The program's own lines: its name, then the text broken between words
// to fit the terminal, later lines under the text; whole off a terminal.
TEST(OwnLines, BreakAtWordsUnderTheTextAndFitTheTerminal)
{
    const std::string under(16, ' ');
    const struct {
        std::string text;
        OwnLineKind kind;
        int columns;
        std::string lines;
    } cases[] = {
        {"unknown option --usb-id 1a2b:5e01 ignored", OwnLineKind::Warning, 40,
         "zentrix-update: unknown option --usb-id\n" + under + "1a2b:5e01 ignored\n"},
        {"unknown option --usb-id 1a2b:5e01 ignored", OwnLineKind::Warning, 0,
         "zentrix-update: unknown option --usb-id 1a2b:5e01 ignored\n"},
        {"Die Datei ist gr\xC3\xB6\xC3\x9F""er als erlaubt", OwnLineKind::Error, 40,
         "zentrix-update: Die Datei ist gr\xC3\xB6\xC3\x9F""er\n" + under + "als erlaubt\n"},
        {"cannot read /home/someone/a/very/long/path/zentrix.conf", OwnLineKind::Error, 40,
         "zentrix-update: cannot read\n" + under + "/home/someone/a/very/lo\n" + under + "ng/path/zentrix.conf\n"},
        {"usage: a b\n       c", OwnLineKind::Plain, 0, "zentrix-update: usage: a b\n" + under + "       c\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OwnLines(c.text, c.kind, c.columns), c.lines) << c.text;
    }
}

// On a narrow terminal the progress line and the box lines fit it; the size
// is read again only once SIGWINCH said it changed.
TEST(ConsoleProgress, OnANarrowTerminalTheLineAndTheBoxesFitItsWidth)
{
    std::istringstream in("ok\nok\n");
    CStreamInput lines(in);
    std::ostringstream out;
    std::ostringstream err;
    StopRequests stops;
    TerminalSize size{60, 20};
    int reads = 0;
    CConsoleFrontEnd frontEnd(lines, out, err, true, &stops, [&] {
        ++reads;
        return size;
    });
    frontEnd.FitBoxesTo([&size] { return size; });
    frontEnd.OpenProgress("Checking the calculator version...", 256);
    for (int i = 0; i < 256; ++i) {
        frontEnd.StepProgress();
    }
    size = {40, 20};
    frontEnd.StepProgress();   // the size is not read again unasked
    stops.resized = 1;
    frontEnd.StepProgress();
    frontEnd.CloseProgress();
    EXPECT_EQ(reads, 2);
    const std::string drawn = err.str();
    EXPECT_NE(drawn.find("\r\x1b[KChecking the calculator version... [#########] 100% 256/256\r"),
              std::string::npos) << drawn;
    EXPECT_EQ(drawn.substr(drawn.rfind('\r')), "\r\x1b[KChecking the calculator\xE2\x80\xA6 0% 1/256\n");
    EXPECT_EQ(frontEnd.MessageBox(Message::Raw("Updating deletes all data in the calculator's Main Memory. If you need the "
                                  "data, make sure you back it up before updating."), Message::Raw("Warning"), kWarningStyle),
              IDOK);
    EXPECT_EQ(out.str(), "== Warning ==\nUpdating deletes all data in the\ncalculator's Main Memory. If you need\nthe "
                         "data, make sure you back it up\nbefore updating.\nOK [Cancel]\n");
    // A caption that wraps keeps its closing mark on its last line.
    out.str("");
    size = {60, 20};
    stops.resized = 1;
    EXPECT_EQ(frontEnd.MessageBox(Message::Raw("Are you sure?"),
                                  Message::Raw("Delete all data in the Main Memory of every calculator."), kWarningStyle),
              IDOK);
    EXPECT_EQ(out.str(), "== Delete all data in the Main Memory of every\ncalculator. ==\nAre you sure?\nOK [Cancel]\n");
}

int CountLines(const std::string& text)
{
    int lines = 0;
    for (char c : text) {
        lines += c == '\n' ? 1 : 0;
    }
    return lines;
}

TEST(ConsoleProgress, OffATerminalWritesAtMostOneLinePerTenth)
{
    Console console("");
    console.frontEnd.OpenProgress("Checking the calculator version...", 256);
    for (int i = 0; i < 256; ++i) {
        console.frontEnd.StepProgress();
    }
    console.frontEnd.CloseProgress();
    EXPECT_EQ(console.frontEnd.ProgressWindow(), nullptr);
    const std::string err = console.err.str();
    EXPECT_EQ(CountLines(err), 11);   // 0 %, 10 %, ... 100 %
    EXPECT_EQ(err.find('\r'), std::string::npos);
    EXPECT_EQ(err.substr(0, err.find('\n')),
              "Checking the calculator version... [....................] 0% 0/256");
    EXPECT_NE(err.find("] 100% 256/256\n"), std::string::npos);
    EXPECT_TRUE(console.out.str().empty());
}

TEST(ConsoleProgress, WrapAndResetStartTheLineOverAndTheRangeIsCutTo16Bits)
{
    Console console("");
    console.frontEnd.OpenProgress("Updating...", 65536 + 5);
    EXPECT_EQ(console.frontEnd.ProgressWindow()->m_progress.Upper(), 5);
    for (int i = 0; i < 6; ++i) {
        console.frontEnd.StepProgress();   // the sixth step wraps to 0
    }
    EXPECT_EQ(console.frontEnd.ProgressWindow()->m_progress.Pos(), 0);
    console.frontEnd.CloseProgress();
    const std::string err = console.err.str();
    EXPECT_NE(err.find("] 100% 5/5\n"), std::string::npos);
    EXPECT_EQ(err.substr(err.rfind('\n', err.size() - 2) + 1),
              "Updating... [....................] 0% 0/5\n");
}

TEST(ConsoleProgress, OnATerminalRedrawsInPlaceAndEndsTheLineOnClose)
{
    Console console("", true);
    console.frontEnd.OpenProgress("Sending data...", 4);
    console.frontEnd.StepProgress();
    console.frontEnd.StepProgress();
    console.frontEnd.CloseProgress();
    EXPECT_EQ(console.err.str(),
              "\r\x1b[KSending data... [....................] 0% 0/4"
              "\r\x1b[KSending data... [#####...............] 25% 1/4"
              "\r\x1b[KSending data... [##########..........] 50% 2/4\n");
}

TEST(ConsoleProgress, OpeningOnAnOccupiedSlotClosesTheOldWindowFirst)
{
    Console console("", true);
    console.frontEnd.OpenProgress("Sending data...", 2);
    console.frontEnd.OpenProgress("Updating...", 2);
    console.frontEnd.CloseProgress();
    console.frontEnd.CloseProgress();   // nothing open: nothing happens
    EXPECT_EQ(console.err.str(),
              "\r\x1b[KSending data... [....................] 0% 0/2\n"
              "\r\x1b[KUpdating... [....................] 0% 0/2\n");
}

}  // namespace

namespace {

ClassroomRow Row(const char* device, const char* phase, int pos, int upper)
{
    ClassroomRow row;
    row.device = device;
    row.phase = Message::Raw(phase);
    row.pos = pos;
    row.upper = upper;
    return row;
}

}  // namespace

TEST(ConsoleClassroomRows, LoggedOncePerChangeOrRedrawnInPlaceOnATerminal)
{
    ClassroomRow failed = Row("/dev/pts/4", "Updating...", 33, 69);
    failed.finished = true;
    failed.resultWord = Message::Raw("failed");
    failed.reason = Message::Raw("link lost");
    const std::vector<std::vector<ClassroomRow>> frames = {
        {Row("/dev/pts/3", "Starting...", 0, 0), Row("/dev/pts/4", "Starting...", 0, 0)},
        {Row("/dev/pts/3", "Updating...", 10, 69), Row("/dev/pts/4", "Updating...", 5, 69)},
        {Row("/dev/pts/3", "Updating...", 20, 69), failed},
        {failed},   // the first one was unplugged
    };
    std::ostringstream out;
    std::ostringstream log;
    CConsoleClassroomView logged(out, log, false, nullptr);
    std::ostringstream screen;
    CConsoleClassroomView terminal(out, screen, true, nullptr);
    for (const auto& rows : frames) {
        logged.ShowRows(rows, Message::Raw("Updating 2 calculators at once"));
        terminal.ShowRows(rows, Message::Raw("Updating 2 calculators at once"));
    }
    // Each logged line starts with the time of day.
    const std::regex time("(^|\n)\\d\\d:\\d\\d:\\d\\d ");
    const std::string logText = log.str();
    EXPECT_EQ(std::distance(std::sregex_iterator(logText.begin(), logText.end(), time), std::sregex_iterator()), 7);
    EXPECT_EQ(std::regex_replace(logText, time, "$1"), "Updating 2 calculators at once\n"
                         "/dev/pts/3  Starting...\n"
                         "/dev/pts/4  Starting...\n"
                         "/dev/pts/3  Updating...\n"
                         "/dev/pts/4  Updating...\n"
                         "/dev/pts/4  failed: link lost\n"
                         "/dev/pts/3  unplugged\n");
    // Each drawing goes back over the last one (heading and rows) and clears
    // what is left below.
    const std::string drawn = screen.str();
    const std::string last = "\x1b[3A\r\x1b[KUpdating 2 calculators at once\n"
                             "\r\x1b[K/dev/pts/4  failed: link lost\n\x1b[J";
    ASSERT_GE(drawn.size(), last.size());
    EXPECT_EQ(drawn.substr(drawn.size() - last.size()), last);
    EXPECT_NE(drawn.find("\r\x1b[K/dev/pts/3  Updating... [##..................] 14% 10/69\n"), std::string::npos);
    EXPECT_EQ(out.str(), "");

    logged.ShowSummary({Message::Raw("updated /dev/pts/3"), Message::Raw("failed /dev/pts/4 link lost")}, {});
    EXPECT_EQ(out.str(), "updated /dev/pts/3\nfailed /dev/pts/4 link lost\n");

    // In German every line follows the language: the result word, a reason
    // of ours, the counts; the device and outside text stay as they are.
    const std::optional<MoCatalogue> german = MoCatalogue::Load(ZENTRIX_LOCALE_DIR "/de/LC_MESSAGES/zentrix-update.mo");
    ASSERT_TRUE(german);
    std::ostringstream germanOut;
    CConsoleClassroomView inGerman(germanOut, log, false, nullptr);
    inGerman.SetCatalogue(&*german);
    const Message silent(N_("the calculator did not answer in time"));
    inGerman.ShowSummary(
        {Message("%s %s %s", {Message(N_("failed")), std::string("/dev/pts/4"), silent}),
         Message("%s %s %s", {Message(N_("current")), std::string("/dev/pts/5"), Message::Raw("link lost")}),
         Message::Count("%d calculator: %d updated, %d already current, %d not supported, %d failed.",
                        "%d calculators: %d updated, %d already current, %d not supported, %d failed.", 2,
                        {std::string("2"), std::string("1"), std::string("0"), std::string("0"), std::string("1")})},
        {});
    EXPECT_EQ(germanOut.str(), "fehlgeschlagen /dev/pts/4 " + silent.Render(&*german) + "\n" +
                                   "aktuell /dev/pts/5 link lost\n"
                                   "2 Rechner: 1 aktualisiert, 0 bereits aktuell, 0 nicht unterstützt, 1 fehlgeschlagen.\n");
    EXPECT_NE(silent.Render(&*german), silent.English());
}

// Lines drawn on a terminal end short of its last column, counted in
// characters (the heading broken between words, a finished row cut after a
// word, ending in "…"), and
// fit a new width once SIGWINCH said it changed.
TEST(ConsoleClassroomRows, ATerminalsLinesAreCutToItsWidthReadAgainWhenResized)
{
    ClassroomRow failed = Row("/dev/pts/4", "", 0, 0);
    failed.finished = true;
    failed.resultWord = Message::Raw("failed");
    failed.reason = Message::Raw("the calculator\xE2\x80\x99s identity: it did not answer");
    TerminalSize size{24, 0};
    int& columns = size.columns;
    StopRequests stops;
    std::ostringstream out;
    std::ostringstream screen;
    CTerminalSize terminal([&size] { return size; }, &stops);
    CConsoleClassroomView view(out, screen, true, &stops, nullptr, &terminal);
    view.ShowRows({failed}, Message::Raw("Updating 1 calculator at once"));
    EXPECT_EQ(screen.str(), "\r\x1b[KUpdating 1 calculator\n"
                            "\r\x1b[Kat once\n"
                            "\r\x1b[K/dev/pts/4  failed:\xE2\x80\xA6\n\x1b[J");
    screen.str("");
    columns = 40;   // not read again before the terminal says so
    view.ShowRows({failed}, Message::Raw("Updating 1 calculator at once"));
    EXPECT_EQ(screen.str(), "\x1b[3A\r\x1b[KUpdating 1 calculator\n"
                            "\r\x1b[Kat once\n"
                            "\r\x1b[K/dev/pts/4  failed:\xE2\x80\xA6\n\x1b[J");
    screen.str("");
    stops.resized = 1;
    view.ShowRows({failed}, Message::Raw("Updating 1 calculator at once"));
    EXPECT_EQ(screen.str(), "\x1b[3A\r\x1b[KUpdating 1 calculator at once\n"
                            "\r\x1b[K/dev/pts/4  failed: the calculator\xE2\x80\x99s\xE2\x80\xA6\n\x1b[J");
    EXPECT_EQ(stops.resized, 0);

    // A set taller than the terminal: the drawing keeps to its height (the
    // heading, the rows that fit, a line for the rest, the cursor's line);
    // updated rows give way first, so that running and failed ones stay.
    std::vector<ClassroomRow> set;
    for (int i = 0; i < 12; ++i) {
        ClassroomRow row = Row(("/dev/pts/" + std::to_string(10 + i)).c_str(), "Updating...", 3, 69);
        if (i % 3 == 0) {
            row.finished = true;
            row.result = Success;
            row.resultWord = Message::Raw("updated");
        }
        set.push_back(row);
    }
    set[1] = failed;
    size = {40, 8};
    stops.resized = 1;
    for (int drawing = 0; drawing < 2; ++drawing) {
        screen.str("");
        view.ShowRows(set, Message::Raw("Updating 12 calculators at once"));
        const std::string drawn = screen.str();
        EXPECT_EQ(std::count(drawn.begin(), drawn.end(), '\n'), 7) << drawn;
        EXPECT_NE(drawn.find("/dev/pts/4  failed"), std::string::npos) << drawn;
        EXPECT_EQ(drawn.find("updated"), std::string::npos) << drawn;
        EXPECT_NE(drawn.find("\r\x1b[K7 more calculators are not shown\n"), std::string::npos) << drawn;
    }
    EXPECT_EQ(screen.str().rfind("\x1b[7A", 0), 0u);   // back up exactly what was drawn
}

TEST(ConsoleClassroomRows, CtrlCAsksToStopAndSigtermEnds)
{
    std::ostringstream out;
    StopRequests stops;
    CConsoleClassroomView view(out, out, false, &stops);
    EXPECT_EQ(view.Serve(0), ClassroomRequest::None);
    stops.interrupt = 1;
    EXPECT_EQ(view.Serve(0), ClassroomRequest::Stop);
    EXPECT_EQ(view.Serve(0), ClassroomRequest::None);   // asked once per Ctrl+C
    stops.terminate = 1;
    EXPECT_EQ(view.Serve(0), ClassroomRequest::Terminate);
}

// A line typed while a row offers the next calculator on its port asks for
// it; while none offers, lines are left for the boxes. On a terminal a
// heading of several lines is redrawn whole, then its rows.
TEST(ConsoleClassroomRows, EnterAsksForTheNextCalculatorOnlyWhileARowOffersIt)
{
    std::istringstream typed("\nok\n");
    CStreamInput input(typed);
    std::ostringstream out;
    std::ostringstream screen;
    CConsoleClassroomView view(out, screen, true, nullptr, &input);
    ClassroomRow done = Row("/dev/ttyS0", "Updating...", 69, 69);
    done.finished = true;
    done.resultWord = Message::Raw("updated");
    view.ShowRows({done}, Message::Raw("Station"));
    EXPECT_EQ(view.Serve(0), ClassroomRequest::None);
    done.offersNext = true;
    view.ShowRows({done}, Message::Raw("Station\nPress Enter"));
    EXPECT_EQ(view.Serve(0), ClassroomRequest::Next);
    view.ShowRows({done}, Message::Raw("Station\nPress Enter"));
    // Back over the drawing and the line the typed Enter moved down.
    EXPECT_EQ(screen.str().substr(screen.str().rfind("\x1b[4A")),
              "\x1b[4A\r\x1b[KStation\n\r\x1b[KPress Enter\n\r\x1b[K/dev/ttyS0  updated\n\x1b[J");
    EXPECT_EQ(view.Serve(0), ClassroomRequest::Next);   // "ok": any line
    EXPECT_EQ(view.Serve(0), ClassroomRequest::None);   // the end of input asks nothing
    EXPECT_EQ(view.Serve(0), ClassroomRequest::None);
}

// A silent row says for how long and that its number typed stops it; on a
// terminal, Ctrl+C leaves the rows above, so the question the loop asks
// then is never drawn over and the rows come again below its answer.
TEST(ConsoleClassroomRows, ASilentRowsNumberStopsItAndCtrlCsQuestionIsNeverDrawnOver)
{
    std::istringstream typed("7\n 2 \n");
    CStreamInput input(typed);
    StopRequests stops;
    std::ostringstream screen;
    CConsoleClassroomView view(screen, screen, true, &stops, &input);
    ClassroomRow other = Row("/dev/pts/3", "Updating...", 30, 69);
    other.number = 1;
    ClassroomRow silent = Row("/dev/pts/4", "Updating...", 20, 69);
    silent.number = 2;
    silent.silent = true;
    silent.silentMs = 12400;
    const Message heading = Message::Raw("Updating 2 calculators at once");
    view.ShowRows({other, silent}, heading);
    // The row says for how long; how to stop it is said whole under the rows.
    EXPECT_NE(screen.str().find(" 20/69 (not answering for 12 s)\n"), std::string::npos) << screen.str();
    EXPECT_NE(screen.str().find("\x1b[KType 2 and Enter to stop /dev/pts/4, which is not answering.\n"), std::string::npos)
        << screen.str();
    EXPECT_EQ(view.Serve(0), ClassroomRequest::None);   // no silent row 7
    EXPECT_EQ(view.Serve(0), ClassroomRequest::StopRow);
    EXPECT_EQ(view.StopNumber(), 2u);

    view.ShowRows({other, silent}, heading);
    screen << "^C";   // the terminal's echo of Ctrl+C
    stops.interrupt = 1;
    EXPECT_EQ(view.Serve(0), ClassroomRequest::Stop);
    screen << "== Warning ==\nDo you want to stop them?\nOK [Cancel]\nok\n";
    view.ShowRows({other, silent}, heading);
    const std::vector<std::string> shown = FollowTerminal(screen.str(), 200, 40).transcript;
    const auto question = std::find(shown.begin(), shown.end(), "== Warning ==");
    ASSERT_NE(question, shown.end()) << screen.str();
    EXPECT_EQ(question[3], "ok");
    EXPECT_EQ(question[4], "Updating 2 calculators at once");   // the rows again, below the answer
    EXPECT_EQ(question[5].rfind("/dev/pts/3  Updating...", 0), 0u);
}

// --json: at most one progress line per 250 ms for a calculator, each
// calculator on its own; nothing unchanged is written, and the state held
// back is written before the next phase or when asked.
TEST(JsonEvents, ProgressIsThrottledPerCalculatorAndItsLastStateIsNeverLost)
{
    std::ostringstream out;
    CJsonEvents events(out);
    const auto at = [](int ms) { return CJsonEvents::Clock::time_point{} + std::chrono::milliseconds(3600000 + ms); };
    events.Progress("a", 0, 10, at(0));
    events.Progress("a", 1, 10, at(100));
    events.Progress("b", 0, 5, at(120));
    events.Progress("a", 2, 10, at(249));
    events.Progress("a", 3, 10, at(250));
    events.Progress("a", 3, 10, at(600));
    events.Progress("a", 4, 10, at(610));
    events.Progress("a", 5, 10, at(700));
    events.Phase("a", "Updating...");
    events.Progress("a", 0, 69, at(710));
    events.Progress("b", 1, 5, at(720));
    events.FlushProgress("a");
    events.FlushProgress("b");
    const std::regex progress(
        R"re(\{"schema_version": 1, "event": "progress", "device": "(\w)", "done": (\d+), "total": (\d+)\})re");
    const std::regex phase(R"re(\{"schema_version": 1, "event": "phase", "device": "a", "phase": "Updating..."\})re");
    std::string seen;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        seen += std::regex_match(line, m, progress) ? m.str(1) + " " + m.str(2) + "/" + m.str(3) + ", "
                : std::regex_match(line, phase)     ? std::string("phase, ")
                                                    : "? " + line + ", ";
    }
    EXPECT_EQ(seen, "a 0/10, b 0/5, a 3/10, a 4/10, a 5/10, phase, a 0/69, b 1/5, ");
}

// A prompt says who answered it: a line of input, or nobody once the
// program is being ended (the box takes its Escape answer unasked).
TEST(JsonEvents, APromptSkippedWhileTheProgramEndsIsAnsweredByStop)
{
    Console console("ok\n");
    std::ostringstream out;
    CJsonEvents events(out);
    CJsonFrontEnd json(console.frontEnd, events, AnswerSource::Input);
    EXPECT_EQ(json.MessageBox(Message::Raw("Continue?"), Message::Raw("Warning"), kWarningStyle), IDOK);
    console.stops.terminate = 1;
    EXPECT_EQ(json.MessageBox(Message::Raw("Continue?"), Message::Raw("Warning"), kWarningStyle), IDCANCEL);
    const std::string said = out.str();
    const size_t second = said.find('\n') + 1;
    EXPECT_NE(said.find("\"answer\": \"ok\", \"answered_by\": \"input\""), std::string::npos) << said;
    EXPECT_NE(said.find("\"answer\": \"cancel\", \"answered_by\": \"stop\"", second), std::string::npos) << said;
}
