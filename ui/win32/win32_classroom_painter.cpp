// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/win32/win32_classroom_painter.h"

#include <algorithm>

#include "device/win_text.h"
#include "shell/screen/device_name.h"

namespace {

COLORREF ResultColour(UpdateResult result)
{
    switch (result) {
    case Success:
    case Checked:
        return RGB(0x1a, 0x7f, 0x37);   // green
    case AlreadyCurrent:
    case UnsupportedModel:
        return RGB(0x9a, 0x67, 0x00);   // amber: nothing was written
    default:
        return RGB(0xcf, 0x22, 0x2e);   // red
    }
}

}  // namespace

CClassroomPainter::CClassroomPainter()
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTW font = metrics.lfMessageFont;
    m_normal = CreateFontIndirectW(&font);
    font.lfWeight = FW_BOLD;
    m_bold = CreateFontIndirectW(&font);
    font.lfHeight = font.lfHeight * 5 / 4;
    m_heading = CreateFontIndirectW(&font);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, m_normal);
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    line = tm.tmHeight + tm.tmExternalLeading;
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
}

CClassroomPainter::~CClassroomPainter()
{
    for (HFONT font : {m_normal, m_bold, m_heading}) {
        DeleteObject(font);
    }
}

// Wrapped text in `width` at (x, y); its height. Drawn only when `draw`.
int CClassroomPainter::Text(HDC dc, HFONT font, const std::string& text, int x, int y, int width, bool draw,
                            COLORREF colour)
{
    if (text.empty()) {
        return 0;
    }
    const std::wstring wide = WideText(text);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r = {x, y, x + width, y};
    const UINT format = DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX;
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r, format | DT_CALCRECT);
    if (draw) {
        r.right = x + width;
        SetTextColor(dc, colour);
        DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r, format);
    }
    SelectObject(dc, old);
    return r.bottom - r.top;
}

// How wide `text` is on one line in the normal font.
int CClassroomPainter::TextWidth(HDC dc, const std::string& text) const
{
    const std::wstring wide = WideText(text);
    HGDIOBJ old = SelectObject(dc, m_normal);
    SIZE size = {};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    SelectObject(dc, old);
    return static_cast<int>(size.cx);
}

