// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows window of many calculators, under wine: it grows to its rows,
// a finished row's reason wraps under its result, the summary goes under
// the rows, a set taller than the screen scrolls; its Close, the main
// window's Escape, a row's Next and Ctrl+Break are requests to the update
// loop, "History..." shows the runs kept, and closing the rows takes the
// windows away.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "i18n/catalogue.h"
#include "shell/classroom.h"
#include "ui/win32/win32_front_end.h"

#include <windows.h>

namespace {

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

    // The summary under the rows; the window grows for it.
    const int before = WindowHeight(view.Window());
    view.ShowSummary({Message::Raw("updated \\\\.\\COM4"), Message::Raw("failed \\\\.\\COM5 " + longReason)});
    EXPECT_GT(ContentHeight(view.Window()), wrapped + 2 * line);
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

    // Close asks; the window stays until the loop decides.
    PostMessageW(view.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(view.Serve(20), ClassroomRequest::Stop);
    EXPECT_NE(view.Window(), nullptr);
    EXPECT_EQ(view.Serve(20), ClassroomRequest::None);

    // Escape in the main window while the rows are shown.
    frontEnd.NoteCloseRequest();
    EXPECT_EQ(view.Serve(20), ClassroomRequest::Stop);

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
    char table[1024] = {};
    GetWindowTextA(GetWindow(historyWindow, GW_CHILD), table, sizeof table);
    EXPECT_NE(std::string(table).find(R"(updated  \\.\COM5)"), std::string::npos) << table;
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

// In the user's language: the heading, a row's phase and result, the
// buttons and the counts; the rows of the update loop stay English.
TEST_F(Win32Classroom, RowsAreShownInTheUsersLanguage)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::filesystem::path mo =
        std::filesystem::path(self).parent_path() / "locale" / "de" / "LC_MESSAGES" / "zentrix-update.mo";
    const std::optional<MoCatalogue> german = MoCatalogue::Load(mo.string());
    ASSERT_TRUE(german.has_value()) << mo.string();
    frontEnd.SetCatalogue(&*german);
    ClassroomRow silent = Running("\\\\.\\COM4");
    silent.silent = true;
    const std::vector<ClassroomRow> rows = {silent, Finished("\\\\.\\COM5", Success, "")};
    view.ShowRows(rows, Message::Count("Updating %d calculator at once", "Updating %d calculators at once", 2,
                                       {std::string("2")}));
    view.ShowSummary({Message("%s %s", {Message(N_("updated")), std::string("\\\\.\\COM5")})});
    const ClassroomContent& shown = view.Content();
    EXPECT_EQ(shown.heading, "2 Rechner werden gleichzeitig aktualisiert");
    EXPECT_EQ(shown.rows[0].phase.Render(shown.texts), "Aktualisierung l\xC3\xA4uft... - antwortet nicht");
    EXPECT_EQ(shown.rows[1].resultWord.Render(shown.texts), "aktualisiert");
    EXPECT_EQ(shown.historyLabel, "Verlauf...");
    EXPECT_EQ(shown.counts, "1 Rechner: 1 aktualisiert, 0 bereits aktuell, 0 nicht unterst\xC3\xBCtzt, 0 fehlgeschlagen.");
    EXPECT_EQ(rows[0].phase.English(), "Updating...");
    view.CloseRows();
    frontEnd.SetCatalogue(nullptr);
}

}  // namespace
