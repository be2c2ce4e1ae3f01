// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/reply_timeout.h"

#include <string_view>

#include "device/safe_text.h"
#include "i18n/message.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

}  // namespace

ReplyTimeoutSetting ParseReplyTimeout(const char* text)
{
    ReplyTimeoutSetting setting;
    if (text == nullptr || *text == '\0') {
        return setting;
    }
    std::string_view digits = text;
    while (!digits.empty() && IsBlank(digits.front())) {
        digits.remove_prefix(1);
    }
    while (!digits.empty() && IsBlank(digits.back())) {
        digits.remove_suffix(1);
    }
    uint32_t seconds = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            digits = {};   // not a whole number
            break;
        }
        // Held at the longest limit, ten times which still fits: however
        // many digits follow, nothing overflows.
        const uint32_t next = seconds * 10 + static_cast<uint32_t>(c - '0');
        seconds = next > kMaxReplyTimeoutSeconds ? kMaxReplyTimeoutSeconds : next;
    }
    if (digits.empty()) {
        setting.warning = Message(N_("ZENTRIX_REPLY_TIMEOUT=%s is not a number of seconds; waiting without limit"),
                                  {SafeText(text)});
        return setting;
    }
    setting.silenceLimitMs = seconds * 1000;
    return setting;
}
