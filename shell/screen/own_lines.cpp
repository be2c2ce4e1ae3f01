// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/screen/own_lines.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "i18n/safe_text.h"
#include "shell/screen/terminal_size.h"
#include "shell/screen/text_columns.h"

namespace {

constexpr std::string_view kName = "zentrix-update: ";
// The text keeps at least this many columns beside the name, however
// narrow the terminal: it then wraps there, rather than a word a line.
constexpr int kNarrowestText = 20;
constexpr int kErrorFd = 2;

// Calls `each` with every line of `text` (its line feeds dropped).
template <typename Each>
void ForEachLine(const std::string& text, Each each)
{
    for (size_t start = 0; start <= text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        each(text.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace

std::string OwnLines(const std::string& text, OwnLineKind kind, int columns)
{
    std::string said = kind == OwnLineKind::Plain ? text : SafeLine(text);
    said.erase(std::remove(said.begin(), said.end(), '\r'), said.end());
    std::string fitted;
    if (columns <= 0) {
        fitted = said;
    } else {
        const int room = std::max(columns - static_cast<int>(kName.size()), kNarrowestText);
        const auto width = static_cast<size_t>(room - 1);   // as WrapAtWords fills a line
        ForEachLine(WrapAtWords(said, room), [&](std::string line) {
            // A word longer than a line (a path, say) goes on at the next one.
            while (TextColumns(line) > width) {
                std::string head = LeadingColumns(line, width);
                line.erase(0, head.size());
                fitted += head + '\n';
            }
            fitted += line + '\n';
        });
        fitted.pop_back();
    }
    std::string lines;
    const std::string indent(kName.size(), ' ');
    bool first = true;
    ForEachLine(fitted, [&](const std::string& line) {
        lines += (first ? std::string(kName) : line.empty() ? std::string() : indent) + line + '\n';
        first = false;
    });
    return lines;
}

COwnLines::COwnLines(std::ostream& err, const MoCatalogue* texts, std::function<int()> columns)
    : m_err(err), m_texts(texts), m_columns(std::move(columns))
{
}

void COwnLines::Say(const Message& text, OwnLineKind kind) const
{
    SayShown(text.Render(m_texts), kind);
}

void COwnLines::SayShown(const std::string& text, OwnLineKind kind) const
{
    m_err << OwnLines(text, kind, m_columns ? m_columns() : 0);
    m_err.flush();
}

int StandardErrorColumns()
{
    return TerminalSizeOf(kErrorFd).columns;
}
