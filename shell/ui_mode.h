#pragma once
// Which front end the program shows.

enum class UiMode { Gui, Console };

// ZENTRIX_UI=console or =gui decides; otherwise the GUI when a display is
// available (DISPLAY or WAYLAND_DISPLAY set and not empty), else the console.
// Each argument is the variable's value, or null when it is unset. Any other
// value of ZENTRIX_UI than gui, console or empty sets `unknownUi` (when
// given) and the choice is made as if it were unset.
UiMode ChooseUiMode(const char* zentrixUi, const char* display, const char* waylandDisplay,
                    bool* unknownUi = nullptr);
