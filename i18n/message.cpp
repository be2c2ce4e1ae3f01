// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/message.h"

#include "i18n/catalogue.h"
#include "i18n/safe_text.h"
#include "i18n/text_format.h"

namespace {

// The form of the pattern the catalogue gives for this message; the English
// one when it has none.
std::string_view PatternFor(const MoCatalogue* catalogue, const char* singular, const char* plural,
                            unsigned long count)
{
    if (catalogue != nullptr) {
        if (const MoCatalogue::Entry* entry = catalogue->Find(singular)) {
            const bool samePlural = plural == nullptr ? entry->plural.empty() : entry->plural == plural;
            const std::string_view form = !samePlural           ? std::string_view()
                                          : plural == nullptr ? MoCatalogue::Form(*entry, 0)
                                                              : catalogue->ForCount(*entry, count);
            if (!form.empty()) {
                return form;
            }
        }
    }
    return plural == nullptr || count == 1 ? singular : plural;
}

}  // namespace

MessageArg::MessageArg(const Message& message) : m_message(std::make_shared<const Message>(message)) {}

MessageArg::MessageArg(std::string raw) : m_raw(std::move(raw)) {}

Message::Message(const char* pattern, std::initializer_list<MessageArg> args) : m_pattern(pattern), m_args(args) {}

Message Message::Count(const char* singular, const char* plural, unsigned long n,
                       std::initializer_list<MessageArg> args)
{
    Message message(singular, args);
    message.m_plural = plural;
    message.m_count = n;
    return message;
}

Message Message::Raw(std::string text)
{
    Message message;
    message.m_raw = std::move(text);
    return message;
}

Message Message::OneLine(Message message)
{
    message.m_oneLine = true;
    return message;
}

std::string Message::English() const
{
    return Render(nullptr);
}

std::string Message::Render(const MoCatalogue* catalogue) const
{
    if (m_pattern == nullptr) {
        return m_oneLine ? SafeLine(m_raw) : m_raw;
    }
    std::string args[Message::kMaxArguments];
    for (size_t i = 0; i < m_args.size() && i < Message::kMaxArguments; ++i) {
        const MessageArg& arg = m_args[i];
        args[i] = arg.Nested() != nullptr ? arg.Nested()->Render(catalogue) : arg.Raw();
    }
    const std::string text = FormatText(PatternFor(catalogue, m_pattern, m_plural, m_count),
                                        {args[0], args[1], args[2], args[3], args[4], args[5], args[6], args[7],
                                         args[8]});
    return m_oneLine ? SafeLine(text) : text;
}

Message SecondsText(unsigned long seconds)
{
    return Message(N_("%d s"), {std::to_string(seconds)});
}

std::vector<std::string> RenderAll(const std::vector<Message>& messages, const MoCatalogue* catalogue)
{
    std::vector<std::string> texts;
    texts.reserve(messages.size());
    for (const Message& message : messages) {
        texts.push_back(message.Render(catalogue));
    }
    return texts;
}
