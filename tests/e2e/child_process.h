// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Running the programs under test as child processes.
#include <filesystem>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

struct ProcessResult {
    int exitCode = -1;   // -1 when the process did not exit normally
    std::string out;
    std::string err;
    bool killed = false;   // still running after the time allowed: ended with SIGKILL
};

// Runs `argv` with `env` added to the environment, feeds it `input` on
// standard input (then end of input) and collects both output streams.
// With `limitMs` > 0 a process still running after that long is killed: a
// guard against hangs, not a measurement.
// With `errColumns` > 0 standard error is a terminal of that many columns
// (and `lines` lines), and `err` is what that terminal was sent. With
// `outColumns` > 0 standard output is such a terminal too, raw (the bytes
// written arrive as they are, no line feed becomes CR LF).
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env, const std::string& input,
                         int limitMs = 0, int errColumns = 0, int outColumns = 0, int lines = 24);

// A program left running in the background, its standard output readable.
class CBackgroundProcess {
public:
    explicit CBackgroundProcess(const std::vector<std::string>& argv);
    ~CBackgroundProcess();   // ends the process (SIGTERM) if it still runs
    CBackgroundProcess(const CBackgroundProcess&) = delete;
    CBackgroundProcess& operator=(const CBackgroundProcess&) = delete;

    // One line of its output, without the line feed; with `timeoutMs` >= 0
    // empty (and TimedOut() true) when no line came in that time.
    std::string ReadLine(int timeoutMs = -1);
    bool TimedOut() const { return m_timedOut; }
    // Reads lines into `seen` until `done` is true of one; false when nothing
    // came for a minute or the output ended (100 empty reads in a row).
    bool ReadLinesUntil(std::string& seen, const std::function<bool(const std::string& line)>& done);
    std::string ReadRest();      // the rest of its output, up to its end
    int Wait();                  // its exit code (-1 when killed by a signal)
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_buffer;
    bool m_timedOut = false;
};

// Everything in the file at `path`, byte for byte: what a program left there.
// Empty when it cannot be read.
std::string FileText(const std::filesystem::path& path);
