// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a message box shows in its body. A title bar is about as wide as the
// box's longest line (less its buttons), so a caption longer than that is
// cut there; such a caption is shown again as the body's first line.
#include <string>

// The number of characters (UTF-8 code points) of the longest line of `text`.
size_t LongestLineLength(const std::string& text);

// True when `caption` would not fit in the title bar of a box showing `text`.
bool CaptionWouldBeCut(const std::string& text, const std::string& caption);

// `text`, with `caption` and a blank line before it when the caption would be
// cut (lines end with CR LF); otherwise `text` unchanged.
std::string BoxBody(const std::string& text, const std::string& caption);
