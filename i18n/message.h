// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program means to say, kept as a value until it is shown: the
// English pattern as marked for the catalogue (N_), and its arguments. An
// argument is either another message (a reason inside a row, translated
// with it) or outside text (a file name, a number, a system's error text,
// what the calculator sent), which is never translated. Whoever shows a
// message renders it: in English for the trace, the history and --json, in
// the user's language on a screen.
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/text_format.h"   // N_, which marks a message's pattern

class MoCatalogue;
class Message;

// One argument of a message: a message of ours, or outside text kept as it
// is (escaped, where that is needed, by whoever hands it over).
class MessageArg {
public:
    MessageArg(const Message& message);
    MessageArg(std::string raw);
    MessageArg(std::string_view raw) : MessageArg(std::string(raw)) {}
    // A bare literal is ambiguous (ours or outside?): say Message(N_(...))
    // or std::string(...).
    MessageArg(const char*) = delete;

    const Message* Nested() const { return m_message.get(); }
    const std::string& Raw() const { return m_raw; }

private:
    std::shared_ptr<const Message> m_message;   // null: outside text
    std::string m_raw;
};

class Message {
public:
    // The most arguments a message renders (%1$s .. %9$s); further ones are
    // not shown, and a stored message with more is refused.
    static constexpr size_t kMaxArguments = 9;

    // No message (no reason, no warning).
    Message() = default;
    // A text of ours; `pattern` is a literal marked with N_, kept by address.
    explicit Message(const char* pattern, std::initializer_list<MessageArg> args = {});
    // A text of ours with a count: the catalogue picks the language's form
    // for `n`; English takes `singular` when n is 1.
    static Message Count(const char* singular, const char* plural, unsigned long n,
                         std::initializer_list<MessageArg> args = {});
    // Outside text shown as a message of its own, never translated.
    static Message Raw(std::string text);
    // `message` shown on one line: whatever it renders to is escaped as
    // SafeLine does.
    static Message OneLine(Message message);

    bool Empty() const { return m_pattern == nullptr && m_raw.empty(); }
    // The English pattern; null for outside text and for no message.
    const char* Pattern() const { return m_pattern; }
    // What the message is made of, for keeping it (stored_message.h): the
    // plural pattern and count (null and 0 without a count), the arguments
    // and the outside text.
    const char* Plural() const { return m_plural; }
    unsigned long CountValue() const { return m_count; }
    const std::vector<MessageArg>& Args() const { return m_args; }
    const std::string& RawText() const { return m_raw; }

    // The English text, byte for byte what FormatText makes of the pattern.
    std::string English() const;
    // The text in the catalogue's language: the pattern's translation (or
    // the English pattern, when the catalogue has none), filled in with the
    // arguments, messages rendered the same way and outside text as it is.
    // A null catalogue gives English().
    std::string Render(const MoCatalogue* catalogue) const;

    bool operator==(const Message& other) const { return English() == other.English(); }

private:
    const char* m_pattern = nullptr;
    const char* m_plural = nullptr;   // set: a text with a count
    unsigned long m_count = 0;
    bool m_oneLine = false;
    std::string m_raw;   // outside text, when there is no pattern
    std::vector<MessageArg> m_args;
};

// A span of whole seconds, "12 s" in English.
Message SecondsText(unsigned long seconds);

// The messages rendered in the catalogue's language, one per entry.
std::vector<std::string> RenderAll(const std::vector<Message>& messages, const MoCatalogue* catalogue);