// A bar of `pos` within `upper`, its percentage in the middle.
void CClassroomPainter::Bar(HDC dc, const RECT& r, int pos, int upper) const
{
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    RECT done = r;
    const long long span = r.right - r.left;
    done.right = r.left + static_cast<int>(upper > 0 ? span * std::clamp(pos, 0, upper) / upper : 0);
    HBRUSH green = CreateSolidBrush(RGB(0x06, 0xb0, 0x25));
    FillRect(dc, &done, green);
    DeleteObject(green);
    FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
    const int percent = upper > 0 ? static_cast<int>(100LL * std::clamp(pos, 0, upper) / upper) : 0;
    const std::wstring label = std::to_wstring(percent) + L" %";
    RECT text = r;
    HGDIOBJ old = SelectObject(dc, m_normal);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    DrawTextW(dc, label.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
}

// A push button's face and its text.
void CClassroomPainter::Button(HDC dc, const RECT& r, const wchar_t* text, bool focused) const
{
    RECT face = r;
    DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH);
    HGDIOBJ old = SelectObject(dc, m_normal);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    DrawTextW(dc, text, -1, &face, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    if (focused) {
        RECT ring = r;
        InflateRect(&ring, -3, -3);
        DrawFocusRect(dc, &ring);
    }
}

// A row shows a button: Next once ended on a port that stays, Stop while
// its calculator is not answering.
static bool HasButton(const ClassroomRow& row)
{
    return row.offersNext || (!row.finished && row.silent);
}

// One row at `y`: its height. Its button is noted in nextButtons.
int CClassroomPainter::Row(HDC dc, const ClassroomRow& row, int y, int width, bool anyButton, bool draw,
                           const ClassroomContent& content)
{
    const MoCatalogue* texts = content.texts;
    const int gap = line / 2 + 4;
    const int barWidth = 10 * line;
    const int nextWidth = anyButton ? m_rowButtonWidth + gap : 0;
    // Name... at the right of the device's column: the right edge stays Next's and Stop's.
    const int nameWidth = m_nameButtonWidth > 0 ? m_nameButtonWidth + gap : 0;
    const int deviceWidth = std::max(8 * line + nameWidth, width * 28 / 100);
    const int statusWidth = std::max(4 * line, width - deviceWidth - barWidth - nextWidth - 3 * gap);
    const int statusX = deviceWidth + gap;
    const int barX = statusX + statusWidth + gap;
    int height =
        Text(dc, m_normal, FriendlyDeviceName(row.device, row.usb).Render(texts), 0, y, deviceWidth - nameWidth, draw);
    int status = 0;
    bool bar = true;
    if (row.finished) {
        // The result where the phase was; a full bar for an update, none otherwise.
        status = Text(dc, m_bold, ResultWithTime(row).Render(texts), statusX, y, statusWidth, draw,
                      ResultColour(row.result));
        status += Text(dc, m_normal, row.reason.Render(texts), statusX, y + status, statusWidth, draw);
        bar = row.result == Success;
    } else {
        // The phase says when the calculator is not answering.
        status = Text(dc, m_normal, row.phase.Render(texts), statusX, y, statusWidth, draw);
    }
    const RECT barRect = {barX, y, barX + barWidth, y + line + 4};
    if (draw && bar) {
        Bar(dc, barRect, row.finished ? 1 : row.pos, row.finished ? 1 : row.upper);
    }
    RECT next = {};
    if (HasButton(row)) {
        next = {barX + barWidth + gap, y, barX + barWidth + gap + nextWidth - gap, y + line + 8};
        if (draw) {
            Button(dc, next, WideText(row.offersNext ? content.nextLabel : content.stopLabel).c_str());
        }
    }
    nextButtons.push_back(next);
    RECT name = {};
    if (nameWidth > 0 && row.taken) {
        name = {deviceWidth - m_nameButtonWidth, y, deviceWidth, y + line + 8};
        if (draw) {
            Button(dc, name, WideText(content.nameLabel).c_str());
        }
    }
    nameButtons.push_back(name);
    height = std::max({height, status, static_cast<int>(barRect.bottom - y), static_cast<int>(next.bottom - y),
                       static_cast<int>(name.bottom - y)});
    return height;
}

// The question at `y`, its OK and Cancel buttons under it at the right; its
// height (0 when none is asked). The buttons are noted where they are in the
// content.
int CClassroomPainter::Question(HDC dc, const ClassroomContent& content, int y, int width, int top, bool draw)
{
    okButton = {};
    cancelButton = {};
    retryButton = {};
    if (content.question.empty()) {
        return 0;
    }
    const int gap = line / 2 + 4;
    const int buttonWidth = 6 * line;
    int height = line / 2;
    height += Text(dc, m_bold, content.question, 0, y + height, width, draw) + gap;
    cancelButton = {width - buttonWidth, y + height, width, y + height + line + 8};
    RECT left = cancelButton;   // the button left of Cancel: Retry, else OK
    if (!content.retryLabel.empty()) {
        // Wide enough for its words ("Update the 2 that failed again").
        const int retryWidth = std::max(buttonWidth, TextWidth(dc, content.retryLabel) + 2 * line);
        retryButton = {cancelButton.left - gap - retryWidth, cancelButton.top, cancelButton.left - gap,
                       cancelButton.bottom};
        left = retryButton;
    }
    okButton = {left.left - gap - buttonWidth, left.top, left.left - gap, left.bottom};
    if (content.cancelLabel.empty()) {
        okButton = cancelButton;   // OK alone, at the right
        cancelButton = {};
    }
    if (draw) {
        Button(dc, okButton, WideText(content.okLabel).c_str(), content.focused == IDOK);
        if (!content.retryLabel.empty()) {
            Button(dc, retryButton, WideText(content.retryLabel).c_str(), content.focused == IDRETRY);
        }
        if (!content.cancelLabel.empty()) {
            Button(dc, cancelButton, WideText(content.cancelLabel).c_str(), content.focused == IDCANCEL);
        }
    }
    OffsetRect(&okButton, 0, -top);
    OffsetRect(&cancelButton, 0, -top);
    OffsetRect(&retryButton, 0, -top);
    return height + line + 8;
}

// The whole content in `width`, its top at `top` (minus the scroll);
// its height. Drawn only when `draw`.
int CClassroomPainter::Walk(HDC dc, const ClassroomContent& content, int width, int top, bool draw)
{
    const int margin = line;
    const int inner = std::max(1, width - 2 * margin);
    SetBkMode(dc, TRANSPARENT);
    SetViewportOrgEx(dc, margin, 0, nullptr);
    nextButtons.clear();
    nameButtons.clear();
    int y = top + margin;
    // "History..." at the heading's right: every calculator updated on this computer.
    const int historyWidth = 6 * line;
    historyButton = {inner - historyWidth, margin, inner, margin + line + 8};
    if (draw) {
        RECT shown = historyButton;
        OffsetRect(&shown, 0, top);
        Button(dc, shown, WideText(content.historyLabel).c_str());
    }
    y += std::max(Text(dc, m_heading, content.heading, 0, y, std::max(1, inner - historyWidth - line), draw),
                  static_cast<int>(historyButton.bottom - margin));
    y += line;
    const bool anyButton = std::any_of(content.rows.begin(), content.rows.end(), HasButton);
    // The rows' buttons are as wide as the wider of Next and Stop needs, in
    // the user's language.
    m_rowButtonWidth = 5 * line - (line / 2 + 4);
    for (const std::string* label : {&content.nextLabel, &content.stopLabel}) {
        m_rowButtonWidth = std::max(m_rowButtonWidth, TextWidth(dc, *label) + line);
    }
    m_nameButtonWidth = 0;
    if (content.offersName && std::any_of(content.rows.begin(), content.rows.end(),
                                          [](const ClassroomRow& row) { return row.taken; })) {
        m_nameButtonWidth = std::max(4 * line, TextWidth(dc, content.nameLabel) + line);
    }
    for (const ClassroomRow& row : content.rows) {
        y += Row(dc, row, y, inner, anyButton, draw, content) + line / 2;
        for (RECT* button : {&nextButtons.back(), &nameButtons.back()}) {
            if (!IsRectEmpty(button)) {
                OffsetRect(button, 0, -top);   // kept where it is in the content
            }
        }
        if (draw) {
            RECT rule = {0, y - line / 4, inner, y - line / 4 + 1};
            FillRect(dc, &rule, GetSysColorBrush(COLOR_BTNFACE));
        }
    }
    y += Question(dc, content, y, inner, top, draw);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    return y + margin - top;
}
