// SPDX-License-Identifier: GPL-3.0-or-later
// The fingerprint through the system's CNG (bcrypt.dll).
#include <windows.h>

#include <bcrypt.h>

#include "update/sha256.h"

struct CSha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool good = false;

    State()
    {
        good = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
               BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    }
    ~State()
    {
        if (hash != nullptr) {
            BCryptDestroyHash(hash);
        }
        if (algorithm != nullptr) {
            BCryptCloseAlgorithmProvider(algorithm, 0);
        }
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
};

CSha256::CSha256() : m_state(std::make_unique<State>()) {}

CSha256::~CSha256() = default;

void CSha256::Update(const uint8_t* data, size_t length)
{
    // BCryptHashData takes a 32-bit length: larger pieces go in parts.
    while (m_state->good && length > 0) {
        const ULONG part = length > 0x40000000u ? 0x40000000u : static_cast<ULONG>(length);
        m_state->good = BCRYPT_SUCCESS(BCryptHashData(m_state->hash, const_cast<PUCHAR>(data), part, 0));
        data += part;
        length -= part;
    }
}

std::string CSha256::HexDigest()
{
    UCHAR digest[32];
    if (!m_state->good || !BCRYPT_SUCCESS(BCryptFinishHash(m_state->hash, digest, sizeof digest, 0))) {
        m_state->good = false;
        return {};
    }
    m_state->good = false;   // spent
    return HexOfDigest(digest);
}
