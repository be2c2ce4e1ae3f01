// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows window of many calculators, under wine: it grows to its rows,
// a finished row's reason wraps under its result, at the end the heading
// says what happened and the last question is asked below the rows, a set
// taller than the screen scrolls; its Close, Escape, the main window's
// Escape, a row's Next (Enter: every row's) and Ctrl+Break are requests to
// the update loop, "History..." shows the runs kept, and closing the rows
// takes the windows away. A long stall notice is shown whole. The device
// chooser lists a port that appears after it opened and takes a typed path;
// its rows name a COM port as Windows does, the tooltip gives the whole path
// and the state. The failure box shows a long reason whole above its
// buttons, and stays up after "Save a problem report..." until OK. The
// history window filters by result and text; Name... on a row or in the
// chooser keeps a label and shows it at once.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/win_text.h"
#include "i18n/catalogue.h"
#include "i18n/message.h"
#include "shell/records/history.h"
#include "shell/reports/history_table.h"
#include "shell/session/classroom_view.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/win32_device_chooser.h"
#include "ui/win32/win32_failure_box.h"
#include "ui/win32/win32_front_end.h"
#include "ui/win32/win32_history_window.h"
#include "ui/win32/win32_name_dialog.h"

#include <windows.h>
#include <commctrl.h>

namespace {

// The text of a cell of a table (a list view).
std::string Cell(HWND list, int row, int column)
{
    char text[256] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return std::string(text);
}

ClassroomRow Running(const std::string& device)
{
    ClassroomRow row;
    row.device = device;
    row.phase = Message(N_("Updating..."));
    row.pos = 30;
    row.upper = 69;
    return row;
}

ClassroomRow Finished(const std::string& device, UpdateResult result, const std::string& reason)
{
    ClassroomRow row = Running(device);
    row.finished = true;
    row.result = result;
    row.resultWord = Message(ResultWord(result));
    row.reason = Message::Raw(reason);
    return row;
}

// The height of everything the window shows, scrolled or not.
int ContentHeight(HWND window)
{
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(window, SB_VERT, &info);
    return info.nMax + 1;
}

int WindowHeight(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    return r.bottom - r.top;
}

class Win32Classroom : public ::testing::Test {
protected:
    StopRequests stops;
    CWin32FrontEnd frontEnd{&stops};
    CWin32ClassroomView& view = *static_cast<CWin32ClassroomView*>(frontEnd.Classroom());

    // The content height of `rows` as the window draws them.
    int HeightOf(const std::vector<ClassroomRow>& rows)
    {
        view.ShowRows(rows, Message::Raw("Updating 2 calculators at once"));
        return ContentHeight(view.Window());
    }
};

TEST_F(Win32Classroom, GrowsToItsRowsWrapsReasonsAndScrollsBeyondTheScreen)
{
    const ClassroomRow first = Running("\\\\.\\COM4");
    const int running = HeightOf({first, Running("\\\\.\\COM5")});
    ASSERT_NE(view.Window(), nullptr);
    char title[64] = {};
    GetWindowTextA(view.Window(), title, sizeof title);
    EXPECT_STREQ(title, "Zentrix OS Update - calculators");
    EXPECT_TRUE(IsWindowVisible(view.Window()));

    // A finished row shows its result, then its reason under it, wrapped.
    const int bare = HeightOf({first, Finished("\\\\.\\COM5", Failed, "")});
    const int oneLine = HeightOf({first, Finished("\\\\.\\COM5", Failed, "link lost")});
    std::string longReason;
    while (longReason.size() < 600) {
        longReason += "the link to the calculator was lost; ";
    }
    const int wrapped = HeightOf({first, Finished("\\\\.\\COM5", Failed, longReason)});
    const int line = oneLine - bare;
    EXPECT_GE(bare, running);
    EXPECT_GT(line, 5);
    EXPECT_GE(wrapped, oneLine + 2 * line) << "a long reason wraps over lines of its own";

    // At the end the heading says what happened; the rows keep their
    // results and no list of the same is added under them.
    const int before = WindowHeight(view.Window());
    view.ShowRows({Finished("\\\\.\\COM4", Success, ""), Finished("\\\\.\\COM5", Failed, longReason)},
                  Message::Raw("Updating 2 calculators at once"));
    view.ShowSummary({Message::Raw("updated \\\\.\\COM4"), Message::Raw("failed \\\\.\\COM5 " + longReason)},
                     CountsOf(view.Content().rows));
    EXPECT_EQ(view.Content().heading, "2 calculators: 1 updated, 0 already current, 0 not supported, 1 failed.");
    EXPECT_EQ(view.Content().rows[1].reason.English(), longReason);
    EXPECT_LT(ContentHeight(view.Window()), wrapped + 2 * line);
    EXPECT_GE(WindowHeight(view.Window()), before);

    // More rows than the screen holds: the window stops at the screen and scrolls.
    std::vector<ClassroomRow> many;
    for (int i = 0; i < 120; ++i) {
        many.push_back(Running("\\\\.\\COM" + std::to_string(i + 1)));
    }
    view.ShowRows(many, Message::Raw("Updating 120 calculators at once"));
    RECT room = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &room, 0);
    EXPECT_LE(WindowHeight(view.Window()), room.bottom - room.top);
    RECT client = {};
    GetClientRect(view.Window(), &client);
    EXPECT_GT(ContentHeight(view.Window()), client.bottom);

