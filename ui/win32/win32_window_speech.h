// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a screen reader reads of a window the program paints itself (the
// rows): the system's own object for its client area, given a name and a
// description (dynamic annotation), and told when they bring news.
#include <string>

struct HWND__;
struct IAccPropServices;

class CWindowSpeech {
public:
    CWindowSpeech() = default;
    ~CWindowSpeech();
    CWindowSpeech(const CWindowSpeech&) = delete;
    CWindowSpeech& operator=(const CWindowSpeech&) = delete;

    // The client area of `window` reads as `name` (the heading), then
    // `description` (every row as one text); without the system's
    // annotation service nothing is said, and the window works on.
    void Set(HWND__* window, const std::string& name, const std::string& description);
    // Tells a screen reader that the texts changed: a row's news, the end.
    void Announce() const;
    // Before the window is destroyed.
    void Forget();

private:
    IAccPropServices* m_services = nullptr;
    HWND__* m_window = nullptr;
    bool m_tried = false;
    bool m_comStarted = false;   // this object's CoInitializeEx, to be undone
};
