// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/stored_message.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "i18n/catalogue.h"
#include "i18n/json_cursor.h"
#include "i18n/json_text.h"
#include "i18n/message.h"
#include "i18n/text_format.h"

namespace {

constexpr size_t kOutsideTextBytes = 1000;

// ---- Writing -------------------------------------------------------------

void AppendString(std::string& out, std::string_view text)
{
    AppendJsonString(out, text);
}

// At most kOutsideTextBytes of `text`, not cutting a character in two.
std::string_view Capped(std::string_view text)
{
    if (text.size() <= kOutsideTextBytes) {
        return text;
    }
    size_t end = kOutsideTextBytes;
    while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

bool Write(std::string& out, const Message& message, int depth)
{
    if (depth > kStoredMessageDepth || out.size() > kStoredMessageBytes) {
        return false;
    }
    if (message.Pattern() == nullptr) {
        AppendString(out, Capped(message.RawText()));
        return true;
    }
    out += "{\"m\": ";
    AppendString(out, message.Pattern());
    if (message.Plural() != nullptr) {
        out += ", \"p\": ";
        AppendString(out, message.Plural());
        out += ", \"n\": " + std::to_string(message.CountValue());
    }
    out += ", \"a\": [";
    bool first = true;
    for (const MessageArg& arg : message.Args()) {
        out += first ? "" : ", ";
        first = false;
        if (arg.Nested() != nullptr) {
            if (!Write(out, *arg.Nested(), depth + 1)) {
                return false;
            }
        } else {
            AppendString(out, Capped(arg.Raw()));
        }
    }
    out += "]}";
    return true;
}

// ---- Reading -------------------------------------------------------------

struct Node {
    enum Kind { Text, Ours, Word } kind = Text;
    std::string text;     // the outside text, the word or the English pattern
    std::string plural;   // with a count: its plural pattern
    bool counted = false;
    unsigned long count = 0;
    std::vector<Node> args;
};

// Spaces and tabs may stand between the pieces of a stored form.
class CStoredReader : private CJsonCursor {
public:
    explicit CStoredReader(std::string_view text) : CJsonCursor(text, " \t") {}

    bool Whole(Node& node) { return Value(node, 0) && AtEnd(); }

private:
    bool Count(unsigned long& count)
    {
        Space();
        const size_t start = m_at;
        count = 0;
        while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9' && m_at - start < 9) {
            count = count * 10 + static_cast<unsigned long>(m_text[m_at++] - '0');
        }
        return m_at > start;
    }
    bool Arguments(Node& node, int depth)
    {
        if (!Take('[')) {
            return false;
        }
        if (Take(']')) {
            return true;
        }
        do {
            if (node.args.size() == Message::kMaxArguments) {
                return false;
            }
            node.args.emplace_back();
            if (!Value(node.args.back(), depth + 1)) {
                return false;
            }
        } while (Take(','));
        return Take(']');
    }
    bool Member(Node& node, int depth)
    {
        std::string name;
        if (!String(name) || !Take(':')) {
            return false;
        }
        if (name == "m" || name == "w") {
            node.kind = name == "m" ? Node::Ours : Node::Word;
            return String(node.text);
        }
        if (name == "p") {
            return String(node.plural);
        }
        if (name == "n") {
            node.counted = true;
            return Count(node.count);
        }
        return name == "a" && Arguments(node, depth);
    }
    bool Value(Node& node, int depth)
    {
        if (depth > kStoredMessageDepth) {
            return false;
        }
        if (Peek('"')) {
            node.kind = Node::Text;
            return String(node.text);
        }
        if (!Take('{')) {
            return false;
        }
        node.kind = Node::Text;   // an object without "m" or "w" is refused below
        do {
            if (!Member(node, depth)) {
                return false;
            }
        } while (Take(','));
        return Take('}') && node.kind != Node::Text && node.counted == !node.plural.empty();
    }
};

// ---- Rendering -----------------------------------------------------------

// Whether `args` are what the pattern's directives stand for: as many as
// its highest argument, a number wherever it says %d.
bool ArgumentsFit(std::string_view pattern, const std::vector<Node>& args)
{
    int next = 1;
    size_t highest = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            continue;
        }
        const TextDirective d = ReadDirective(pattern, i, next);
        const auto index = static_cast<size_t>(d.argument);
        if (d.argument > 0 && (index > args.size() ||
                               (d.digits && (args[index - 1].kind != Node::Text || args[index - 1].text.empty() ||
                                             args[index - 1].text.find_first_not_of("0123456789") !=
                                                 std::string::npos)))) {
            return false;
        }
        highest = std::max(highest, index);
        i += d.length > 0 ? d.length - 1 : 0;
    }
    return highest == args.size();
}

std::optional<std::string> Render(const Node& node, const MoCatalogue& catalogue)
{
    if (node.kind == Node::Text) {
        return node.text;
    }
    const MoCatalogue::Entry* entry = catalogue.Find(node.text);
    if (node.kind == Node::Word) {
        return entry != nullptr && entry->plural.empty() ? std::string(MoCatalogue::Form(*entry, 0)) : node.text;
    }
    if (entry == nullptr || entry->plural != node.plural || !ArgumentsFit(node.text, node.args) ||
        (node.counted && !ArgumentsFit(node.plural, node.args))) {
        return std::nullopt;
    }
    std::string args[Message::kMaxArguments];
    for (size_t i = 0; i < node.args.size(); ++i) {
        std::optional<std::string> arg = Render(node.args[i], catalogue);
        if (!arg) {
            return std::nullopt;
        }
        args[i] = std::move(*arg);
    }
    const std::string_view form = node.counted ? catalogue.ForCount(*entry, node.count) : MoCatalogue::Form(*entry, 0);
    return FormatText(form, {args[0], args[1], args[2], args[3], args[4], args[5], args[6], args[7], args[8]});
}

}  // namespace

std::optional<std::string> StoreMessage(const Message& message)
{
    std::string out;
    if (message.Empty() || !Write(out, message, 0) || out.size() > kStoredMessageBytes) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::string> RenderStoredMessage(std::string_view stored, const MoCatalogue* catalogue)
{
    Node node;
    if (catalogue == nullptr || stored.size() > kStoredMessageBytes || !CStoredReader(stored).Whole(node)) {
        return std::nullopt;
    }
    return Render(node, *catalogue);
}
