// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The answers typed at the console's prompts, one line each. A line is cut
// to kMaxAnswerLength characters (the rest of it is read and dropped), so an
// endless line costs no memory.
#include <cstddef>
#include <istream>
#include <string>

#include "shell/startup/stop_requests.h"

inline constexpr size_t kMaxAnswerLength = 4096;

enum class InputLine { Line, End, Interrupted };

class IConsoleInput {
public:
    virtual ~IConsoleInput() = default;
    // Reads the next line without its line feed. A last line without a line
    // feed still counts; End only when nothing at all is left.
    virtual InputLine ReadLine(std::string& line) = 0;
    // True when ReadLine would not wait: input is there, or its end.
    virtual bool LineWaiting() { return false; }
};

// Lines of a stream (tests, scripted answers).
class CStreamInput : public IConsoleInput {
public:
    explicit CStreamInput(std::istream& in) : m_in(in) {}
    InputLine ReadLine(std::string& line) override;
    bool LineWaiting() override;

private:
    std::istream& m_in;
};

// Lines of a descriptor (standard input). A read cut short by a signal for
// which `stops` holds a request gives Interrupted.
class CFdInput : public IConsoleInput {
public:
    CFdInput(int fd, const StopRequests* stops) : m_fd(fd), m_stops(stops) {}
    InputLine ReadLine(std::string& line) override;
    bool LineWaiting() override;

private:
    // Refills the buffer; false at the end of input or on an interrupt.
    bool Refill(InputLine& why);

    int m_fd;
    const StopRequests* m_stops;
    char m_buffer[4096] = {};
    size_t m_pos = 0;
    size_t m_length = 0;
};