    HWND window = view.Window();
    view.CloseRows();
    EXPECT_EQ(view.Window(), nullptr);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(Win32Classroom, CloseEscapeNextAndBreakAreTheUpdateLoopsToAnswer)
{
    ClassroomRow offering = Finished("\\\\.\\COM7", Success, "");
    offering.offersNext = true;
    view.ShowRows({Running("\\\\.\\COM6"), offering}, Message::Raw("Station"));
    ASSERT_NE(view.Window(), nullptr);
    EXPECT_EQ(view.Serve(20), ClassroomRequest::None);

    // Close and Escape ask to close (the idle station then asks the user);
    // the window stays until the loop decides. Ctrl+C asks to stop.
    PostMessageW(view.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(view.Serve(20), ClassroomRequest::Close);
    EXPECT_NE(view.Window(), nullptr);
    EXPECT_EQ(view.Serve(20), ClassroomRequest::None);
    PostMessageW(view.Window(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(view.Serve(20), ClassroomRequest::Close);
    PostMessageW(view.Window(), WM_KEYDOWN, VK_RETURN, 0);   // every offering row's Next
    EXPECT_EQ(view.Serve(20), ClassroomRequest::Next);
    EXPECT_EQ(view.NextDevice(), "");
    stops.interrupt = 1;
    EXPECT_EQ(view.Serve(20), ClassroomRequest::Stop);
    EXPECT_EQ(stops.interrupt, 0);

    // Escape in the main window while the rows are shown.
    frontEnd.NoteCloseRequest();
    EXPECT_EQ(view.Serve(20), ClassroomRequest::Close);

    // The offering row's Next, and only there.
    int x = 0;
    int y = 0;
    EXPECT_FALSE(view.NextButtonCentre(0, x, y));
    ASSERT_TRUE(view.NextButtonCentre(1, x, y));
    PostMessageW(view.Window(), WM_LBUTTONUP, 0, MAKELPARAM(x, y - 200));
    EXPECT_EQ(view.Serve(20), ClassroomRequest::None);
    PostMessageW(view.Window(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    EXPECT_EQ(view.Serve(20), ClassroomRequest::Next);
    EXPECT_EQ(view.NextDevice(), "\\\\.\\COM7");

    // A silent row says for how long and shows Stop where an ended row's
    // Next is: it asks to stop that row alone.
    ClassroomRow silent = Running("\\\\.\\COM8");
    silent.number = 3;
    silent.silent = true;
    silent.silentMs = 12400;
    view.ShowRows({Running("\\\\.\\COM6"), offering, silent}, Message::Raw("Station"));
    EXPECT_EQ(view.Serve(20), ClassroomRequest::None);
    EXPECT_EQ(view.Content().rows[2].phase.English(), "Updating... - not answering for 12 s");
    ASSERT_TRUE(view.NextButtonCentre(2, x, y));
    PostMessageW(view.Window(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    EXPECT_EQ(view.Serve(20), ClassroomRequest::StopRow);
    EXPECT_EQ(view.StopNumber(), 3u);

    // The end kept in sight until its Close (Enter) offers no Next any more.
    PostMessageW(view.Window(), WM_KEYDOWN, VK_RETURN, 0);
    view.AwaitClose();
    EXPECT_FALSE(view.NextButtonCentre(1, x, y));
    EXPECT_EQ(view.Serve(20), ClassroomRequest::None);

    // History... opens the runs kept so far beside the rows, and is no request.
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    const std::string history = std::string(temp) + "zentrix-ui-test-history.jsonl";
    {
        std::ofstream file(history, std::ios::binary | std::ios::trunc);
        file << R"({"started": "2026-12-07T21:44:01Z", "device": "\\\\.\\COM5", "result": "updated", "mode": "all"})"
             << '\n';
    }
    view.SetHistoryPath(history);
    ASSERT_TRUE(view.HistoryButtonCentre(x, y));
    PostMessageW(view.Window(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    EXPECT_EQ(view.Serve(20), ClassroomRequest::None);
    HWND historyWindow = FindWindowA(nullptr, "Zentrix OS Update - history");
    ASSERT_NE(historyWindow, nullptr);
    // A table of the runs: the result and the device in their columns, the
    // port by the name the rows give it.
    HWND runs = FindWindowExA(historyWindow, nullptr, "SysListView32", nullptr);
    ASSERT_NE(runs, nullptr);
    EXPECT_EQ(Cell(runs, 0, kRunResult) + " " + Cell(runs, 0, kRunDevice), "updated COM5");
    DeleteFileA(history.c_str());

    // Ctrl+Break ends the runs without asking.
    stops.terminate = 1;
    EXPECT_EQ(view.Serve(20), ClassroomRequest::Terminate);
    stops.terminate = 0;

    // Escape while the last question of a set is open is not asked of the next set.
    frontEnd.NoteCloseRequest();
    view.CloseRows();
    EXPECT_FALSE(IsWindow(historyWindow)) << "the history goes with the rows";
    view.ShowRows({Running("\\\\.\\COM6")}, Message::Raw("Updating 1 calculator at once"));
    EXPECT_EQ(view.Serve(20), ClassroomRequest::None);
    view.CloseRows();
    frontEnd.NoteCloseRequest();   // no rows: the main window's Escape is no request
    EXPECT_FALSE(frontEnd.TakeCloseRequest());
}

// The visible top-level windows of this thread.
int VisibleWindows()
{
    int count = 0;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM counted) {
            *reinterpret_cast<int*>(counted) += IsWindowVisible(window) ? 1 : 0;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

// What the question looked like while it was asked, and the button pressed.
struct Asking {
    CWin32ClassroomView* view = nullptr;
    int press = IDCANCEL;
    std::string question;
    int visibleWindows = 0;
    int buttonY = -1;   // the pressed button's centre, in the content
};
Asking g_asking;

void CALLBACK PressAnswer(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    CWin32ClassroomView& view = *g_asking.view;
    g_asking.question = view.Content().question;
    g_asking.visibleWindows = VisibleWindows();
    int x = 0;
    int y = 0;
    if (view.AnswerButtonCentre(g_asking.press, x, y)) {
        SCROLLINFO info = {};
        info.cbSize = sizeof info;
        info.fMask = SIF_POS;
        GetScrollInfo(view.Window(), SB_VERT, &info);
        g_asking.buttonY = y + info.nPos;
        PostMessageW(view.Window(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }
}

TEST_F(Win32Classroom, AtTheEndTheHeadingCountsAndTheQuestionIsAskedBelowTheRows)
{
    std::vector<ClassroomRow> rows;
    std::vector<Message> lines;
    for (int i = 1; i <= 8; ++i) {
        const std::string device = "\\\\.\\COM" + std::to_string(i);
        rows.push_back(Finished(device, i == 5 ? Failed : Success, i == 5 ? "the link to the calculator was lost" : ""));
        lines.push_back(Message::Raw(std::string(i == 5 ? "failed " : "updated ") + device));
    }
    view.ShowRows(rows, Message::Raw("Updating 8 calculators at once"));
    view.ShowSummary(lines, CountsOf(rows));
    EXPECT_EQ(view.Content().heading, "8 calculators: 7 updated, 0 already current, 0 not supported, 1 failed.");
    EXPECT_EQ(view.Content().rows[4].reason.English(), "the link to the calculator was lost");
    const int rowsHeight = ContentHeight(view.Window());
    const int shownBefore = VisibleWindows();
    int x = 0;
    int y = 0;
    EXPECT_FALSE(view.AnswerButtonCentre(IDOK, x, y));   // nothing asked yet

    // Its OK, Cancel or "the failed again" pressed below the last row, in
    // the window itself: no box on top.
    const Message retry = Message::Raw("Update the 1 that failed again");
    for (const int press : {IDCANCEL, IDOK, IDRETRY}) {
        g_asking = Asking{&view, press, {}, 0, -1};
        SetTimer(nullptr, 0, 50, PressAnswer);
        EXPECT_EQ(view.Ask("Do you want to update another set?", retry), press);
        EXPECT_EQ(g_asking.question, "Do you want to update another set?");
        EXPECT_EQ(g_asking.visibleWindows, shownBefore);
        EXPECT_GT(g_asking.buttonY, rowsHeight - 16) << "the buttons are below the rows";
        EXPECT_TRUE(view.Content().question.empty());
    }
    // Tab and the arrows move the focus along the buttons, Enter presses it.
    const std::pair<std::vector<WPARAM>, int> focusKeys[] = {
        {{VK_TAB}, IDRETRY}, {{VK_TAB, VK_TAB}, IDCANCEL}, {{VK_LEFT}, IDCANCEL}, {{VK_RIGHT, VK_RIGHT, VK_RIGHT}, IDOK}};
    for (const auto& [moves, answer] : focusKeys) {
        for (const WPARAM key : moves) {
            PostMessageW(view.Window(), WM_KEYDOWN, key, 0);
        }
        PostMessageW(view.Window(), WM_KEYDOWN, VK_RETURN, 0);
        EXPECT_EQ(view.Ask("Do you want to update another set?", retry), answer) << moves.size();
    }
    // Enter is OK; Escape, Close and Ctrl+C are Cancel.
    const std::pair<int, int> keys[] = {{VK_RETURN, IDOK}, {VK_ESCAPE, IDCANCEL}, {0, IDCANCEL}};
    for (const auto& [key, answer] : keys) {
        PostMessageW(view.Window(), key != 0 ? WM_KEYDOWN : WM_CLOSE, static_cast<WPARAM>(key), 0);
        EXPECT_EQ(view.Ask("Do you want to update another set?"), answer) << key;
    }
    stops.interrupt = 1;
    EXPECT_EQ(view.Ask("Do you want to update another set?"), IDCANCEL);
    stops.interrupt = 0;
    EXPECT_EQ(view.Serve(20), ClassroomRequest::None) << "an answer is no request of the rows";
    view.CloseRows();
    EXPECT_EQ(view.Ask("Do you want to update another set?"), 0) << "no rows: a box asks";
}

// In the user's language: the heading, a row's phase and result, the
// buttons and the counts; the rows of the update loop stay English.
std::optional<MoCatalogue> German()
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::filesystem::path mo =
        std::filesystem::path(self).parent_path() / "locale" / "de" / "LC_MESSAGES" / "zentrix-update.mo";
    return MoCatalogue::Load(mo.string());
}

TEST_F(Win32Classroom, RowsAreShownInTheUsersLanguage)
{
    const std::optional<MoCatalogue> german = German();
    ASSERT_TRUE(german.has_value());
    frontEnd.SetCatalogue(&*german);
    ClassroomRow silent = Running("\\\\.\\COM4");
    silent.silent = true;
    silent.silentMs = 12000;
    const std::vector<ClassroomRow> rows = {silent, Finished("\\\\.\\COM5", Success, "")};
    view.ShowRows(rows, Message::Count("Updating %d calculator at once", "Updating %d calculators at once", 2,
                                       {std::string("2")}));
    EXPECT_EQ(view.Content().heading, "2 Rechner werden gleichzeitig aktualisiert");
    view.ShowSummary({Message("%s %s", {Message(N_("updated")), std::string("\\\\.\\COM5")})}, CountsOf(rows));
    const ClassroomContent& shown = view.Content();
    EXPECT_EQ(shown.heading, "1 Rechner: 1 aktualisiert, 0 bereits aktuell, 0 nicht unterst\xC3\xBCtzt, 0 fehlgeschlagen.");
    EXPECT_EQ(shown.rows[0].phase.Render(shown.texts), "Aktualisierung l\xC3\xA4uft... - antwortet seit 12 s nicht");
    EXPECT_EQ(shown.rows[1].resultWord.Render(shown.texts), "aktualisiert");
    EXPECT_EQ(shown.historyLabel, "Verlauf...");
    stops.interrupt = 1;   // answered at once: the labels are what was asked
    EXPECT_EQ(view.Ask("Do you want to update another set?"), IDCANCEL);
    stops.interrupt = 0;
    EXPECT_EQ(shown.okLabel, "OK");
    EXPECT_EQ(shown.cancelLabel, "Abbrechen");
    EXPECT_EQ(rows[0].phase.English(), "Updating...");
    view.CloseRows();
    frontEnd.SetCatalogue(nullptr);
}

// A stall notice longer than the window's place for it (German's) is shown
// whole, the Stop button below it and inside the window.
TEST(Win32ProgressWindow, ALongStallNoticeIsShownWholeWithStopBelowIt)
{
    const std::optional<MoCatalogue> german = German();
    ASSERT_TRUE(german.has_value());
    CWin32FrontEnd frontEnd;
    frontEnd.SetCatalogue(&*german);
    frontEnd.OpenProgress("Sending the OS...", 10);
    EXPECT_TRUE(frontEnd.KeepWaiting(ReplyWait{19400, true}));
    HWND window = FindWindowW(nullptr, L"Daten werden gesendet...");   // its title in German too
    ASSERT_NE(window, nullptr);
    HWND notice = GetDlgItem(window, IDC_NOTICE_TEXT);
    HWND stop = GetDlgItem(window, IDC_STOP);
    EXPECT_TRUE(IsWindowVisible(notice));
    EXPECT_TRUE(IsWindowVisible(stop));
    RECT text = {};
    RECT button = {};
    RECT client = {};
    GetWindowRect(notice, &text);
    GetWindowRect(stop, &button);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&text), 2);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&button), 2);
    GetClientRect(window, &client);

    wchar_t words[1024] = {};
    GetWindowTextW(notice, words, 1024);
    EXPECT_NE(std::wstring(words).find(L"Empfangsmodus"), std::wstring::npos);
    HDC dc = GetDC(notice);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(notice, WM_GETFONT, 0, 0)));
    RECT need = {0, 0, text.right - text.left, 0};
    DrawTextW(dc, words, -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(notice, dc);
    EXPECT_GE(text.bottom - text.top, need.bottom) << "every line of the notice";
    EXPECT_GE(button.top, text.bottom);
    EXPECT_GE(client.bottom, button.bottom);

    EXPECT_TRUE(frontEnd.KeepWaiting(ReplyWait{100, false}));   // it answered again: the notice goes
    EXPECT_FALSE(IsWindowVisible(stop));
    frontEnd.CloseProgress();
    frontEnd.SetCatalogue(nullptr);
}

// The chooser (in German), driven from a timer while it runs modally: what it showed
// at each step, and the ports its lister finds.
struct ChooserDrive {
    std::vector<std::string> ports;
    int step = 0;
    ULONGLONG waitedSince = 0;
    LRESULT rowsAtFirst = -1;
    BOOL okAtFirst = TRUE;
    BOOL refreshShown = FALSE;
    BOOL nameShown = TRUE;
    LRESULT rowsAfterArrival = -1;
    LRESULT pickedAfterArrival = -1;
    LRESULT rowsAfterRefresh = -1;
    LRESULT pickedAfterRefresh = -1;
    bool pathLabelFits = false;
};
ChooserDrive g_drive;

LRESULT Rows(HWND dialog)
{
    return SendDlgItemMessageW(dialog, IDC_CHOOSER_LIST, LB_GETCOUNT, 0, 0);
}

// The path's label shows its words on one line, left of the field.
bool PathLabelFits(HWND dialog)
{
    HWND label = GetDlgItem(dialog, IDC_CHOOSER_PATH_LABEL);
    RECT l = {};
    RECT f = {};
    GetWindowRect(label, &l);
    GetWindowRect(GetDlgItem(dialog, IDC_CHOOSER_PATH), &f);
    wchar_t words[256] = {};
    const int length = GetWindowTextW(label, words, 256);
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32W(dc, words, length, &size);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    return length > 0 && l.right - l.left >= size.cx && f.left >= l.right;
}

void CALLBACK DriveChooser(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = FindWindowW(nullptr, L"Rechner ausw\u00e4hlen");
    if (dialog == nullptr || !IsWindowVisible(dialog)) {
        return;   // a modal dialog is shown once its loop is idle
    }
    if (g_drive.step == 0) {
        // Open with nothing: no row, no OK; then a port appears.
        g_drive.pathLabelFits = PathLabelFits(dialog);
        g_drive.rowsAtFirst = Rows(dialog);
        g_drive.okAtFirst = IsWindowEnabled(GetDlgItem(dialog, IDOK));
        g_drive.refreshShown = IsWindowVisible(GetDlgItem(dialog, IDC_CHOOSER_REFRESH));
        g_drive.nameShown = IsWindowVisible(GetDlgItem(dialog, IDC_CHOOSER_NAME));
        g_drive.ports.push_back("\\\\.\\COM7");
        g_drive.waitedSince = GetTickCount64();
        g_drive.step = 1;
    } else if (g_drive.step == 1 && Rows(dialog) == 0 && GetTickCount64() - g_drive.waitedSince < 8000) {
        return;   // listed without Refresh, in a while
    } else if (g_drive.step == 1) {
        g_drive.rowsAfterArrival = Rows(dialog);
        g_drive.pickedAfterArrival = SendDlgItemMessageW(dialog, IDC_CHOOSER_LIST, LB_GETCURSEL, 0, 0);
        // Another port, and Refresh: the pick is kept; then a path is typed.
        g_drive.ports.insert(g_drive.ports.begin(), "\\\\.\\COM3");
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_CHOOSER_REFRESH, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_CHOOSER_REFRESH)));
        g_drive.rowsAfterRefresh = Rows(dialog);
        g_drive.pickedAfterRefresh = SendDlgItemMessageW(dialog, IDC_CHOOSER_LIST, LB_GETCURSEL, 0, 0);
        SetDlgItemTextW(dialog, IDC_CHOOSER_PATH, L"  \\\\.\\COM9 ");
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        KillTimer(nullptr, timer);
        g_drive.step = 2;
    }
}

TEST(Win32DeviceChooser, ListsAPortThatAppearsAfterItOpenedAndTakesATypedPath)
{
    g_drive = ChooserDrive{};
    const CandidateLister lister = [] {
        std::vector<ListedDevice> found;
        for (const std::string& path : g_drive.ports) {
            ListedDevice port;
            port.path = path;
            port.mayOpen = true;
            found.push_back(port);
        }
        return found;
    };
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, DriveChooser);
    DeviceChooserResult result;
    const std::optional<MoCatalogue> german = German();
    ASSERT_TRUE(german.has_value());
    const ChooserAnswer answer = RunWin32DeviceChooser(nullptr, {}, false, result, &*german, lister);
    KillTimer(nullptr, timer);

    EXPECT_EQ(g_drive.rowsAtFirst, 0);
    EXPECT_FALSE(g_drive.okAtFirst);
    EXPECT_TRUE(g_drive.refreshShown);
    EXPECT_FALSE(g_drive.nameShown) << "no namer, no Name...";
    EXPECT_TRUE(g_drive.pathLabelFits) << "the German label is longer than the template's place";
    EXPECT_EQ(g_drive.rowsAfterArrival, 1) << "the port that appeared is listed without Refresh";
    EXPECT_EQ(g_drive.pickedAfterArrival, 0) << "and picked, being the only one";
    EXPECT_EQ(g_drive.rowsAfterRefresh, 2);
    EXPECT_EQ(g_drive.pickedAfterRefresh, 1) << "the pick follows its port";
    ASSERT_EQ(answer, ChooserAnswer::Chosen);
    ASSERT_EQ(result.shown.size(), 3u);
    EXPECT_EQ(result.shown[0].path, "\\\\.\\COM3");
    ASSERT_EQ(result.chosen, std::vector<size_t>{2}) << "a typed path is the one calculator";
    EXPECT_EQ(result.shown[2].path, "\\\\.\\COM9");
    EXPECT_FALSE(result.remember);
}

TEST(Win32DeviceChooser, RowsNameThePortAsWindowsDoesAndTheTooltipTheWholePathAndState)
{
    ListedDevice port;
    port.path = "\\\\.\\COM3";
    port.mayOpen = true;
    EXPECT_EQ(ChooserRowText(port), "Serial port - COM3 - you may open it");
    EXPECT_EQ(ChooserRowTip(port), "\\\\.\\COM3\r\nyou may open it");
}

struct FailureBoxDrive {
    int saves = 0;
    bool stayedAfterSave = false;
    bool textAboveButtons = false;
};
FailureBoxDrive g_box;

void CALLBACK DriveFailureBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = FindWindowW(nullptr, L"Fehler");
    if (box == nullptr) {
        return;
    }
    KillTimer(nullptr, timer);
    RECT text = {};
    RECT ok = {};
    GetWindowRect(GetDlgItem(box, IDC_FAILURE_TEXT), &text);
    GetWindowRect(GetDlgItem(box, IDOK), &ok);
    g_box.textAboveButtons = text.bottom <= ok.top && text.bottom - text.top > 100;
    SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDC_SAVE_REPORT, BN_CLICKED), 0);
    g_box.stayedAfterSave = IsWindowVisible(box) != FALSE;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

TEST(Win32FailureBox, ShowsALongReasonWholeAndStaysUpAfterTheReportIsSaved)
{
    g_box = FailureBoxDrive{};
    std::string reason = "Die Aktualisierung ist fehlgeschlagen.\r\n\r\n";
    for (int i = 0; i < 12; ++i) {
        reason += "die Verbindung zum Rechner ist abgerissen; pr\xc3\xbc" "fen Sie das Kabel. ";
    }
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, DriveFailureBox);
    RunWin32FailureBox(nullptr, {reason, "Fehler", "OK", "Problembericht speichern..."},
                       [](HWND__*) { ++g_box.saves; });
    KillTimer(nullptr, timer);

