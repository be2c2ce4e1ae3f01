// SPDX-License-Identifier: GPL-3.0-or-later
// The fingerprint through OpenSSL's libcrypto (EVP).
#include <openssl/evp.h>

#include "update/sha256.h"

struct CSha256::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool good = context != nullptr && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;

    State() = default;
    ~State() { EVP_MD_CTX_free(context); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
};

CSha256::CSha256() : m_state(std::make_unique<State>()) {}

CSha256::~CSha256() = default;

void CSha256::Update(const uint8_t* data, size_t length)
{
    if (m_state->good && length > 0) {
        m_state->good = EVP_DigestUpdate(m_state->context, data, length) == 1;
    }
}

std::string CSha256::HexDigest()
{
    uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!m_state->good || EVP_DigestFinal_ex(m_state->context, digest, &size) != 1 || size != 32) {
        m_state->good = false;
        return {};
    }
    m_state->good = false;   // spent
    return HexOfDigest(digest);
}
