// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A message kept in a file so that it can be shown again later in any
// language: the history keeps each reason this way beside its English text.
//
// The stored form is one JSON value, written without line feeds:
//   "TEXT"                                 outside text, shown as it is
//   {"m": PATTERN, "a": [VALUE, ...]}      a message of ours: its English
//                                          pattern and its arguments
//   {"m": SINGULAR, "p": PLURAL, "n": N, "a": [...]}   one with a count
//   {"w": TEXT}                            a word that may be one of ours,
//                                          looked up whole (only read: earlier
//                                          versions wrote it)
// A file can hold anything, so reading it back trusts nothing: a pattern
// the catalogue does not hold, arguments that do not match their pattern,
// or a value too long, too deep or malformed give no text at all, and the
// caller shows the English text it kept beside it. A stored text is never
// used as a pattern unless the catalogue holds it as one.
#include <optional>
#include <string>
#include <string_view>

class Message;
class MoCatalogue;

// The longest stored form written or read, in bytes, and the deepest
// nesting of messages in it.
inline constexpr size_t kStoredMessageBytes = 4096;
inline constexpr int kStoredMessageDepth = 6;

// `message` in its stored form; nothing when it is empty or its stored form
// would be longer than kStoredMessageBytes (each outside text is cut to
// 1000 bytes first).
std::optional<std::string> StoreMessage(const Message& message);

// The stored message rendered through `catalogue`; nothing when the catalogue
// is null or the stored form is not one it can render faithfully (see above).
std::optional<std::string> RenderStoredMessage(std::string_view stored, const MoCatalogue* catalogue);
