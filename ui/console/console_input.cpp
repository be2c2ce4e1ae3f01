// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/console/console_input.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#endif
#include <unistd.h>

#include <cerrno>

namespace {

void Append(std::string& line, char c)
{
    if (line.size() < kMaxAnswerLength) {
        line += c;
    }
}

}  // namespace

InputLine CStreamInput::ReadLine(std::string& line)
{
    line.clear();
    bool any = false;
    for (int c = m_in.get(); c != std::char_traits<char>::eof(); c = m_in.get()) {
        any = true;
        if (c == '\n') {
            return InputLine::Line;
        }
        Append(line, static_cast<char>(c));
    }
    return any ? InputLine::Line : InputLine::End;
}

bool CStreamInput::LineWaiting()
{
    return m_in.rdbuf() == nullptr || m_in.rdbuf()->in_avail() != 0;
}

bool CFdInput::LineWaiting()
{
    if (m_pos < m_length) {
        return true;
    }
#ifdef _WIN32
    // A pipe tells what it holds; a console is not asked (a key press is not
    // yet a line, and a read would wait for it).
    DWORD waiting = 0;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(m_fd));
    return GetFileType(handle) == FILE_TYPE_PIPE && PeekNamedPipe(handle, nullptr, 0, nullptr, &waiting, nullptr) &&
           waiting > 0;
#else
    struct pollfd input = {m_fd, POLLIN, 0};
    return ::poll(&input, 1, 0) > 0;   // data, its end, or an error: a read would not wait
#endif
}

InputLine CFdInput::ReadLine(std::string& line)
{
    line.clear();
    bool any = false;
    for (;;) {
        if (m_pos == m_length) {
            InputLine why = InputLine::End;
            if (!Refill(why)) {
                return why == InputLine::End && any ? InputLine::Line : why;
            }
        }
        const char c = m_buffer[m_pos++];
        any = true;
        if (c == '\n') {
            return InputLine::Line;
        }
        Append(line, c);
    }
}

bool CFdInput::Refill(InputLine& why)
{
    for (;;) {
        const ssize_t n = ::read(m_fd, m_buffer, sizeof m_buffer);
        if (n > 0) {
            m_pos = 0;
            m_length = static_cast<size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR) {
            if (m_stops != nullptr && (m_stops->interrupt != 0 || m_stops->terminate != 0)) {
                why = InputLine::Interrupted;
                return false;
            }
            continue;
        }
        why = InputLine::End;   // the end, or an input that cannot be read (a vanished terminal)
        return false;
    }
}
