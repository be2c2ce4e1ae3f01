// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SHA-256 (FIPS 180-4): the fingerprint of an image, as `sha256sum` gives it.
#include <array>
#include <cstdint>
#include <string>

class CSha256 {
public:
    CSha256();
    void Update(const uint8_t* data, size_t length);
    // The digest as 64 lower-case hex digits; the object is spent after it.
    std::string HexDigest();

private:
    void Compress(const uint8_t* block);

    std::array<uint32_t, 8> m_state;
    std::array<uint8_t, 64> m_block = {};
    size_t m_blockLength = 0;
    uint64_t m_totalBytes = 0;
};

// True when `text` is 64 hex digits (either case); `lower` gets them in
// lower case.
bool ParseSha256Hex(const std::string& text, std::string& lower);