    EXPECT_EQ(g_box.saves, 1);
    EXPECT_TRUE(g_box.stayedAfterSave);
    EXPECT_TRUE(g_box.textAboveButtons) << "the reason is cut or covered by the buttons";
}

}  // namespace

namespace {

// What the screen shows of `window`, as a BMP file `name` in the folder
// ZENTRIX_SHOTS names (as Windows names it); nothing when it names none.
void Shoot(HWND window, const std::string& name)
{
    const char* folder = std::getenv("ZENTRIX_SHOTS");
    RECT r = {};
    if (folder == nullptr || *folder == '\0' || GetClientRect(window, &r) == 0) {
        return;
    }
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ before = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, before);
    BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<char> pixels(static_cast<size_t>((width * 3 + 3) & ~3) * static_cast<size_t>(height));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    const BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info + pixels.size()),
                                   0, 0, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info)};
    std::ofstream out(std::string(folder) + "\\" + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

void Pump(int ms)
{
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    while (GetTickCount() < end) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(10);
    }
}

}  // namespace

// The history window in English and German: the newest run first, a click
// on a heading sorts by its column, and the selected run's reason is whole
// under the table, in the window's language (German from the message the
// record keeps).
TEST(Win32HistoryWindow, ATableSortedByAClickOnAHeadingWithTheReasonWholeBelow)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    const std::string path = std::string(temp) + "zentrix-ui-test-history-table.jsonl";
    const Message lost(N_("%s, block %d of %d: %s"),
                       {Message(N_("the OS image")), std::string("34"), std::string("69"),
                        Message(N_("the link to the calculator was lost (%s); check the cable, then start the "
                                   "update again"),
                                {std::string("Broken pipe")})});
    std::vector<HistoryRecord> records;
    for (const auto& [device, outcome] : {std::pair<const char*, UpdateOutcome>{"usb:1:4", {Success, {}}},
                                          std::pair<const char*, UpdateOutcome>{"usb:2:3", {Failed, lost}}}) {
        UpdateOutcome run = outcome;
        run.facts.device = device;
        run.facts.model = "ZX-84";
        const auto started = std::chrono::system_clock::time_point(std::chrono::seconds(1796630400 + records.size() * 60));
        records.push_back(MakeHistoryRecord(run, started, started + std::chrono::seconds(50), "all", "1.0"));
    }
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        for (const HistoryRecord& record : records) {
            file << FormatHistoryLine(record) << '\n';
        }
    }
    const std::optional<MoCatalogue> german = German();
    ASSERT_TRUE(german);
    for (const MoCatalogue* texts : {static_cast<const MoCatalogue*>(nullptr), &*german}) {
        HWND window = ShowHistoryWindow(nullptr, path, texts);
        ASSERT_NE(window, nullptr);
        HWND runs = FindWindowExA(window, nullptr, "SysListView32", nullptr);
        EXPECT_EQ(Cell(runs, 0, kRunDevice), "usb:2:3");
        NMLISTVIEW click = {};
        click.hdr = {runs, 1, static_cast<UINT>(LVN_COLUMNCLICK)};
        click.iItem = -1;
        click.iSubItem = kRunDevice;
        SendMessageW(window, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&click));
        EXPECT_EQ(Cell(runs, 0, kRunDevice), "usb:1:4");
        LVITEMW select = {};
        select.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        select.state = select.stateMask;
        SendMessageW(runs, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&select));
        wchar_t details[2048] = {};
        GetWindowTextW(GetDlgItem(window, 2), details, 2048);
        EXPECT_NE(std::wstring(details).find(WideText(lost.Render(texts))), std::wstring::npos);
        // The filters above: a text any cell holds (the selected run stays
        // selected), then the result's choices, the words recorded (sorted).
        SetDlgItemTextW(window, 4, L"USB:2");
        EXPECT_EQ(ListView_GetItemCount(runs), 1);
        GetWindowTextW(GetDlgItem(window, 2), details, 2048);
        EXPECT_NE(std::wstring(details).find(WideText(lost.Render(texts))), std::wstring::npos);
        HWND results = GetDlgItem(window, 3);
        EXPECT_EQ(SendMessageW(results, CB_GETCOUNT, 0, 0), 3);
        for (const int choice : {2, 1}) {   // "updated", then "failed"
            SendMessageW(results, CB_SETCURSEL, static_cast<WPARAM>(choice), 0);
            SendMessageW(window, WM_COMMAND, MAKEWPARAM(3, CBN_SELCHANGE), reinterpret_cast<LPARAM>(results));
            EXPECT_EQ(ListView_GetItemCount(runs), choice == 2 ? 0 : 1);
        }
        EXPECT_EQ(Cell(runs, 0, kRunResult), ShownResultWord("failed", texts));
        SendMessageW(runs, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));
        Pump(400);
        Shoot(window, texts == nullptr ? "win32-history-en.bmp" : "win32-history-de.bmp");
        DestroyWindow(window);
    }
    DeleteFileA(path.c_str());
}

