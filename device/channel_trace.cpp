// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/channel_trace.h"

#include <cstdlib>
#include <cstring>

#include "device/safe_text.h"
#include "i18n/text_format.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
// Room for the words around the bytes of a line, kept from the first line on.
constexpr size_t kLineRoom = 4096;

}  // namespace

void CChannelTrace::SetDevice(const char* device)
{
    m_device.clear();
    for (const char* c = device; c != nullptr && *c != '\0'; ++c) {
        const auto byte = static_cast<uint8_t>(*c);
        if (byte <= 0x20 || byte >= 0x7F || byte == '\\') {
            m_device += "\\x";
            m_device += kHexDigits[byte >> 4];
            m_device += kHexDigits[byte & 0x0F];
        } else {
            m_device += *c;
        }
    }
}

void CChannelTrace::Start()
{
    if (m_file != kNoFile) {
        CloseFile();
        m_file = kNoFile;
    }
    m_failure.clear();
    m_writeFailure.clear();
    const char* path = std::getenv("ZENTRIX_TRACE");
    if (path == nullptr || *path == '\0') {
        return;
    }
    OpenFile(path);
    if (m_file != kNoFile) {
        m_line.reserve(kLineRoom);
    }
}

void CChannelTrace::Stop()
{
    if (m_file != kNoFile) {
        CloseFile();
        m_file = kNoFile;
    }
    m_device.clear();
}

void CChannelTrace::BeginLine()
{
    m_line.clear();
    AppendTimestamp();
    if (!m_device.empty()) {
        m_line += m_device;
        m_line += ' ';
    }
}

void CChannelTrace::Record(char direction, const uint8_t* bytes, uint32_t length)
{
    if (m_file == kNoFile) {
        return;
    }
    BeginLine();
    m_line += direction;
    AppendHex(bytes, length);
    m_line += "  ";
    AppendAscii(bytes, length);
    m_line += '\n';
    PutLine();   // at once: the trace must survive a crash mid-session
}

void CChannelTrace::Note(const char* text)
{
    if (m_file == kNoFile) {
        return;
    }
    BeginLine();
    m_line += "# ";
    m_line += SafeLine(text);   // one line, whatever the text holds
    m_line += '\n';
    PutLine();
}

void CChannelTrace::AppendHex(const uint8_t* bytes, uint32_t length)
{
    for (uint32_t i = 0; i < length; ++i) {
        const char text[3] = {' ', kHexDigits[bytes[i] >> 4], kHexDigits[bytes[i] & 0x0F]};
        m_line.append(text, sizeof text);
    }
}

void CChannelTrace::AppendAscii(const uint8_t* bytes, uint32_t length)
{
    for (uint32_t i = 0; i < length; ++i) {
        m_line += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '.';
    }
}

void CChannelTrace::PutLine()
{
    const uint32_t error = WriteLine();
    if (error == 0) {
        return;
    }
    m_writeFailure = FormatText(N_("the trace file cannot be written (%s); the rest of this update is not traced"),
                                {std::strerror(static_cast<int>(error))});
    CloseFile();
    m_file = kNoFile;
}
