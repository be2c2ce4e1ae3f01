// SPDX-License-Identifier: GPL-3.0-or-later
// Scratch copies, the part every platform shares: seeking, reading ahead, sharing a
// session's copy, closing. Making, sizing and reading the file itself is the
// platform's (scratch_copy_posix.cpp, scratch_copy_win.cpp).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "update/image_files.h"

bool CScratchCopy::Seek(uint64_t offset)
{
    m_aheadPos = 0;
    m_aheadLength = 0;
    m_offset = offset;
    // Both platforms read at a signed 64-bit offset.
    return m_file != kNoFile && offset <= static_cast<uint64_t>(INT64_MAX);
}

bool CScratchCopy::ReadExactly(uint8_t* buffer, uint32_t length)
{
    if (m_file == kNoFile) {
        return false;
    }
    if (!m_ahead) {
        m_ahead = std::make_unique<uint8_t[]>(kReadAhead);
    }
    while (length > 0) {
        if (m_aheadPos == m_aheadLength) {
            const int64_t n = ReadChunk(m_ahead.get(), kReadAhead);
            if (n <= 0) {
                return false;
            }
            m_offset += static_cast<uint64_t>(n);
            m_aheadPos = 0;
            m_aheadLength = static_cast<uint32_t>(n);
        }
        const uint32_t take = std::min(length, m_aheadLength - m_aheadPos);
        std::memcpy(buffer, m_ahead.get() + m_aheadPos, take);
        m_aheadPos += take;
        buffer += take;
        length -= take;
    }
    return true;
}

void CScratchCopy::ShareFrom(const CScratchCopy& session)
{
    Discard();
    m_file = session.m_file;
    m_owner = false;
    m_offset = 0;
}

void CScratchCopy::Discard()
{
    m_aheadPos = 0;
    m_aheadLength = 0;
    m_offset = 0;
    if (m_file != kNoFile && m_owner) {
        CloseFile();
    }
    m_file = kNoFile;
    m_owner = false;
}
