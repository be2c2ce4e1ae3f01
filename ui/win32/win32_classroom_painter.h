// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the window of many calculators draws its content with GDI: the
// heading and its "History..." button, one row per calculator (device, and
// beside it a Name... button once its run has taken the calculator, where
// naming is offered; phase or result and its wrapped reason; bar; Next
// button) and, while one is asked, the question with its OK and Cancel
// buttons below the rows. One walk over the content both measures and draws
// it, so what is measured is what is drawn.
#include <string>
#include <vector>

#include "shell/session/classroom_view.h"
#include "ui/win32/win32_classroom_content.h"

// After the shell's headers, whose constants windows.h defines as macros.
#include <windows.h>

class CClassroomPainter {
public:
    CClassroomPainter();
    ~CClassroomPainter();
    CClassroomPainter(const CClassroomPainter&) = delete;
    CClassroomPainter& operator=(const CClassroomPainter&) = delete;

    // The content in `width`, its top at `top` (minus the scroll); its
    // height. Drawn only when `draw`.
    int Walk(HDC dc, const ClassroomContent& content, int width, int top, bool draw);

    int line = 16;                   // the normal font's line height; also the margin
    // In the content, left of the margin, by row (empty rects: none): the
    // ended row's Next, or the silent row's Stop in the same place.
    std::vector<RECT> nextButtons;
    std::vector<RECT> nameButtons;   // likewise, the row's Name...
    RECT historyButton = {};         // likewise, beside the heading
    RECT okButton = {};              // likewise, the question's (empty rects: none asked)
    RECT cancelButton = {};
    RECT retryButton = {};           // between them, at the end of a set with failures

private:
    int TextWidth(HDC dc, const std::string& text) const;
    static int Text(HDC dc, HFONT font, const std::string& text, int x, int y, int width, bool draw,
                    COLORREF colour = GetSysColor(COLOR_WINDOWTEXT));
    void Bar(HDC dc, const RECT& r, int pos, int upper) const;
    void Button(HDC dc, const RECT& r, const wchar_t* text, bool focused = false) const;
    int Question(HDC dc, const ClassroomContent& content, int y, int width, int top, bool draw);
    int Row(HDC dc, const ClassroomRow& row, int y, int width, bool anyButton, bool draw,
            const ClassroomContent& content);

    HFONT m_normal = nullptr;
    HFONT m_bold = nullptr;
    HFONT m_heading = nullptr;
    int m_rowButtonWidth = 0;        // a row's Next or Stop, its labels whole
    int m_nameButtonWidth = 0;       // a row's Name..., its label whole; 0 when none is offered
};
