// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SHA-256: the fingerprint of an image, as `sha256sum` gives it, taken by
// the system's vetted implementation (OpenSSL's libcrypto; on Windows the
// system's CNG).
#include <cstdint>
#include <memory>
#include <string>

class CSha256 {
public:
    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    void Update(const uint8_t* data, size_t length);
    // The digest as 64 lower-case hex digits; the object is spent after it.
    // Empty when the system's digest could not be had (it matches no pin
    // and no recorded fingerprint).
    std::string HexDigest();

private:
    struct State;   // the library's context
    std::unique_ptr<State> m_state;
};

// The 32 bytes of a digest as 64 lower-case hex digits.
std::string HexOfDigest(const uint8_t* digest);

// True when `text` is 64 hex digits (either case); `lower` gets them in
// lower case.
bool ParseSha256Hex(const std::string& text, std::string& lower);
