// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/sha256.h"

std::string HexOfDigest(const uint8_t* digest)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(64);
    for (int i = 0; i < 32; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

bool ParseSha256Hex(const std::string& text, std::string& lower)
{
    if (text.size() != 64 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return false;
    }
    lower = text;
    for (char& c : lower) {
        c = static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
    }
    return true;
}
