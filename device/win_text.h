// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's texts are UTF-8; Windows' wide calls take UTF-16.
#include <string>

// `text` as UTF-16; bytes that are not UTF-8 become U+FFFD.
std::wstring WideText(const std::string& text);

// UTF-16 `text` (as a window gives it) as UTF-8.
std::string Utf8Text(const std::wstring& text);
