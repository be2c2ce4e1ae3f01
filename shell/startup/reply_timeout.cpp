// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/startup/reply_timeout.h"

#include <string_view>

#include "device/safe_text.h"
#include "i18n/message.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

}  // namespace

std::optional<uint32_t> ParseSilenceSeconds(std::string_view digits)
{
    while (!digits.empty() && IsBlank(digits.front())) {
        digits.remove_prefix(1);
    }
    while (!digits.empty() && IsBlank(digits.back())) {
        digits.remove_suffix(1);
    }
    if (digits.empty()) {
        return std::nullopt;
    }
    uint32_t seconds = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;   // not a whole number
        }
        // Held at the longest limit, ten times which still fits: however
        // many digits follow, nothing overflows.
        const uint32_t next = seconds * 10 + static_cast<uint32_t>(c - '0');
        seconds = next > kMaxReplyTimeoutSeconds ? kMaxReplyTimeoutSeconds : next;
    }
    return seconds * 1000;
}

ReplyTimeoutSetting ParseReplyTimeout(const char* text)
{
    ReplyTimeoutSetting setting;
    if (text == nullptr || *text == '\0') {
        return setting;
    }
    setting.set = true;
    const std::optional<uint32_t> ms = ParseSilenceSeconds(text);
    if (!ms) {
        // A typo must not lift the limit: the value counts as not set.
        setting.set = false;
        setting.malformed = true;
        setting.warning = Message(N_("ZENTRIX_REPLY_TIMEOUT=%s is not a number of seconds; it is ignored"),
                                  {SafeText(text)});
        setting.refusal = Message(N_("ZENTRIX_REPLY_TIMEOUT=%s is not a number of seconds (a whole number; 0 waits "
                                     "without limit)"),
                                  {SafeText(text)});
        return setting;
    }
    setting.silenceLimitMs = *ms;
    return setting;
}

SilenceLimit ChooseSilenceLimit(const ReplyTimeoutSetting& environment, std::optional<uint32_t> configuredMs,
                                bool unattended)
{
    if (environment.set) {
        return {environment.silenceLimitMs, {}};
    }
    if (configuredMs) {
        return {*configuredMs, Message(N_("the limit set by reply-timeout in the configuration file"))};
    }
    if (unattended) {
        return {kUnattendedSilenceLimitMs,
                Message(N_("the limit of a run nobody watches; reply-timeout = 0 in the configuration file waits "
                           "without limit"))};
    }
    return {};
}
