// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own lines on standard error, all written here:
//   zentrix-update: --usb-id 1a2b is not VVVV:PPPP (four hex digits each);
//                   it is ignored
// The program's name comes first; on a terminal the text is broken between
// words to fit its width (the last column left free, as the console's other
// lines do), later lines indented under the text's start. Off a terminal
// (scripts, logs) each line stays whole.
#include <functional>
#include <ostream>
#include <string>

#include "i18n/message.h"

enum class OwnLineKind {
    Plain,     // a note or a usage text: its own line breaks are kept
    Warning,   // something is ignored or not done, and the program goes on
    Error,     // nothing (more) was done: the program ends or the run failed
};

// `text` as the program's own line(s), each ending in a line feed, fitted to
// `columns` (0: no terminal, whole). A warning or an error is one line of
// text (control characters in it escaped, as SafeLine does); a word longer
// than a whole line is cut where the line ends.
std::string OwnLines(const std::string& text, OwnLineKind kind, int columns);

class COwnLines {
public:
    // `columns` (may be empty: no terminal) gives the width of the terminal
    // `err` writes to, asked at each line; `texts` (may be null: English)
    // the catalogue the messages are shown in.
    COwnLines(std::ostream& err, const MoCatalogue* texts, std::function<int()> columns = {});

    void Say(const Message& text, OwnLineKind kind = OwnLineKind::Warning) const;
    // What is shown already in the user's language (a row's name and its
    // warning, the first line of a box).
    void SayShown(const std::string& text, OwnLineKind kind = OwnLineKind::Warning) const;

    const MoCatalogue* Catalogue() const { return m_texts; }

private:
    std::ostream& m_err;
    const MoCatalogue* m_texts;
    std::function<int()> m_columns;
};

// The width of the terminal on standard error; 0 when it is none.
int StandardErrorColumns();
