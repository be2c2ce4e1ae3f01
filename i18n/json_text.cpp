// SPDX-License-Identifier: GPL-3.0-or-later
#include "i18n/json_text.h"

#include "i18n/safe_text.h"

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";   // U+FFFD

}  // namespace

void AppendJsonString(std::string& out, std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (size_t at = 0; at < text.size();) {
        char32_t code = 0;
        const size_t length = DecodeUtf8(text.substr(at), code);
        if (length == 0) {
            out += kReplacement;
            ++at;
            continue;
        }
        if (IsControlCharacter(code)) {
            out += {'\\', 'u', kHex[(code >> 12) & 15], kHex[(code >> 8) & 15], kHex[(code >> 4) & 15],
                    kHex[code & 15]};
        } else {
            if (code == '"' || code == '\\') {
                out += '\\';
            }
            out.append(text.substr(at, length));
        }
        at += length;
    }
    out += '"';
}

std::string JsonString(std::string_view text)
{
    std::string out;
    AppendJsonString(out, text);
    return out;
}
