// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/channel_trace.h"

#include <cstdio>

#include "device/safe_text.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr uint32_t kChunk = 64;   // bytes formatted per piece of a line

}  // namespace

void CChannelTrace::Stop()
{
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

void CChannelTrace::Record(char direction, const uint8_t* bytes, uint32_t length)
{
    if (m_file == nullptr) {
        return;
    }
    PutTimestamp();
    std::fputc(direction, m_file);
    PutHex(bytes, length);
    std::fputs("  ", m_file);
    PutAscii(bytes, length);
    std::fputc('\n', m_file);
    std::fflush(m_file);   // the trace must survive a crash mid-session
}

void CChannelTrace::Note(const char* text)
{
    if (m_file == nullptr) {
        return;
    }
    PutTimestamp();
    std::fprintf(m_file, "# %s\n", SafeLine(text).c_str());   // one line, whatever the text holds
    std::fflush(m_file);
}

void CChannelTrace::PutHex(const uint8_t* bytes, uint32_t length)
{
    char text[kChunk * 3];
    for (uint32_t done = 0; done < length; done += kChunk) {
        const uint32_t piece = length - done < kChunk ? length - done : kChunk;
        for (uint32_t i = 0; i < piece; ++i) {
            const uint8_t byte = bytes[done + i];
            text[i * 3] = ' ';
            text[i * 3 + 1] = kHexDigits[byte >> 4];
            text[i * 3 + 2] = kHexDigits[byte & 0x0F];
        }
        std::fwrite(text, 1, piece * 3, m_file);
    }
}

void CChannelTrace::PutAscii(const uint8_t* bytes, uint32_t length)
{
    char text[kChunk];
    for (uint32_t done = 0; done < length; done += kChunk) {
        const uint32_t piece = length - done < kChunk ? length - done : kChunk;
        for (uint32_t i = 0; i < piece; ++i) {
            const uint8_t byte = bytes[done + i];
            text[i] = (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.';
        }
        std::fwrite(text, 1, piece, m_file);
    }
}