// A COM port is shown as the rows show it; "Save as CSV..." and Close are
// there, and Close ends the window.
TEST(Win32HistoryWindow, ShowsPortsAsTheRowsDoAndClosesFromItsOwnButton)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    const std::string path = std::string(temp) + "zentrix-ui-test-history-port.jsonl";
    UpdateOutcome run{Success, {}};
    run.facts.device = "\\\\.\\COM8";
    const auto started = std::chrono::system_clock::time_point(std::chrono::seconds(1796630400));
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << FormatHistoryLine(MakeHistoryRecord(run, started, started, "single", "1.0")) << '\n';
    }
    HWND window = ShowHistoryWindow(nullptr, path, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Cell(FindWindowExA(window, nullptr, "SysListView32", nullptr), 0, kRunDevice), "COM8");
    char label[64] = {};
    GetWindowTextA(GetDlgItem(window, 5), label, sizeof label);
    EXPECT_STREQ(label, "Save as CSV...");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, 5)));
    GetWindowTextA(GetDlgItem(window, 6), label, sizeof label);
    EXPECT_STREQ(label, "Close");
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(6, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, 6)));
    EXPECT_FALSE(IsWindow(window));
    DeleteFileA(path.c_str());
}

namespace {

// Answers the Name dialog once it shows ("Pult 3", a tab, "B"), after its
// screenshot; Refresh and Name... of a chooser are pressed before.
struct NameDrive {
    std::wstring title;
    std::string shot;
    std::string chooserRow;   // the chooser's row once named
};
NameDrive g_name;

void CALLBACK DriveNaming(HWND, UINT, UINT_PTR, DWORD)
{
    HWND chooser = FindWindowW(nullptr, L"Choose the calculator");
    HWND dialog = FindWindowW(nullptr, g_name.title.c_str());
    if (dialog != nullptr && IsWindowVisible(dialog)) {
        SetDlgItemTextW(dialog, IDC_NAME_FIELD, L"Pult 3\tB");
        SetDlgItemTextW(dialog, IDC_TAG_FIELD, L"ZX-0042");   // as a scanner types it
        UpdateWindow(dialog);
        Shoot(dialog, g_name.shot);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    } else if (chooser != nullptr && IsWindowVisible(chooser) && g_name.chooserRow.empty()) {
        SendDlgItemMessageW(chooser, IDC_CHOOSER_LIST, LB_SETCURSEL, 0, 0);
        SendMessageW(chooser, WM_COMMAND, MAKEWPARAM(IDC_CHOOSER_LIST, LBN_SELCHANGE), 0);
        g_name.chooserRow = "-";
        PostMessageW(chooser, WM_COMMAND, MAKEWPARAM(IDC_CHOOSER_NAME, BN_CLICKED), 0);
    } else if (chooser != nullptr && g_name.chooserRow == "-") {
        wchar_t row[256] = {};
        SendDlgItemMessageW(chooser, IDC_CHOOSER_LIST, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(row));
        g_name.chooserRow = Utf8Text(row);
        PostMessageW(chooser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
}

}  // namespace

// Name... on a row whose run has taken its calculator, in English and
// German, and in the chooser: the small dialog asks, the namer keeps the
// label (one line) and the tag under the calculator's stable name, and the row shows it
// at once and after the loop's next rows.
TEST(Win32NameDialog, NameKeepsTheLabelAndTheRowShowsItAtOnce)
{
    const std::optional<MoCatalogue> german = German();
    ASSERT_TRUE(german);
    std::vector<std::string> kept;
    bool refuse = false;
    StopRequests stops;
    CWin32FrontEnd frontEnd{&stops};
    frontEnd.SetCalculatorNamer([&kept, &refuse](const std::string& device, const CalculatorNaming& naming) {
        kept.push_back(device + " = " + naming.label + " / " + naming.assetTag);
        return refuse ? Message::Raw("cannot write the file") : Message();
    });
    auto& view = *static_cast<CWin32ClassroomView*>(frontEnd.Classroom());
    ClassroomRow taken = Running("usb:1:4");
    taken.taken = true;
    taken.usb.serial = "ZX-0042";
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, DriveNaming);
    for (const MoCatalogue* texts : {static_cast<const MoCatalogue*>(nullptr), &*german}) {
        frontEnd.SetCatalogue(texts);
        view.ShowRows({Running("\\\\.\\COM6"), taken}, Message::Raw("Station"));
        view.Serve(20);
        int x = 0;
        int y = 0;
        EXPECT_FALSE(view.NameButtonCentre(0, x, y)) << "its run has not taken a calculator";
        ASSERT_TRUE(view.NameButtonCentre(1, x, y));
        g_name = {WideText(Message(kNameDialogTitle).Render(texts)), texts ? "win32-name-de.bmp" : "win32-name-en.bmp",
                  "done"};
        PostMessageW(view.Window(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        view.Serve(20);
        view.ShowRows({Running("\\\\.\\COM6"), taken}, Message::Raw("Station"));
        EXPECT_EQ(view.Content().rows[1].usb.label, "Pult 3 B");
        view.Serve(50);
        Shoot(view.Window(), texts ? "win32-named-row-de.bmp" : "win32-named-row-en.bmp");
    }
    // A label that cannot be kept is not shown; a box says why.
    refuse = true;
    frontEnd.SetCatalogue(nullptr);
    taken.device = "usb:1:5";
    taken.usb.serial = "ZX-0043";
    view.ShowRows({taken}, Message::Raw("Station"));
    view.Serve(20);
    int x = 0;
    int y = 0;
    ASSERT_TRUE(view.NameButtonCentre(0, x, y));
    g_name = {L"Name this calculator", "", "done"};
    PostMessageW(view.Window(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    view.Serve(20);
    EXPECT_EQ(view.Content().rows[0].usb.label, "");
    view.CloseRows();
    refuse = false;
    ListedDevice port;
    port.path = "\\\\.\\COM3";
    port.mayOpen = true;
    DeviceChooserResult result;
    g_name = {L"Name this calculator", "", ""};
    EXPECT_EQ(frontEnd.ChooseDevices({port}, false, result), ChooserAnswer::Cancelled);
    KillTimer(nullptr, timer);
    EXPECT_EQ(g_name.chooserRow, "Pult 3 B - Serial port - COM3 - you may open it");
    EXPECT_EQ(kept, (std::vector<std::string>{"usb-serial:ZX-0042 = Pult 3\tB / ZX-0042",
                                              "usb-serial:ZX-0042 = Pult 3\tB / ZX-0042",
                                              "usb-serial:ZX-0043 = Pult 3\tB / ZX-0042",
                                              "\\\\.\\COM3 = Pult 3\tB / ZX-0042"}));
}
